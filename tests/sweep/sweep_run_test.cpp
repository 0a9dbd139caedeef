// upscale_sweep end to end: the three real programs, each column checked
// against the point's own report read by a parser of this test's, and
// the failure paths with a stand-in that fails, crashes, hangs, leaves its
// results out or returns a non-finite value on demand. Scripts and plots are
// run by the real bash, GNU parallel and gnuplot where installed.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "run_program.hpp"

namespace fs = std::filesystem;
using support::have;
using support::quoted;
using support::shell;
using support::slurp;

namespace {

const fs::path kExamples = SWEEP_EXAMPLES_DIR;

using Csv = std::vector<std::map<std::string, std::string>>;

// The rows of sweep.csv, the units row (the line after the header) first.
Csv read_csv(const fs::path& f) {
  std::istringstream in(slurp(f));
  std::vector<std::string> head;
  Csv rows;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> v(1);
    bool in_quotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
      if (in_quotes && line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') v.back() += line[++i];
      else if (line[i] == '"') in_quotes = !in_quotes;
      else if (line[i] == ',' && !in_quotes) v.emplace_back();
      else v.back() += line[i];
    }
    if (head.empty()) head = v;
    EXPECT_EQ(v.size(), head.size()) << line;
    auto& r = rows.emplace_back();
    for (size_t i = 0; i < head.size() && i < v.size(); ++i) r[head[i]] = v[i];
  }
  if (!rows.empty()) rows.erase(rows.begin());
  EXPECT_TRUE(!rows.empty() && rows[0]["point"] == "unit");
  return rows;
}

double num(const std::map<std::string, std::string>& r, const std::string& col) {
  return r.count(col) && !r.at(col).empty() ? std::strtod(r.at(col).c_str(), nullptr) : std::nan("");
}

// The number a file holds once its writer has written it (a file is created
// before it is written); 0 if it holds none within `seconds`.
int number_in(const fs::path& f, double seconds = 60) {
  for (int i = 0; i < seconds * 50; ++i) {
    std::ifstream in(f);
    int n = 0;
    if (in >> n && n > 0) return n;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}

const char* const kStandInVars[] = {"STAND_IN_FAIL_FREQ", "STAND_IN_CRASH_FREQ", "STAND_IN_HANG_FREQ", "STAND_IN_BARE_FREQ",
                                    "STAND_IN_NAN_FREQ",  "STAND_IN_HANG_S",     "STAND_IN_VERSION",  "STAND_IN_HANG_UNTIL"};

class Sweep : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : kStandInVars) ::unsetenv(v);
  }
  // Runs upscale_sweep with `args` in dir_; returns its exit status, keeps stderr.
  int sweep(const std::string& args, const std::string& prefix = "") {
    return here(prefix + quoted(SWEEP_EXE) + " " + args + " > out.txt 2> err.txt");
  }
  int here(const std::string& command) { return shell("cd " + quoted(dir_.string()) + " && " + command); }  // in dir_
  std::string err() { return slurp(dir_ / "err.txt"); }
  static std::string deck(const char* name) { return " " + quoted((kExamples / name).string()) + " "; }
  static std::string stand_in() { return " --exe " + quoted(STAND_IN_EXE) + " "; }
  std::string out(const std::string& name) { return " -o " + quoted((dir_ / name).string()) + " "; }
  const support::ScratchDir scratch_{"sweep_run"};
  const fs::path dir_ = scratch_.path();
};

}  // namespace

