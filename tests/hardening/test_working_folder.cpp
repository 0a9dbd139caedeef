// What a working folder guarantees, tried as an attacker and a careless
// user would: names planted as links (run as root, a run must not write
// through them into another file), a second run started in the same folder,
// a run ended by SIGTERM or SIGKILL after an earlier normal run, and a
// rebuild after a source change, which must carry a new build identity.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "run_program.hpp"
#include "tests/support/started.hpp"

using namespace support;
namespace fs = std::filesystem;

namespace {

const std::string kProgram = "pwave_upscale";

// A program started in `dir` whose standard input is a pipe held by the
// test: the run takes the folder, empties its tables and waits for the deck.
Started start_held(const std::string& program, const std::string& dir, const std::string& err) {
  return Started(dir, "exec '" + bin_path(program) + "' > /dev/null 2> '" + err + "'");
}

int run_in(const std::string& program, const std::string& dir, const std::string& deck_file, const std::string& err) {
  return shell("cd '" + dir + "' && '" + bin_path(program) + "' < '" + deck_file + "' > /dev/null 2> '" + err + "'");
}

}  // namespace

// A link planted under the name of any output, the record, its temporary
// name or the lock file: the file it leads to stays as it was. A table or
// map behind a link, or a FIFO, ends the run naming it; the record's names
// are replaced by regular files.
TEST(WorkingFolder, PlantedLinksAndFifosAreNeverWrittenThrough) {
  const std::string deck = join(deck_lines("ice_small.deck"));
  for (const std::string name : {"vp_eq.phiw", "matnum_p33", "xmu1_gnu", "fort.18", ".upscale_run.lock", "run.json",
                                 "run.json.part", "cell_maps.vtk"}) {
    const Outcome r = run(kProgram, deck, prepared("echo precious > ../target && ln -s ../target " + name));
    EXPECT_EQ(slurp(r.dir + "/../target"), "precious\n") << name << " was written through";
    // The temporary name is gone after the run; the record and the VTK map are regular files.
    const bool replaced = contains(name, "run.json") || name == "cell_maps.vtk", temporary = name == "run.json.part";
    struct stat st {};
    const bool there = ::lstat((r.dir + "/" + name).c_str(), &st) == 0;
    if (replaced) EXPECT_TRUE(r.status == 40 && there != temporary && (temporary || S_ISREG(st.st_mode))) << name;
    else EXPECT_TRUE(r.status == 74 && contains(r.err, "\"" + name + "\"") && contains(r.err, "symbolic link")) << name;
  }
  const Outcome fifo = run(kProgram, deck, prepared("mkfifo real_stress_map"));
  EXPECT_TRUE(!fifo.timed_out && fifo.status == 74 && contains(fifo.err, "\"real_stress_map\": is not a regular file"))
      << fifo.describe();
  const Outcome hard = run(kProgram, deck, prepared("echo precious > ../target && ln ../target vp_anal.phiw"));
  EXPECT_TRUE(hard.status == 74 && contains(hard.err, "hard links")) << hard.describe();
  EXPECT_EQ(slurp(hard.dir + "/../target"), "precious\n");
}

