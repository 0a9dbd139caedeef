// What a working folder guarantees, tried as an attacker and a careless
// user would: names planted as links (run as root, a run must not write
// through them into another file), a second run started in the same folder,
// a run ended by SIGTERM or SIGKILL after an earlier normal run, and a
// rebuild after a source change, which must carry a new build identity.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "run_program.hpp"
#include "tests/support/started.hpp"

using namespace support;
namespace fs = std::filesystem;

namespace {

const std::string kProgram = "pwave_upscale";

std::string bin(const std::string& program) {
  const char* d = std::getenv("UPSCALE_BIN_DIR");
  return std::string(d && *d ? d : UPSCALE_BIN_FALLBACK) + "/" + program;
}

// A scratch folder removed when the test ends, passed or failed.
struct Scratch {
  Scratch() {
    std::string t = "/tmp/upscale_folder_XXXXXX";
    if (!mkdtemp(t.data())) throw std::runtime_error("no scratch folder");
    path = t;
    fs::create_directory(path / "work");
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
  fs::path work() const { return path / "work"; }
};

// A program started in `dir` whose standard input is a pipe held by the
// test: the run takes the folder, empties its tables and waits for the deck.
support::Started start_held(const std::string& program, const fs::path& dir, const fs::path& err) {
  return support::Started(dir.string(), "exec '" + bin(program) + "' > /dev/null 2> '" + err.string() + "'");
}

int run_in(const std::string& program, const fs::path& dir, const std::string& deck_file, const fs::path& err) {
  const std::string cmd = "cd '" + dir.string() + "' && '" + bin(program) + "' < '" + deck_file + "' > /dev/null 2> '" +
                          err.string() + "'";
  const int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace

// A link planted under the name of any output, the record, its temporary
// name or the lock file: the file it leads to stays as it was. A table or
// map behind a link, or a FIFO, ends the run naming it; the record's names
// are replaced by regular files.
TEST(WorkingFolder, PlantedLinksAndFifosAreNeverWrittenThrough) {
  const std::string deck = join(deck_lines("ice_small.deck"));
  for (const char* name : {"vp_eq.phiw", "matnum_p33", "xmu1_gnu", "fort.18", ".upscale_run.lock"}) {
    const Outcome r = run(kProgram, deck, prepared(std::string("echo precious > ../target && ln -s ../target ") + name));
    EXPECT_EQ(slurp(r.dir + "/../target"), "precious\n") << name << " was written through";
    EXPECT_TRUE(r.status == 74 && contains(r.err, std::string("\"") + name + "\"") && contains(r.err, "symbolic link"))
        << name << ": " << r.describe();
  }
  for (const char* name : {"run.json", "run.json.part", "cell_maps.vtk"}) {
    const Outcome r = run(kProgram, deck, prepared(std::string("echo precious > ../target && ln -s ../target ") + name));
    EXPECT_EQ(slurp(r.dir + "/../target"), "precious\n") << name << " was written through";
    // The temporary name is gone after the run; the others are regular files.
    const bool temporary = std::string(name) == "run.json.part";
    struct stat st {};
    const bool there = ::lstat((r.dir + "/" + name).c_str(), &st) == 0;
    EXPECT_TRUE(r.status == 40 && there != temporary && (temporary || S_ISREG(st.st_mode)))
        << name << ": " << r.describe();
  }
  const Outcome fifo = run(kProgram, deck, prepared("mkfifo real_stress_map"));
  EXPECT_TRUE(!fifo.timed_out && fifo.status == 74 && contains(fifo.err, "\"real_stress_map\": is not a regular file"))
      << fifo.describe();
  const Outcome hard = run(kProgram, deck, prepared("echo precious > ../target && ln ../target vp_anal.phiw"));
  EXPECT_TRUE(hard.status == 74 && contains(hard.err, "hard links")) << hard.describe();
  EXPECT_EQ(slurp(hard.dir + "/../target"), "precious\n");
}

// A second run in a folder stops at once (75), naming the run that holds
// it, and changes nothing of the first run, which then ends normally with
// one line per table; the lock file goes with the first run.
TEST(WorkingFolder, SecondRunInTheSameFolderStopsAndNamesTheHolder) {
  const Scratch s;
  const std::string deck10 = join(deck_lines("ice_small.deck"));
  std::ofstream(s.path / "fast.deck") << join(with_record(deck_lines("ice_small.deck"), 1, "1000.0"));
  support::Started first = start_held(kProgram, s.work(), s.path / "first.err");
  ASSERT_TRUE(support::wait_for_text(s.work() / "run.json", "\"exit_status\": null")) << slurp(s.work() / "run.json");
  const std::string running = slurp(s.work() / "run.json");
  EXPECT_EQ(run_in("swave_spectrum", s.work(), (s.path / "fast.deck").string(), s.path / "second.err"), 75);
  const std::string err = slurp(s.path / "second.err");
  EXPECT_TRUE(contains(err, "in use by pwave_upscale (process " + std::to_string(first.pid) + ")") &&
              err.ends_with("STOP 75\n")) << err;
  EXPECT_EQ(slurp(s.work() / "run.json"), running);  // the second run wrote nothing
  EXPECT_FALSE(fs::exists(s.work() / "vs_eq.freq"));
  first.give(deck10);
  ASSERT_EQ(first.wait(), 40) << slurp(s.path / "first.err");
  EXPECT_EQ(slurp(s.work() / "vp_eq.phiw").find('\n'), slurp(s.work() / "vp_eq.phiw").size() - 1);
  EXPECT_TRUE(contains(slurp(s.work() / "run.json"), "\"exit_status\": 40,"));
  EXPECT_FALSE(fs::exists(s.work() / ".upscale_run.lock"));
  // The folder is free again.
  EXPECT_EQ(run_in("swave_spectrum", s.work(), (s.path / "fast.deck").string(), s.path / "second.err"), 40);
}

// After a normal run, a run ended by a signal never leaves the normal end's
// record beside its emptied tables: SIGTERM leaves a record of the signal
// (exit status 128 + n; SIGINT and SIGHUP take the same path, tried on the
// output module itself), SIGKILL the record of a run under way.
TEST(WorkingFolder, SignalledRunLeavesItsOwnRecord) {
  const Scratch s;
  const std::string deck_file = (s.path / "ice.deck").string();
  std::ofstream(deck_file) << join(deck_lines("ice_small.deck"));
  for (int sig : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE("signal " + std::to_string(sig));
    ASSERT_EQ(run_in(kProgram, s.work(), deck_file, s.path / "normal.err"), 40);
    ASSERT_TRUE(contains(slurp(s.work() / "run.json"), "\"exit_status\": 40,"));
    support::Started h = start_held(kProgram, s.work(), s.path / "held.err");
    ASSERT_TRUE(support::wait_for_text(s.work() / "run.json", "\"exit_status\": null"));
    for (int i = 0; i < 1000 && !slurp(s.work() / "vp_eq.phiw").empty(); ++i)  // emptied after the record
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(slurp(s.work() / "vp_eq.phiw"), "");
    ::kill(h.pid, sig);
    EXPECT_EQ(h.wait(), 128 + sig) << slurp(s.path / "held.err");
    const std::string record = slurp(s.work() / "run.json");
    if (sig == SIGKILL) {
      EXPECT_TRUE(contains(record, "\"stop_message\": \"running: this run has not ended")) << record;
    } else {
      EXPECT_TRUE(contains(record, "\"exit_status\": " + std::to_string(128 + sig) + ",") &&
                  contains(record, "\"stop_code\": null") && contains(record, "SIGTERM"))
          << record;
      EXPECT_FALSE(fs::exists(s.work() / ".upscale_run.lock"));
    }
    EXPECT_FALSE(fs::exists(s.work() / "run.json.part"));
  }
}

// The identity is taken at build time from the sources: regenerated after a
// real change of a source file it differs, regenerated with nothing changed
// it is not even rewritten (nothing recompiles); in a git tree an
// uncommitted change is marked. And the built programs carry the digest of
// the sources they were built from.
TEST(BuildIdentity, ChangesWithEverySourceChangeAndOnlyThen) {
  const Scratch s;
  const fs::path tree = s.path / "tree", out = s.path / "build_info.cpp";
  fs::create_directories(tree / "core");
  std::ofstream(tree / "CMakeLists.txt") << "project(x)\n";
  std::ofstream(tree / "core" / "a.cpp") << "int a() { return 1; }\n";
  const std::string generate = std::string("'") + UPSCALE_CMAKE + "' -DSOURCE_DIR='" + tree.string() + "' -DTEMPLATE='" +
                               UPSCALE_SOURCE_DIR + "/core/build_info.cpp.in' -DOUTPUT='" + out.string() +
                               "' -DPROJECT_VERSION=9.9 -P '" + UPSCALE_SOURCE_DIR + "/tools/build_identity.cmake'";
  auto identity = [&] {
    EXPECT_EQ(std::system((generate + " > /dev/null").c_str()), 0);
    return slurp(out);
  };
  const std::string first = identity();
  ASSERT_TRUE(contains(first, "project_version() { return \"9.9\"; }")) << first;
  const auto written = fs::last_write_time(out);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(identity(), first);
  EXPECT_EQ(fs::last_write_time(out), written);  // unchanged sources: the file is left alone
  std::ofstream(tree / "core" / "a.cpp") << "int a() { return 2; }\n";
  const std::string changed = identity();
  EXPECT_NE(changed, first);
  std::ofstream(tree / "core" / "a.cpp") << "int a() { return 1; }\n";
  EXPECT_EQ(identity(), first);  // the identity of the sources, not of the moment
  if (std::system(("cd '" + tree.string() + "' && git init -q && git add -A && git -c user.name=t -c user.email=t@t "
                   "commit -qm t > /dev/null 2>&1").c_str()) == 0) {
    EXPECT_FALSE(contains(identity(), "-dirty"));
    std::ofstream(tree / "core" / "a.cpp") << "int a() { return 3; }\n";
    EXPECT_TRUE(contains(identity(), "-dirty\"")) << slurp(out);
  }
  // The programs in the build tree: the digest of these sources.
  const std::string real = std::string("'") + UPSCALE_CMAKE + "' -DSOURCE_DIR='" + UPSCALE_SOURCE_DIR + "' -DTEMPLATE='" +
                           UPSCALE_SOURCE_DIR + "/core/build_info.cpp.in' -DOUTPUT='" + out.string() +
                           "' -DPROJECT_VERSION=1 -P '" + UPSCALE_SOURCE_DIR + "/tools/build_identity.cmake'";
  ASSERT_EQ(std::system(real.c_str()), 0);
  const std::string text = slurp(out), key = "project_sources() { return \"";
  const std::string digest = text.substr(text.find(key) + key.size(), 16);
  const std::string version = [&] {
    const std::string cmd = "'" + bin(kProgram) + "' --version";
    std::string outtext;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
      char buf[256];
      while (std::fgets(buf, sizeof buf, p)) outtext += buf;
      ::pclose(p);
    }
    return outtext;
  }();
  EXPECT_TRUE(contains(version, "sources " + digest + ")")) << version << " against " << digest;
}