// The deck's own frequency scale, one plot curve per water proportion, the
// tied and work moduli, the units row, and the maps of a point in metres.
// Then --merge after hand edits: a point's values come from its own
// input.deck (a point re-run by hand at another frequency); results that
// another run left (a late fort.18), points of different builds unless told
// to, and duplicated points are refused; CR-LF line ends are read.
TEST_F(Sweep, TablePlotsMapsAndMergeAfterHandEdits) {
  ASSERT_EQ(sweep("pwave_upscale" + deck("ice_small.deck") + stand_in() + out("s") + "--freq deck --phiw 0.1,0.2 -q"), 0)
      << err();
  const fs::path s = dir_ / "s", run = s / "points" / "p0002";
  Csv rows = read_csv(s / "sweep.csv");
  ASSERT_EQ(rows.size(), 21u);  // the deck's nfreq, the first quantity varying fastest
  // The logarithmic scale of 10 to 100 Hz: its ends exact (the last: row 10 below), the fourth point 10^(4/3) Hz.
  EXPECT_EQ(rows[1].at("freq"), "10");
  EXPECT_NEAR(num(rows[4], "freq"), 10 * std::pow(10.0, 3 / 9.0), 1e-12 * 100);
  EXPECT_EQ(rows[10].at("freq") + rows[1].at("version") + rows[1].at("im_mt") + rows[1].at("im_mw"), "1000.test510255");
  EXPECT_EQ(rows[0].at("freq") + rows[0].at("vp_fe") + rows[0].at("re_mt") + rows[0].at("q1000_mt"), "Hzm/sPa1");
  EXPECT_EQ(sweep("--maps " + quoted(run.string())), 0) << err();
  const std::string gp = slurp(run / "maps.gp");
  EXPECT_NE(gp.find("plot 'real_strain1_map' using ((($1)-0.5)*0.02):((($2)-0.5)*0.02):3 with image"), std::string::npos);
  // the gradient map names interior cell (j, k) by j - 1, k - 1
  EXPECT_NE(gp.find("plot 'mod_grad_pressure_p33_ice' using ((($1+1)-0.5)*0.02):((($2+1)-0.5)*0.02):3"), std::string::npos);
  // material 1 has the varied water proportion, material 2 the deck's
  EXPECT_NE(gp.find("$water << EOD\n1 1 0.1\n2 1 0.1\n3 1 0.1\n4 1 0.1\n5 1 NaN\n"), std::string::npos);
  EXPECT_NE(gp.find("\n1 3 0.3\n"), std::string::npos);
  EXPECT_TRUE(!have("gnuplot") || fs::file_size(s / "sweep.png") + fs::file_size(run / "water_proportion.png") > 2000);

  const std::string rerun = " && sed -i '1s/^[^ ]*/5/' input.deck && " + quoted(STAND_IN_EXE) +
                            " < input.deck > report.txt 2>/dev/null; echo $? > status";
  ASSERT_EQ(here("cd s/points/p0002" + rerun), 0);
  std::ofstream(s / "points" / "p0003" / "fort.18") << " 9 1 1\n";
  ASSERT_EQ(here("sed -i 's/$/\\r/' s/points.tsv"), 0);
  EXPECT_EQ(sweep("--merge s --no-plot"), 1) << err();
  rows = read_csv(s / "sweep.csv");
  EXPECT_EQ(rows[2].at("freq") + rows[2].at("status") + rows[2].at("message") + rows[2].at("vp_fe"), "5401015");
  EXPECT_EQ(rows[3].at("message"), "results of another run: fort.18 gives frequency 9, the point's deck 16.68100537200059");
  ::setenv("STAND_IN_VERSION", "0.other", 1);
  ASSERT_EQ(here("cd s/points/p0001" + rerun), 0);
  EXPECT_EQ(sweep("--merge s --no-plot"), 2);
  EXPECT_NE(err().find("points of different builds: points/p0001 was made by version 0.other"), std::string::npos) << err();
  EXPECT_EQ(sweep("--merge s --no-plot --allow-mixed-builds"), 1);
  EXPECT_EQ(read_csv(s / "sweep.csv")[1].at("version"), "0.other");
  ASSERT_EQ(here("tail -n 1 s/points.tsv >> s/points.tsv"), 0);
  EXPECT_EQ(sweep("--merge s"), 2);
  EXPECT_NE(err().find("line 24 repeats point 20 of line 23"), std::string::npos) << err();
}

