// A scratch folder per test, removed when the test ends, and a stand-in
// gnuplot put first on the PATH for the test's lifetime.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace outputs_test {

namespace fs = std::filesystem;

inline std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

inline void write_text(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline bool is_link(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

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