// One run at a time in a folder, and a run ended by a signal never leaves
// the normal end's record beside its emptied tables. After a normal run, a
// run holds the folder while it waits for its deck: a second run stops at
// once (75) naming it and changes nothing, and the first, given its deck,
// ends normally with one line per table and frees the folder; SIGTERM
// leaves a record of the signal (exit status 128 + n; SIGINT and SIGHUP
// take the same path, tried on the output module itself), SIGKILL the
// record of a run under way.
TEST(WorkingFolder, OneRunAtATimeAndASignalledRunLeavesItsOwnRecord) {
  const ScratchDir s("upscale_folder");
  const std::string deck_file = s / "ice.deck", work = s / "work";
  fs::create_directory(work);
  std::ofstream(deck_file) << join(deck_lines("ice_small.deck"));
  for (int sig : {0, SIGTERM, SIGKILL}) {
    SCOPED_TRACE("signal " + std::to_string(sig));
    ASSERT_EQ(run_in(kProgram, work, deck_file, s / "normal.err"), 40);
    ASSERT_TRUE(contains(slurp(work + "/run.json"), "\"exit_status\": 40,"));
    Started h = start_held(kProgram, work, s / "held.err");
    ASSERT_TRUE(wait_for_text(work + "/run.json", "\"exit_status\": null"));
    for (int i = 0; i < 1000 && !slurp(work + "/vp_eq.phiw").empty(); ++i)  // emptied after the record
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(slurp(work + "/vp_eq.phiw"), "");
    const std::string running = slurp(work + "/run.json");
    if (sig == 0) {
      EXPECT_EQ(run_in("swave_spectrum", work, deck_file, s / "second.err"), 75);
      const std::string err = slurp(s / "second.err");
      EXPECT_TRUE(contains(err, "in use by pwave_upscale (process " + std::to_string(h.pid) + ")") &&
                  err.ends_with("STOP 75\n")) << err;
      EXPECT_EQ(slurp(work + "/run.json"), running);  // the second run wrote nothing
      h.give(slurp(deck_file));
      ASSERT_EQ(h.wait(), 40) << slurp(s / "held.err");
      EXPECT_EQ(slurp(work + "/vp_eq.phiw").find('\n'), slurp(work + "/vp_eq.phiw").size() - 1);
      EXPECT_TRUE(contains(slurp(work + "/run.json"), "\"exit_status\": 40,"));
      EXPECT_FALSE(fs::exists(work + "/.upscale_run.lock"));
      continue;
    }
    ::kill(h.pid, sig);
    EXPECT_EQ(h.wait(), 128 + sig) << slurp(s / "held.err");
    const std::string record = slurp(work + "/run.json");
    if (sig == SIGKILL) {
      EXPECT_TRUE(contains(record, "\"stop_message\": \"running: this run has not ended")) << record;
    } else {
      EXPECT_TRUE(contains(record, "\"exit_status\": " + std::to_string(128 + sig) + ",") &&
                  contains(record, "\"stop_code\": null") && contains(record, "SIGTERM"))
          << record;
      EXPECT_FALSE(fs::exists(work + "/.upscale_run.lock"));
    }
    EXPECT_FALSE(fs::exists(work + "/run.json.part"));
  }
}

// The identity is taken at build time from the sources: regenerated after a
// real change of a source file it differs, with the change undone it is the
// same again; in a git tree an uncommitted change is marked. And the built
// programs carry the digest of the sources they were built from.
TEST(BuildIdentity, ChangesWithEverySourceChangeAndOnlyThen) {
  const ScratchDir s("upscale_identity");
  const fs::path tree = s / "tree", out = s / "build_info.cpp";
  fs::create_directories(tree / "core");
  std::ofstream(tree / "CMakeLists.txt") << "project(x)\n";
  auto generate = [&](const std::string& sources, const char* version) {
    const std::string source = UPSCALE_SOURCE_DIR;
    EXPECT_EQ(shell("'" UPSCALE_CMAKE "' -DSOURCE_DIR='" + sources + "' -DTEMPLATE='" + source + "/core/build_info.cpp.in' -DOUTPUT='" +
                    out.string() + "' -DPROJECT_VERSION=" + version + " -P '" + source + "/tools/build_identity.cmake' > /dev/null"), 0);
    return slurp(out);
  };
  auto with_source = [&](int value) {  // the identity of the tree with a.cpp returning `value`
    std::ofstream(tree / "core" / "a.cpp") << "int a() { return " << value << "; }\n";
    return generate(tree.string(), "9.9");
  };
  const std::string first = with_source(1);
  ASSERT_TRUE(contains(first, "project_version() { return \"9.9\"; }")) << first;
  EXPECT_NE(with_source(2), first);
  EXPECT_EQ(with_source(1), first);  // the identity of the sources, not of the moment
  if (shell("cd '" + tree.string() + "' && git init -q && git add -A && git -c user.name=t -c user.email=t@t "
            "commit -qm t > /dev/null 2>&1") == 0) {
    EXPECT_FALSE(contains(with_source(1), "-dirty"));
    EXPECT_TRUE(contains(with_source(3), "-dirty\"")) << slurp(out);
  }
  // The programs in the build tree: the digest of these sources.
  const std::string text = generate(UPSCALE_SOURCE_DIR, "1"), key = "project_sources() { return \"";
  const std::string digest = text.substr(text.find(key) + key.size(), 16);
  const std::string version = output_of("'" + bin_path(kProgram) + "' --version").first;
  EXPECT_TRUE(contains(version, "sources " + digest + ")")) << version << " against " << digest;
}