// A solver failure, a crash, a hang past the time limit, a normal end
// without results and a non-finite result: each a failed row with its status
// and message, the other point unaffected, the runner's status 1. Re-running
// reruns the crashed and the stopped points (interrupted) but not the failed
// ones, unless asked to, and keeps the files a user put in a point's folder.
TEST_F(Sweep, FailuresAreRecordedAndInterruptedPointsRerun) {
  const char* at[][2] = {{"STAND_IN_FAIL_FREQ", "2"}, {"STAND_IN_CRASH_FREQ", "3"}, {"STAND_IN_HANG_FREQ", "4"},
                         {"STAND_IN_BARE_FREQ", "5"}, {"STAND_IN_NAN_FREQ", "6"}};
  for (auto& [var, f] : at) ::setenv(var, f, 1);
  const std::string args = "pwave_upscale" + deck("shale_small.deck") + stand_in() + out("s") +
                           "--freq 1,2,3,4,5,6 --timeout 1 -j 2 -q --no-plot";
  EXPECT_EQ(sweep(args), 1) << err();
  Csv rows = read_csv(dir_ / "s" / "sweep.csv");
  ASSERT_EQ(rows.size(), 7u);
  const std::pair<std::string, std::string> want[] = {
      {"40", ""}, {"99", "FLAG= -7"}, {std::to_string(128 + SIGABRT), "killed by signal"},
      {std::to_string(128 + SIGKILL), "time limit"}, {"40", "no value for vp_fe"}, {"40", "non-finite result: vp_fe = nan"}};
  for (int i = 0; i < 6; ++i) {
    const auto& r = rows[i + 1];
    EXPECT_TRUE(r.at("status") == want[i].first && r.at("message").find(want[i].second) != std::string::npos)
        << i << ": " << r.at("status") << " " << r.at("message");
  }
  EXPECT_EQ(rows[1].at("message"), "");
  // The stop's own sentence from standard error first, the STOP line last.
  EXPECT_EQ(rows[2].at("message").rfind("the sparse factorisation failed with flag -7 | ", 0), 0u) << rows[2].at("message");
  EXPECT_TRUE(rows[2].at("message").ends_with(" | STOP 99")) << rows[2].at("message");
  for (const char* v : kStandInVars) ::unsetenv(v);
  EXPECT_EQ(sweep(args), 1);
  rows = read_csv(dir_ / "s" / "sweep.csv");
  EXPECT_EQ(rows[2].at("status") + rows[3].at("status") + rows[3].at("message") + rows[4].at("status"), "994040");
  std::ofstream(dir_ / "s" / "points" / "p0002" / "notes.txt") << "why it failed\n";
  EXPECT_EQ(sweep(args + " --retry-failed"), 0);
  EXPECT_EQ(slurp(dir_ / "s" / "points" / "p0002" / "notes.txt"), "why it failed\n");  // a user's file stays
  EXPECT_NE(err().find("files that are not the run's stay: pid notes.txt"), std::string::npos) << err();
  // Resumed with the last frequency changed: that point runs on its new deck.
  std::string moved = args;
  moved.replace(moved.find(",6 "), 3, ",7 ");
  EXPECT_EQ(sweep(moved), 0) << err();
  rows = read_csv(dir_ / "s" / "sweep.csv");
  EXPECT_EQ(rows[6].at("freq") + rows[6].at("status") + rows[6].at("message"), "740");
  // A status file that contradicts its run's record is no result.
  ASSERT_EQ(here("sed -i '1s/.*/99/' s/points/p0001/status"), 0);
  EXPECT_EQ(sweep("--merge s --no-plot"), 1);
  EXPECT_EQ(read_csv(dir_ / "s" / "sweep.csv")[1].at("message"), "run.json gives exit status 40, the status file 99");
}

TEST_F(Sweep, BadUsageIsRefusedWithAMessage) {
  const std::string d = deck("shale_small.deck") + stand_in();
  // A sparse file (no disk is filled), a deck scale of two thousand million
  // points, refused before any list is built (the sweep runs in 400 MB).
  ASSERT_EQ(here("truncate -s 1G huge.deck && sed '3s/^ *[0-9]*/2000000000/'" + deck("shale_small.deck") +
                 " > big.deck && echo 'model = \"ice\"' > sample.toml"), 0);
#if defined(__SANITIZE_ADDRESS__)
  const std::string limit;  // the sanitizer itself needs the address space
#else
  const std::string limit = "ulimit -v 400000 && ";
#endif
  const std::pair<std::string, std::string> cases[] = {
      {"", "give a program and a deck"},
      {"pwave_upscale none.deck" + stand_in(), "cannot read deck"},
      {"pwave_upscale" + d + "--phiw 1.5", "lies in (0, 1)"},
      {"pwave_upscale" + d + "--phiw 0:1:3", "lies in (0, 1)"},  // the ends are no water proportions
      {"pwave_upscale" + d + "--freq 1e13", "lies in (0, 1e12] Hz"},
      {"pwave_upscale" + d + "--freq 1e-320", "lies in (0, 1e12] Hz"},  // subnormal: does not read back
      {"pwave_upscale " + quoted(kExamples.string()) + stand_in(), "is not a regular file (a folder)"},
      {"pwave_upscale huge.deck" + stand_in(), "it holds 1073741824 bytes, more than the 67108864 a sweep reads"},
      {"pwave_upscale" + d + "--freq 1:10", "FIRST:LAST:COUNT"},
      {"swave_spectrum" + d + "--phiw 0.1,0.2", "imposes its own water proportion"},
      {"--merge .", "not a sweep directory"},
      {"pwave_upscale big.deck" + stand_in() + "--plan", "nfreq is 2000000000: more than a million points"},
      {"tensor_upscale" + d + "--phiw 0.1,0.2", "only --freq"},  // only frequencies vary, over decks
      {"tensor_upscale sample.toml" + stand_in(), "takes a deck"},
      // A line end in a path would start a command of its own in tasks.txt.
      {"--plan pwave_upscale" + d + "-o \"$(printf 'dir\\ntouch INJECTED #')\"", "dir\\ntouch INJECTED #' holds a control"},
  };
  for (const auto& [args, says] : cases) {
    EXPECT_EQ(sweep(args, limit), 2) << args;
    EXPECT_NE(err().find(says), std::string::npos) << args << "\n" << err();
  }
  EXPECT_FALSE(fs::exists(dir_ / "INJECTED"));
  EXPECT_EQ(sweep("--version"), 0);
  EXPECT_EQ(slurp(dir_ / "out.txt").rfind("upscale_sweep 1.0.0 (commit ", 0), 0u) << slurp(dir_ / "out.txt");
}

