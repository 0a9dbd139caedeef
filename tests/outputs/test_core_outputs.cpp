// The output module tried as an attacker would: names planted as links
// (to a file outside the folder), gnuplot scripts that name outputs, the
// records a stop signal writes, and a signal ignored when the process
// started.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/gnuplot_run.hpp"
#include "core/replace_file.hpp"
#include "core/run_lock.hpp"
#include "core/signal_record.hpp"
#include "sweep/sweep.hpp"
#include "scratch.hpp"

namespace {

using namespace outputs_test;
using Outputs = Scratch;

// The names of the folder's entries, sorted.
std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `body` in a child process; its exit status, or 128 + the signal that ended it.
template <class F>
int in_child(F&& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(30);
    body();
    ::_exit(0);
  }
  int st = 0;
  ::waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

}  // namespace

TEST_F(Outputs, ReplacingRefusesALinkOrReplacesTheLinkItselfAndLeavesNoTemporary) {
  const std::string target = victim();
  fs::create_symlink(target, at("table.csv"));
  std::string why;
  EXPECT_FALSE(core::replace_file(at("table.csv"), "new\n", why));
  EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
  ASSERT_TRUE(core::replace_file(at("table.csv"), "new\n", why, {.refuse_odd_target = false})) << why;
  EXPECT_FALSE(is_link(at("table.csv")));
  EXPECT_EQ(read_all(at("table.csv")), "new\n");
  EXPECT_EQ(read_all(target), "keep\n");
  fs::create_directory(at("folder"));
  EXPECT_FALSE(core::replace_file(at("folder"), "x", why));
  EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
  ASSERT_TRUE(core::replace_file(at("run.sh"), "#!/bin/sh\n", why, {.executable = true}));
  EXPECT_EQ(fs::status(at("run.sh")).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"folder", "run.sh", "table.csv"}));
  // A folder that cannot be written: the failure is said, nothing is left.
  EXPECT_FALSE(core::replace_file(root + "/missing/x.csv", "x", why));
  EXPECT_NE(why.find("cannot be created"), std::string::npos) << why;
}

TEST(GnuplotScript, OutputsAreRedirectedIntoThePrivateFolderAndOthersRefused) {
  std::string out, why;
  std::vector<std::string> names;
  ASSERT_TRUE(core::redirect_outputs("set term png\nset output 'a.png'\nplot x\n  set output 'b_map.png'\nset output\n",
                                     ".gnuplot.X", out, names, why));
  EXPECT_EQ(out, "set term png\nset output '.gnuplot.X/a.png'\nplot x\nset output '.gnuplot.X/b_map.png'\nset output\n");
  EXPECT_EQ(names, (std::vector<std::string>{"a.png", "b_map.png"}));
  for (const char* bad : {"set output '../a.png'\n", "set output '/etc/passwd'\n", "set output \"a.png\"\n",
                          "set output 'a.png'; set output 'b'\n", "set out 'a.png'x\n", "set o ''\n"}) {
    names.clear();
    EXPECT_FALSE(core::redirect_outputs(bad, ".p", out, names, why)) << bad;
    EXPECT_NE(why.find("not a plain file name"), std::string::npos) << why;
  }
}

// gnuplot is never handed a name of the folder: an image whose name is a
// planted link is drawn privately and then refused, the file the link leads
// to untouched; the other images are put in place; no private folder stays.
// Without gnuplot, nothing is drawn.
TEST_F(Outputs, GnuplotNeverDrawsThroughAPlantedLink) {
  stand_in_gnuplot();
  const std::string target = victim();
  fs::create_symlink(target, at("sweep.png"));
  write_text(at("plot.gp"), "set output 'other.png'\nplot x\nset output 'sweep.png'\nplot x\nset output\n");
  const core::GnuplotRun run = core::run_gnuplot(dir, "plot.gp");
  EXPECT_TRUE(run.found);
  EXPECT_FALSE(run.ok);
  EXPECT_NE(run.why.find("sweep.png\" is a symbolic link"), std::string::npos) << run.why;
  EXPECT_EQ(read_all(target), "keep\n");
  EXPECT_TRUE(is_link(at("sweep.png")));
  EXPECT_EQ(run.images, std::vector<std::string>{"other.png"});
  EXPECT_EQ(read_all(at("other.png")).substr(1, 3), "PNG");
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"other.png", "plot.gp", "sweep.png"}));
  // With the link gone, both are drawn; a script that is itself a link is not read.
  fs::remove(at("sweep.png"));
  EXPECT_TRUE(core::run_gnuplot(dir, "plot.gp").ok);
  EXPECT_EQ(read_all(at("sweep.png")).substr(1, 3), "PNG");
  fs::rename(at("plot.gp"), root + "/plot.gp");
  fs::create_symlink(root + "/plot.gp", at("plot.gp"));
  const core::GnuplotRun linked = core::run_gnuplot(dir, "plot.gp");
  EXPECT_FALSE(linked.ok);
  EXPECT_NE(linked.why.find("not a regular file"), std::string::npos) << linked.why;
  // Without gnuplot on the PATH nothing runs and nothing is written.
  ::setenv("PATH", (root + "/empty").c_str(), 1);
  const core::GnuplotRun none = core::run_gnuplot(dir, "plot.gp");
  EXPECT_FALSE(none.found || none.ok);
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"other.png", "plot.gp", "sweep.png"}));
}

// A stop signal writes its prepared record (the latest one prepared) in
// place of the run's record, removes the lock file and ends the process by
// that signal; a signal ignored at the start stays ignored.
TEST_F(Outputs, StopSignalWritesItsRecordUnlessIgnoredAtStart) {
  const std::string record = at("run.json"), part = at("run.json.part");
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    write_text(record, "old success\n");
    const int status = in_child([&] {
      core::lock_folder(dir, "test");
      core::prepare_signal_records("first", "first", "first");
      core::catch_stop_signals(record, part, "");
      core::prepare_signal_records("term", "int", "hup");
      ::raise(sig);
      ::_exit(0);
    });
    EXPECT_EQ(status, 128 + sig);
    EXPECT_EQ(read_all(record), sig == SIGTERM ? "term" : sig == SIGINT ? "int" : "hup");
    EXPECT_EQ(entries(dir), std::vector<std::string>{"run.json"});  // no lock file, no part
    write_text(record, "old success\n");
    const int kept = in_child([&] {
      ::signal(sig, SIG_IGN);  // as nohup or trap '' leave it
      core::prepare_signal_records("term", "int", "hup");
      core::catch_stop_signals(record, part, "");
      ::raise(sig);
      ::_exit(7);
    });
    EXPECT_EQ(kept, 7);
    EXPECT_EQ(read_all(record), "old success\n");
  }
}

// A cell a spreadsheet would run as a formula reaches the table as text; a
// number, negative or with an exponent, stays a number; quoting still holds.
TEST(SpreadsheetCells, FormulasAreMadeInertAndNumbersStayNumbers) {
  for (const char* formula : {"@SUM(A1:A9)", "=1+2", "+cmd|' /C calc'!A0", "-2+3", "\tx"})
    EXPECT_EQ(sweep::csv_field(formula), "'" + std::string(formula));
  EXPECT_EQ(sweep::csv_field("=HYPERLINK(\"x\",\"y\")"), "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\"");
  for (const char* number : {"-1.5e3", "+2", "-0.25", "1.0.0", "deadbeef", ""}) EXPECT_EQ(sweep::csv_field(number), number);
}
