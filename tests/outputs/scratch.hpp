// A scratch folder per test, removed when the test ends; a stand-in gnuplot
// put first on the PATH for the test's lifetime; the built programs run as
// a user would run them: through /bin/sh, with nohup, ulimit and planted
// names.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/started.hpp"

namespace outputs_test {

namespace fs = std::filesystem;
using support::Started;
using support::wait_for_text;

inline std::string read_all(const std::string& path) { return support::slurp_file(path); }
inline void write_text(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
inline bool is_link(const std::string& path) { return fs::is_symlink(fs::symlink_status(path)); }
inline bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

#ifdef OUTPUTS_EXAMPLES
inline std::string examples() { return OUTPUTS_EXAMPLES; }
#endif

// Runs `command` with /bin/sh in `dir`, standard error to `dir`/../err.txt;
// the exit status, or -1 when it did not exit. A time limit ends a hang.
inline int sh(const std::string& dir, const std::string& command) {
  const int st = std::system(("cd '" + dir + "' && timeout -s KILL 120 sh -c '" + command + "' 2> ../err.txt").c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// `dir`, the folder a test works in, lies in `root`, which holds the
// files outside it (err.txt, a victim that planted links lead to).
class Scratch : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "upscale_outputs.XXXXXX").string();
    ASSERT_NE(::mkdtemp(t.data()), nullptr);
    root = t;
    dir = root + "/work";
    fs::create_directory(dir);
  }
  void TearDown() override {
    if (!old_path.empty()) ::setenv("PATH", old_path.c_str(), 1);
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  std::string at(const std::string& name) const { return dir + "/" + name; }
  // A file outside the folder that a planted link leads to.
  std::string victim() const {
    write_text(root + "/victim", "keep\n");
    return root + "/victim";
  }
  // Puts the stand-in gnuplot first on the PATH (restored in TearDown).
  void stand_in_gnuplot() {
    fs::create_directory(root + "/bin");
    fs::copy_file(OUTPUTS_TEST_DIR "/gnuplot_stand_in.sh", root + "/bin/gnuplot");
    fs::permissions(root + "/bin/gnuplot", fs::perms::owner_all);
    const char* p = std::getenv("PATH");
    old_path = p ? p : "/usr/bin:/bin";
    ::setenv("PATH", (root + "/bin:" + old_path).c_str(), 1);
  }
  std::string root, dir, old_path;
};

}  // namespace outputs_test