// One sweep at a time in a folder: a second is refused while the first
// runs; a plan replaced under a running sweep fails it loudly; a sweep
// killed by SIGKILL leaves no run behind, and the next sweep resumes.
TEST_F(Sweep, OneSweepPerFolderAndNoOrphans) {
  // The first point runs until the test lets it go, however slow the machine.
  ::setenv("STAND_IN_HANG_FREQ", "1", 1);
  ::setenv("STAND_IN_HANG_S", "120", 1);
  ::setenv("STAND_IN_HANG_UNTIL", (dir_ / "release").c_str(), 1);
  const std::string args = "pwave_upscale" + deck("shale_small.deck") + stand_in() + out("s") + "-q --no-plot --freq ";
  ASSERT_EQ(here("(" + quoted(SWEEP_EXE) + " " + args + "1,2 2> a.txt; echo $? > a.rc) &"), 0);
  ASSERT_GT(number_in(dir_ / "s" / "points" / "p0001" / "pid"), 0);
  EXPECT_EQ(sweep(args + "3"), 2);
  EXPECT_NE(err().find("is in use by another upscale_sweep (process"), std::string::npos) << err();
  std::ofstream(dir_ / "s" / "points.tsv", std::ios::app) << "\n";
  std::ofstream(dir_ / "release") << "\n";
  EXPECT_EQ(number_in(dir_ / "a.rc"), 1);
  EXPECT_NE(slurp(dir_ / "a.txt").find("was replaced while this sweep ran"), std::string::npos) << slurp(dir_ / "a.txt");

  ::setenv("STAND_IN_HANG_FREQ", "7", 1);
  ::setenv("STAND_IN_HANG_S", "60", 1);
  ::unsetenv("STAND_IN_HANG_UNTIL");
  fs::remove(dir_ / "s" / "points" / "p0001" / "pid");
  ASSERT_EQ(shell("cd " + quoted(dir_.string()) + "; " + quoted(SWEEP_EXE) + " " + args + "7,8 > /dev/null 2>&1 & echo $! > b.pid"), 0);
  // The run's number is read before the kill: a sweep killed between
  // creating the pid file and writing it would leave the file empty.
  const int sweep_pid = number_in(dir_ / "b.pid"), run = number_in(dir_ / "s" / "points" / "p0001" / "pid");
  ASSERT_TRUE(sweep_pid > 0 && run > 0);
  ASSERT_EQ(::kill(sweep_pid, SIGKILL), 0);
  // The run ends with its sweep: gone, or a zombie, well before its 60 s hang
  // (polled, so a loaded machine only makes the wait longer).
  std::string st = "not looked at";
  for (int i = 0; i < 1500; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
    st = slurp("/proc/" + std::to_string(run) + "/stat");
    if (st.empty() || st.find(") Z") != std::string::npos) break;
  }
  EXPECT_TRUE(st.empty() || st.find(") Z") != std::string::npos) << "the run of point 1 outlived its sweep: " << st;
  ::unsetenv("STAND_IN_HANG_FREQ");
  EXPECT_EQ(sweep(args + "7,8"), 0) << err();
}

// Names that a shell or gnuplot would run as commands stay names: a deck
// named with backquotes through the plot, a sweep folder with quotes, $()
// and backquotes through tasks.txt (GNU parallel, sh) and the Slurm scripts
// (bash), which split large sweeps into arrays of at most --array-max tasks.
TEST_F(Sweep, ScriptsAndPlotsRunNothingTheyAreGiven) {
  if (!have("gnuplot") || !have("parallel")) GTEST_SKIP() << "needs gnuplot and GNU parallel (gnuplot-nox, parallel)";
  fs::copy_file(kExamples / "shale_small.deck", dir_ / "b`touch INJECTED`;y.deck");
  EXPECT_EQ(sweep("pwave_upscale 'b`touch INJECTED`;y.deck'" + stand_in() + out("p") + "--freq 1,2 -q"), 0) << err();
  EXPECT_NE(slurp(dir_ / "p" / "sweep.gp").find("'pwave_upscale b`touch INJECTED`;y.deck: "), std::string::npos);
  const std::string odd = "o'$(touch INJECTED)`touch INJECTED`;x";
  ASSERT_EQ(sweep("--plan pwave_upscale" + deck("shale_small.deck") + stand_in() + " -o " + quoted(odd) +
                  " --freq 1,2,3,4,5 --array-max 2"), 0) << err();
  const fs::path o = dir_ / odd;
  const std::string submit = slurp(o / "slurm_submit.sh");
  const std::string array = quoted((o / "slurm_array.sh").string());
  EXPECT_NE(submit.find(array + " 0\nsbatch --array=1-2 " + array + " 2\nsbatch --array=1-1 " + array + " 4\n"),
            std::string::npos) << submit;
  EXPECT_NE(slurp(o / "slurm_array.sh").find("#SBATCH --array=1-2\n"), std::string::npos);
  EXPECT_EQ(here("SLURM_ARRAY_TASK_ID=1 bash " + array + " 4"), 0);
  EXPECT_TRUE(fs::exists(o / "points" / "p0005" / "status"));
  EXPECT_EQ(here("head -n 4 " + quoted((o / "tasks.txt").string()) + " | parallel --will-cite -j 2 > /dev/null 2>&1"), 0);
  EXPECT_EQ(sweep("--merge " + quoted(odd)), 0) << err();
  // Two routes to one table: the planned tasks and the runner's own run.
  ASSERT_EQ(sweep("pwave_upscale" + deck("shale_small.deck") + stand_in() + out("l") + "--freq 1,2,3,4,5 -q"), 0);
  EXPECT_EQ(slurp(o / "sweep.csv"), slurp(dir_ / "l" / "sweep.csv"));
  EXPECT_EQ(here("find . -name INJECTED | grep -q ."), 1);
  EXPECT_FALSE(fs::exists("/INJECTED"));
}

// ------------------------------------------------------------ real programs

namespace {

// The real program, or nothing when it is not built.
#define REAL_PROGRAM(var, name)                                                        \
  const char* var##_bin = std::getenv("UPSCALE_BIN_DIR");                              \
  if (!var##_bin || !fs::exists(fs::path(var##_bin) / (name))) GTEST_SKIP() << (name); \
  const fs::path var = fs::path(var##_bin) / (name)

// The value after the n-th occurrence of `label` in a report (item `item`).
double value_after(const std::string& report, const std::string& label, int occurrence, int item) {
  size_t p = std::string::npos;
  for (int i = 0; i < occurrence; ++i)
    if ((p = report.find(label, p == std::string::npos ? 0 : p + 1)) == std::string::npos) return std::nan("");
  std::istringstream in(report.substr(p + label.size()));
  double v = std::nan("");
  for (int i = 0; i <= item; ++i) in >> v;
  return v;
}

// A column and where a point's own files show it: after the n-th occurrence
// of a report label (its item-th number), or in column `item` of the first
// line of a table file (label "@file"); `close`: five digits.
struct Column {
  const char* name;
  std::string label;
  int occurrence = 1, item = 0;
  bool close = false;
};

}  // namespace

// Every column of every row of a sweep equals the value the real program
// wrote in the point's report or tables, read here by a parser of its own:
// for the shear programs the finite-element columns from the c13 block (the
// second), the cmu columns from the first, the analytic ones at full
// precision (equal to the report's, the cells being alike).
TEST_F(Sweep, RealProgramsColumnsMatchTheirPointsReports) {
  const std::vector<Column> tied = {
      {"re_mt", "tied modulus M_T (Pa) = "}, {"im_mt", "tied modulus M_T (Pa) = ", 1, 1}, {"v_mt", "tied velocity (m/s) = "},
      {"q1000_mt", "tied 1000/Q = "},        {"re_mw", "work modulus M_W (Pa) = "},        {"im_mw", "work modulus M_W (Pa) = ", 1, 1},
      {"v_mw", "work velocity (m/s) = "},    {"q1000_mw", "work 1000/Q = "}};
  std::vector<Column> shear = {
      {"vs_cmu", "Velocity(m/s) FE             = "}, {"vs_fe", "Velocity(m/s) FE             = ", 2},
      {"q1000_cmu", "1000/Q  FE                   = "}, {"q1000_fe", "1000/Q  FE                   = ", 2},
      {"re_cmu", "Re(cmu) FE                   = "}, {"im_cmu", "Im(cmu) FE                   = "},
      {"re_c13", "Re(c13) FE                   = "}, {"im_c13", "Im(cc13) FE                   = "},
      {"vs_anal", "vs1 = "}, {"q1000_anal", "1000/qs1"}};
  std::vector<Column> pwave = {
      {"vp_fe", "using averages  Velocity(m/s) FE = "}, {"q1000_fe", "using averages 1000/Q FE         = "},
      {"re_c33", "using averages Re(c33) FE        = "}, {"im_c33", "using averages Im(c33) FE        = "},
      {"vp_mstar", "from deltavol1 Velocity(m/s) FE = "}, {"q1000_mstar", "from deltavol1 1000/Q FE        = "},
      {"re_mstar", "from deltavol1 Re(p33) FE mstar      = "}, {"im_mstar", "from deltavol1 Im(p33) FE mstar      = "},
      {"rob_med", "average density rob_med is (kg/m**3)"}, {"phiw1", "@vp_anal.phiw"}, {"vp_anal", "@vp_anal.phiw", 1, 1},
      {"q1000_anal", "@1000_over_q_anal.phiw", 1, 1, true}, {"re_p3", "@fort.18", 1, 1}, {"im_p3", "@fort.18", 1, 2}};
  for (std::vector<Column>* c : {&shear, &pwave}) c->insert(c->end(), tied.begin(), tied.end());
  const std::tuple<std::string, const char*, std::string, size_t, std::vector<Column>> runs[] = {
      {"pwave_upscale", "shale_small.deck", "--freq 1:1000:2 --phiw 0.05,0.25", 4, pwave},
      {"swave_spectrum", "ice_small.deck", "--freq 2,200", 2, shear},
      {"swave_saturation", "ice_small.deck", "--freq 2,200", 2, shear}};
  for (const auto& [name, deck_name, pick, count, cols] : runs) {
    SCOPED_TRACE(name);
    REAL_PROGRAM(exe, name);
    ASSERT_EQ(sweep(name + deck(deck_name) + " --exe " + quoted(exe.string()) + out(name) + pick + " -j 2 -q --no-plot"), 0)
        << err();
    const Csv rows = read_csv(dir_ / name / "sweep.csv");
    ASSERT_EQ(rows.size(), count + 1);
    // Cell (nx, ny) of shale_small is of layer material 2: a sweep of material 1's water proportion drops its panels.
    EXPECT_EQ(slurp(dir_ / name / "sweep.gp").find("analytic plane wave") == std::string::npos, name == "pwave_upscale");
    for (const auto& r : std::vector(rows.begin() + 1, rows.end())) {
      SCOPED_TRACE("point " + r.at("point"));
      EXPECT_EQ(r.at("status") + r.at("message"), "40");
      EXPECT_TRUE(name != "pwave_upscale" || num(r, "v_unrelaxed") > num(r, "v_relaxed"));
      const fs::path point = dir_ / name / "points" / ("p000" + r.at("point"));
      for (const Column& c : cols) {
        const double want = c.label[0] == '@' ? value_after(" " + slurp(point / c.label.substr(1)), " ", 1, c.item)
                                              : value_after(slurp(point / "report.txt"), c.label, c.occurrence, c.item);
        if (std::isnan(want)) EXPECT_TRUE(std::isnan(num(r, c.name))) << c.name;  // a line the build does not print
        else if (c.close) EXPECT_NEAR(num(r, c.name), want, 1e-4 * std::abs(want)) << c.name;
        else EXPECT_EQ(num(r, c.name), want) << c.name;
      }
    }
  }
}

// A received sweep folder may hold anything under a file's name. A FIFO or
// a link to /dev/zero in a point folder makes neither --merge nor a resume
// wait or read without end: the row names the file, and the resume runs the
// point again. A link planted under any name the sweep writes (the lock,
// temporary names, the scripts, maps.gp) leads no write out of the folder,
// and a point folder that is a link is refused, its files untouched.
TEST_F(Sweep, ReceivedFolderFifosAndLinksNeitherHangNorLeadWritesOut) {
  const std::string args = "pwave_upscale" + deck("shale_small.deck") + stand_in() + out("s") + "--freq 1,2,3 -q --no-plot";
  ASSERT_EQ(sweep(args), 0) << err();
  const fs::path s = dir_ / "s", p = s / "points", target = dir_ / "target";
  std::ofstream(target) << "precious\n";
  fs::remove(p / "p0001" / "report.txt");
  ASSERT_EQ(::mkfifo((p / "p0001" / "report.txt").c_str(), 0644), 0);
  fs::remove(p / "p0002" / "run.json");
  fs::create_symlink("/dev/zero", p / "p0002" / "run.json");
  fs::remove(p / "p0003" / "status");
  ASSERT_EQ(::mkfifo((p / "p0003" / "status").c_str(), 0644), 0);
  fs::create_symlink(target, s / "sweep.csv.tmp");
  EXPECT_EQ(sweep("--merge s --no-plot", "timeout 60 "), 1) << err();  // 124 would be a hang
  Csv rows = read_csv(s / "sweep.csv");
  ASSERT_EQ(rows.size(), 3u);  // point 3 has no status that reads: not finished
  EXPECT_EQ(rows[1].at("message"), "files of the run that cannot be read: report.txt is not a regular file");
  EXPECT_EQ(rows[2].at("message"), "files of the run that cannot be read: run.json is a symbolic link");
  EXPECT_EQ(sweep(args, "timeout 60 "), 0) << err();  // resumed: all three again
  EXPECT_EQ(read_csv(s / "sweep.csv").size(), 4u);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(p / "p0001" / "report.txt")));

  for (const char* name : {".lock", "points.tsv.tmp", "tasks.txt", "slurm_array.sh", "slurm_submit.sh"}) {
    fs::remove(s / name);
    fs::create_symlink(target, s / name);
  }
  EXPECT_EQ(sweep("--plan " + args), 2);
  EXPECT_NE(err().find(".lock is a symbolic link"), std::string::npos) << err();
  fs::remove(s / ".lock");
  EXPECT_EQ(sweep("--plan " + args), 0) << err();
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(s / "slurm_array.sh")) && fs::is_regular_file(fs::symlink_status(s / "tasks.txt")));
  fs::create_symlink(target, p / "p0002" / "maps.gp");
  fs::create_symlink(target, p / "p0002" / "water_proportion.png");  // drawn privately by gnuplot, then refused
  EXPECT_EQ(sweep("--maps " + quoted((p / "p0002").string())), have("gnuplot") ? 1 : 0) << err();
  fs::create_symlink(p / "p0002", dir_ / "linked_run");
  EXPECT_EQ(sweep("--maps linked_run"), 2);
  EXPECT_EQ(slurp(target), "precious\n");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::owner_exec, fs::perms::none);

  fs::create_directories(dir_ / "elsewhere");
  std::ofstream(dir_ / "elsewhere" / "keep.txt") << "mine\n";
  fs::remove_all(p / "p0003");
  fs::create_directory_symlink(dir_ / "elsewhere", p / "p0003");
  EXPECT_EQ(sweep(args), 2);
  EXPECT_NE(err().find("p0003 is a symbolic link"), std::string::npos) << err();
  EXPECT_EQ(slurp(dir_ / "elsewhere" / "keep.txt"), "mine\n");
  EXPECT_EQ(sweep("--merge s --no-plot"), 1);
  EXPECT_NE(slurp(s / "sweep.csv").find("p0003 is a symbolic link"), std::string::npos);
  ASSERT_EQ(here("truncate -s 70M s/points/p0001/run.json"), 0);  // more than a sweep reads
  EXPECT_EQ(sweep("--merge s --no-plot"), 2);
  EXPECT_NE(err().find("points/p0001 was made by a build not known: its run.json holds 73400320 bytes"), std::string::npos) << err();
}

// What a point's files must be to count: its porosity.frac edited after the
// run is refused as its input.deck would be; a run.json of other sources is
// another build.
TEST_F(Sweep, EditedCellMapAndOtherSourcesAreNoResultOfTheRun) {
  REAL_PROGRAM(exe, "pwave_upscale");
  ASSERT_EQ(here("sed '8s/.*/    1/' " + deck("ice_small.deck") + " > map.deck && awk 'BEGIN{for(i=1;i<=100;i++) printf \"%12.4f\\n\", 0.1+i/1000}' > porosity.frac"), 0);
  const std::string run = "pwave_upscale map.deck --exe " + quoted(exe.string()) + out("m") + "--freq 1,3 -q --no-plot";
  ASSERT_EQ(sweep(run), 0) << err();
  ASSERT_EQ(here("sed -i '1s/.*/      0.3000/' m/points/p0002/porosity.frac"), 0);
  EXPECT_EQ(sweep("--merge m --no-plot"), 1);
  Csv rows = read_csv(dir_ / "m" / "sweep.csv");
  EXPECT_EQ(rows[1].at("message"), "");
  EXPECT_NE(rows[2].at("message").find("porosity.frac is not the file its run read"), std::string::npos) << rows[2].at("message");
  EXPECT_EQ(sweep(run), 0) << err();  // the point runs again on the sweep's own map
  // Two builds of one commit that differ in their sources are two builds.
  ASSERT_EQ(here("sed -i 's/\"sources_sha256\": \"[0-9a-f]/\"sources_sha256\": \"x/' m/points/p0001/run.json"), 0);
  EXPECT_EQ(sweep("--merge m --no-plot"), 2);
  EXPECT_NE(err().find("points of different builds"), std::string::npos) << err();
}

#ifdef TENSOR_EXE
// upscale_sweep over tensor_upscale: the merged tensor.csv is the table of
// one tensor_upscale run over the same frequencies, byte for byte, whether
// the points ran under the sweep or from its task list; a failed point is
// rerun alone; a point whose deck changed after its run is not merged.
TEST_F(Sweep, TensorSpectrumIsOneRunsTableResumedAndRunFromTheTaskList) {
  const std::string ice = deck("ice_small.deck"), exe = " --exe " + quoted(TENSOR_EXE) + " ";
  ASSERT_EQ(here(quoted(TENSOR_EXE) + ice + "--freq 1:1000:3 -o one --quiet 2> /dev/null"), 0);
  const std::string expected = slurp(dir_ / "one" / "tensor.csv");
  ASSERT_EQ(std::count(expected.begin(), expected.end(), '\n'), 5);  // names, units, three rows
  const std::string args = "tensor_upscale" + ice + exe + "--freq 1:1000:3 --no-plot -q";
  ASSERT_EQ(sweep(args + out("sw") + "-j 2"), 0) << err();
  EXPECT_EQ(slurp(dir_ / "sw" / "tensor.csv"), expected);
  EXPECT_TRUE(fs::exists(dir_ / "sw" / "tensor.gp"));

  // A point that failed is run again alone by --retry-failed, and the table is whole again.
  const fs::path p = dir_ / "sw" / "points";
  const std::string status = slurp(p / "p0002" / "status"), table = slurp(p / "p0002" / "tensor.csv");
  std::ofstream(p / "p0002" / "status") << "1\n" << status.substr(status.find('\n') + 1);
  fs::remove(p / "p0002" / "run.json");
  ASSERT_EQ(sweep("--merge sw --no-plot"), 1);
  const std::string row = table.substr(table.find('\n', table.find('\n') + 1) + 1);  // after names and units
  ASSERT_FALSE(row.empty());
  EXPECT_EQ(slurp(dir_ / "sw" / "tensor.csv").find(row), std::string::npos);
  const auto untouched = fs::last_write_time(p / "p0001" / "tensor.csv");
  ASSERT_EQ(sweep(args + out("sw") + "--retry-failed"), 0) << err();
  EXPECT_EQ(fs::last_write_time(p / "p0001" / "tensor.csv"), untouched);
  EXPECT_EQ(slurp(dir_ / "sw" / "tensor.csv"), expected);

  // A deck changed after its run: that point's row is no result of it.
  std::ofstream(p / "p0003" / "input.deck", std::ios::app) << "\n";
  EXPECT_EQ(sweep("--merge sw --no-plot"), 1);
  EXPECT_NE(err().find("another deck"), std::string::npos) << err();

  // The points run from the task list, merged: the same table.
  ASSERT_EQ(sweep("--plan " + args + out("planned")), 0) << err();
  EXPECT_FALSE(fs::exists(dir_ / "planned" / "tensor.csv"));
  ASSERT_EQ(here("sh planned/tasks.txt > /dev/null 2>&1"), 0);
  ASSERT_EQ(sweep("--merge planned --no-plot"), 0) << err();
  EXPECT_EQ(slurp(dir_ / "planned" / "tensor.csv"), expected);
}
#endif
