// upscale_sweep end to end: the three real programs, each point checked
// against the program run alone on a deck edited by sed (so the expected
// values go through neither the runner's deck writer nor its readers), and
// the failure paths with a stand-in that fails, crashes, hangs or leaves its
// results out on demand.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path examples() {
  const char* e = std::getenv("UPSCALE_EXAMPLES");
  return e ? fs::path(e) : fs::path(SWEEP_EXAMPLES_DIR);
}

std::string q(const std::string& s) { return "'" + s + "'"; }

using Csv = std::vector<std::map<std::string, std::string>>;

std::vector<std::string> csv_split(const std::string& line) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') out.back() += '"', ++i;
    else if (c == '"') quoted = !quoted;
    else if (c == ',' && !quoted) out.emplace_back();
    else out.back() += c;
  }
  return out;
}

Csv read_csv(const fs::path& f) {
  std::ifstream in(f);
  std::string line;
  Csv rows;
  if (!std::getline(in, line)) return rows;
  const auto head = csv_split(line);
  while (std::getline(in, line)) {
    const auto f2 = csv_split(line);
    EXPECT_EQ(f2.size(), head.size()) << line;
    auto& r = rows.emplace_back();
    for (size_t i = 0; i < head.size() && i < f2.size(); ++i) r[head[i]] = f2[i];
  }
  return rows;
}

std::string slurp(const fs::path& f) {
  std::ifstream in(f, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

double num(const std::map<std::string, std::string>& r, const std::string& col) {
  auto it = r.find(col);
  return it == r.end() || it->second.empty() ? std::nan("") : std::strtod(it->second.c_str(), nullptr);
}

bool have(const std::string& program) {
  return std::system(("command -v " + program + " > /dev/null 2>&1").c_str()) == 0;
}

class Sweep : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("sweep_run_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const char* v : {"STAND_IN_FAIL_FREQ", "STAND_IN_CRASH_FREQ", "STAND_IN_HANG_FREQ", "STAND_IN_BARE_FREQ"})
      ::unsetenv(v);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }
  // Runs upscale_sweep with `args`; returns its exit status, keeps stderr.
  int sweep(const std::string& args) {
    return shell(q(SWEEP_EXE) + " " + args + " > " + q((dir_ / "out.txt").string()) + " 2> " +
                 q((dir_ / "err.txt").string()));
  }
  static int shell(const std::string& cmd) {
    const int st = std::system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  std::string err() { return slurp(dir_ / "err.txt"); }
  static std::string deck(const char* name) { return " " + q((examples() / name).string()) + " "; }
  std::string stand_in() { return " --exe " + q(STAND_IN_EXE) + " "; }
  std::string out(const std::string& name) { return " -o " + q((dir_ / name).string()) + " "; }
  fs::path dir_;
};

}  // namespace

// The deck's own frequency scale, one plot curve per water proportion, and
// the maps of a point.
TEST_F(Sweep, DeckScalePlotsAndMaps) {
  ASSERT_EQ(sweep("pwave_upscale" + deck("ice_small.deck") + stand_in() + out("s") + "--freq deck --phiw 0.1,0.2 -q"),
            0)
      << err();
  const Csv rows = read_csv(dir_ / "s" / "sweep.csv");
  ASSERT_EQ(rows.size(), 20u);  // the deck's nfreq, the first quantity varying fastest
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(num(rows[i], "freq"), 10 * std::pow(10.0, i / 9.0), 1e-12 * 100) << i;
  EXPECT_EQ(num(rows[9], "freq"), 100.0);
  const std::string plot = slurp(dir_ / "s" / "sweep.gp");
  EXPECT_NE(plot.find("set logscale x"), std::string::npos);
  EXPECT_NE(plot.find("$curve2 << EOD"), std::string::npos);
  EXPECT_EQ(plot.find("$curve3"), std::string::npos);
  const fs::path run = dir_ / "s" / "points" / "p0002";
  EXPECT_EQ(sweep("--maps " + q(run.string())), 0) << err();
  const std::string gp = slurp(run / "maps.gp");
  for (const char* m : {"mod_pressure_p33_ice", "real_strain1_map", "imag_strain3_map"})
    EXPECT_NE(gp.find(std::string("plot \"") + m + "\" using 1:2:3 with image"), std::string::npos) << m;
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed (Debian package: gnuplot-nox)";
  EXPECT_GT(fs::file_size(dir_ / "s" / "sweep.png"), 1000u);
  EXPECT_GT(fs::file_size(run / "real_strain1_map.png"), 1000u);
}

// A solver failure, a crash, a hang past the time limit and a normal end
// without results: each a row with its status and message, the other point
// unaffected, the runner's status 1. Re-running reruns the crashed and the
// stopped points (interrupted) but not the failed one, unless asked to.
TEST_F(Sweep, FailuresAreRecordedAndInterruptedPointsRerun) {
  ::setenv("STAND_IN_FAIL_FREQ", "2", 1);
  ::setenv("STAND_IN_CRASH_FREQ", "3", 1);
  ::setenv("STAND_IN_HANG_FREQ", "4", 1);
  ::setenv("STAND_IN_BARE_FREQ", "5", 1);
  const std::string args = "pwave_upscale" + deck("shale_small.deck") + stand_in() + out("s") +
                           "--freq 1,2,3,4,5 --timeout 1 -j 2 -q --no-plot";
  EXPECT_EQ(sweep(args), 1) << err();
  EXPECT_NE(err().find("4 failed"), std::string::npos) << err();
  Csv rows = read_csv(dir_ / "s" / "sweep.csv");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].at("status") + rows[0].at("message"), "40");
  EXPECT_FALSE(std::isnan(num(rows[0], "vp_fe")));
  EXPECT_EQ(rows[1].at("status"), "99");
  EXPECT_NE(rows[1].at("message").find("FLAG= -7"), std::string::npos) << rows[1].at("message");
  EXPECT_NE(rows[1].at("message").find("STOP 99"), std::string::npos);
  EXPECT_TRUE(std::isnan(num(rows[1], "vp_fe")));
  EXPECT_EQ(rows[2].at("status"), std::to_string(128 + SIGABRT));
  EXPECT_NE(rows[2].at("message").find("killed by signal"), std::string::npos);
  EXPECT_EQ(rows[3].at("status"), std::to_string(128 + SIGKILL));
  EXPECT_NE(rows[3].at("message").find("time limit"), std::string::npos) << rows[3].at("message");
  EXPECT_EQ(rows[4].at("status"), "40");
  EXPECT_EQ(rows[4].at("message").rfind("no value for vp_fe", 0), 0u) << rows[4].at("message");

  for (const char* v : {"STAND_IN_FAIL_FREQ", "STAND_IN_CRASH_FREQ", "STAND_IN_HANG_FREQ"}) ::unsetenv(v);
  EXPECT_EQ(sweep(args), 1);
  rows = read_csv(dir_ / "s" / "sweep.csv");
  EXPECT_EQ(rows[1].at("status"), "99");
  EXPECT_EQ(rows[2].at("status") + rows[2].at("message"), "40");
  EXPECT_EQ(rows[3].at("status") + rows[3].at("message"), "40");
  EXPECT_EQ(sweep(args + " --retry-failed"), 1);
  rows = read_csv(dir_ / "s" / "sweep.csv");
  EXPECT_EQ(rows[1].at("status") + rows[1].at("message"), "40");
}

TEST_F(Sweep, BadUsageIsRefusedWithAMessage) {
  const std::string d = deck("shale_small.deck");
  struct Case { std::string args, says; };
  std::ofstream(dir_ / "one_layer.deck") << "10.0\n100.\n4\n0.2\n10\n10\n    1\n    0\n1\n";
  std::ofstream(dir_ / "junk.deck") << "ten Hz\n";
  const Case cases[] = {
      {"", "give a program and a deck"},
      {"pwave_upscal" + d, "unknown program"},
      {"pwave_upscale " + q((dir_ / "none.deck").string()) + stand_in(), "cannot read deck"},
      {"pwave_upscale " + q((dir_ / "one_layer.deck").string()) + stand_in(), "ends before record"},
      {"pwave_upscale " + q((dir_ / "junk.deck").string()) + stand_in(), "record"},
      {"pwave_upscale" + d + stand_in() + "--phiw 1.5", "lies in 0..1"},
      {"pwave_upscale" + d + stand_in() + "--freq 0,10", "positive"},
      {"pwave_upscale" + d + stand_in() + "--freq 1:10", "FIRST:LAST:COUNT"},
      {"pwave_upscale" + d + stand_in() + "-j 0", "-j"},
      {"pwave_upscale" + d + stand_in() + "--both-layers", "--both-layers goes with --phiw"},
      {"swave_spectrum" + d + stand_in() + "--phiw 0.1,0.2", "imposes its own water proportion"},
      {"pwave_upscale " + d + " --exe /nonexistent/x", "not an executable"},
      {"pwave_upscale" + d + stand_in() + "--frequency 3", "unknown option"},
      {"--merge " + q(dir_.string()), "not a sweep directory"},
      {"--maps " + q(dir_.string()), "no pressure or strain map"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sweep(c.args), 2) << c.args;
    EXPECT_NE(err().find(c.says), std::string::npos) << c.args << "\n" << err();
  }
  // A sweep directory of another program is not overwritten.
  ASSERT_EQ(sweep("pwave_upscale" + d + stand_in() + out("s") + "--freq 1 -q --no-plot"), 0);
  EXPECT_EQ(sweep("swave_spectrum" + d + stand_in() + out("s") + "--freq 1 -q --no-plot"), 2);
  EXPECT_NE(err().find("holds a sweep of pwave_upscale"), std::string::npos);
}

// ------------------------------------------------------------ real programs

namespace {

// The real program, or nothing when it is not built.
std::optional<fs::path> real_program(const std::string& name) {
  const char* bin = std::getenv("UPSCALE_BIN_DIR");
  if (!bin || !fs::exists(fs::path(bin) / name)) return std::nullopt;
  return fs::path(bin) / name;
}

#define REAL_PROGRAM(var, name)                                                 \
  auto var##_found = real_program(name);                                        \
  if (!var##_found) GTEST_SKIP() << (name) << " is not built";                  \
  const fs::path var = *var##_found

// The value after the n-th occurrence of `label` in a report.
double value_after(const std::string& report, const std::string& label, int occurrence = 1) {
  size_t p = std::string::npos;
  for (int i = 0; i < occurrence; ++i)
    if ((p = report.find(label, p == std::string::npos ? 0 : p + 1)) == std::string::npos) return std::nan("");
  return std::strtod(report.c_str() + p + label.size(), nullptr);
}

// Number `column` (from 0) of the first line of a table file.
double table_value(const fs::path& f, int column) {
  std::ifstream in(f);
  std::string line;
  std::getline(in, line);
  std::istringstream words(line);
  std::vector<double> v;
  for (std::string w; words >> w;) v.push_back(std::strtod(w.c_str(), nullptr));
  return column < static_cast<int>(v.size()) ? v[column] : std::nan("");
}

// The program run alone in `dir` on `deck` with record 1 set to `freq` and,
// when given, columns 1-20 of record 17 (phi_layer1(1)) to `phiw`; its report.
std::string single_run(const fs::path& exe, const fs::path& dir, const fs::path& deck, const std::string& freq,
                       std::string phiw) {
  std::string sed = "sed -e '1s/^[^ ]*/" + freq + "/'";
  if (!phiw.empty()) {
    if (phiw.find('.') == std::string::npos) phiw += ".0";
    phiw.resize(20, ' ');
    sed += " -e '17s/^.\\{20\\}/" + phiw + "/'";
  }
  fs::create_directories(dir);
  const std::string cmd = "cd " + q(dir.string()) + " && " + sed + " " + q(deck.string()) + " | " + q(exe.string()) +
                          " > report.txt 2>/dev/null";
  const int st = std::system(cmd.c_str());
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 40) << cmd;
  return slurp(dir / "report.txt");
}

// A column of the table: from the n-th occurrence of a report label, or from
// a column of a table file (label empty); `close` for five-digit tables.
struct Column {
  const char* name;
  const char* label;
  int occurrence;
  std::string table;
  int table_column;
  bool close = false;
};

void expect_columns(const std::map<std::string, std::string>& r, const std::string& rep, const fs::path& dir,
                    const std::vector<Column>& cols) {
  for (const Column& c : cols) {
    const double want = *c.label ? value_after(rep, c.label, c.occurrence) : table_value(dir / c.table, c.table_column);
    if (c.close) EXPECT_NEAR(num(r, c.name), want, 1e-4 * std::abs(want)) << c.name;
    else EXPECT_EQ(num(r, c.name), want) << c.name;
  }
}

}  // namespace

// Every column of every row of a sweep equals the value of the same point
// run alone: pwave_upscale on a 4 x 4 grid; for the shear programs the
// finite-element columns from the c13 block (the second), the cmu columns
// from the first, the analytic ones from the tables of the program's own suffix.
TEST_F(Sweep, RealProgramsColumnsMatchSingleRuns) {
  struct Run {
    std::string name;
    const char* deck_name;
    std::string pick;
    size_t rows;
    std::vector<Column> cols;
  };
  auto shear = [](const std::string& sfx) {
    return std::vector<Column>{{"vs_cmu", "Velocity(m/s) FE             = ", 1, "", 0},
                               {"vs_fe", "Velocity(m/s) FE             = ", 2, "", 0},
                               {"q1000_cmu", "1000/Q  FE                   = ", 1, "", 0},
                               {"q1000_fe", "1000/Q  FE                   = ", 2, "", 0},
                               {"re_cmu", "Re(cmu) FE                   = ", 1, "", 0},
                               {"im_cmu", "Im(cmu) FE                   = ", 1, "", 0},
                               {"re_c13", "Re(c13) FE                   = ", 1, "", 0},
                               {"im_c13", "Im(cc13) FE                   = ", 1, "", 0},
                               {"vs_anal", "", 1, "vs_anal" + sfx, 1},
                               {"q1000_anal", "", 1, "1000_over_qs_anal" + sfx, 1},
                               {"vs_fe", "", 1, "vs_eq" + sfx, 1, true}};
  };
  const Run runs[] = {
      {"pwave_upscale", "shale_small.deck", "--freq 1:1000:4 --phiw 0.05,0.1,0.15,0.25", 16,
       {{"vp_fe", "using averages  Velocity(m/s) FE = ", 1, "", 0},
        {"q1000_fe", "using averages 1000/Q FE         = ", 1, "", 0},
        {"re_c33", "using averages Re(c33) FE        = ", 1, "", 0},
        {"im_c33", "using averages Im(c33) FE        = ", 1, "", 0},
        {"vp_mstar", "from deltavol1 Velocity(m/s) FE = ", 1, "", 0},
        {"q1000_mstar", "from deltavol1 1000/Q FE        = ", 1, "", 0},
        {"re_mstar", "from deltavol1 Re(p33) FE mstar      = ", 1, "", 0},
        {"im_mstar", "from deltavol1 Im(p33) FE mstar      = ", 1, "", 0},
        {"rob_med", "average density rob_med is (kg/m**3)", 1, "", 0},
        {"phiw1", "", 1, "vp_anal.phiw", 0},
        {"vp_anal", "", 1, "vp_anal.phiw", 1},
        {"q1000_anal", "", 1, "1000_over_q_anal.phiw", 1},
        {"re_p3", "", 1, "fort.18", 1},
        {"im_p3", "", 1, "fort.18", 2},
        {"vp_fe", "", 1, "vp_eq.phiw", 1, true}}},  // the report's value, not a five-digit one
      {"swave_spectrum", "ice_small.deck", "--freq 2,200", 2, shear(".freq")},
      {"swave_saturation", "ice_small.deck", "--freq 2,200", 2, shear(".phiw")},
  };
  for (const Run& run : runs) {
    SCOPED_TRACE(run.name);
    REAL_PROGRAM(exe, run.name);
    ASSERT_EQ(sweep(run.name + deck(run.deck_name) + " --exe " + q(exe.string()) + out(run.name) + run.pick +
                    " -j 2 -q --no-plot"),
              0)
        << err();
    const Csv rows = read_csv(dir_ / run.name / "sweep.csv");
    ASSERT_EQ(rows.size(), run.rows);
    const fs::path single = dir_ / ("single_" + run.name);
    for (const auto& r : rows) {
      SCOPED_TRACE("point " + r.at("point"));
      EXPECT_EQ(r.at("status") + r.at("message"), "40");
      const std::string phiw = r.count("phiw1") ? r.at("phiw1") : "";
      expect_columns(r, single_run(exe, single, examples() / run.deck_name, r.at("freq"), phiw), single, run.cols);
    }
  }
}

// A water proportion equal to phi_a stops the ice model's deck check (exit
// 11): those rows carry the status and the program's message, the other
// points are unaffected. Re-running after a point's directory or a status
// file was removed runs those points alone and gives the same table; failed
// points run again only when asked to, and fail the same way.
TEST_F(Sweep, RealFailingPointAndResume) {
  REAL_PROGRAM(exe, "pwave_upscale");
  const std::string args = "pwave_upscale" + deck("ice_small.deck") + " --exe " + q(exe.string()) + out("s") +
                           "--freq 1,100 --phiw 0.1,0.4 -j 2 -q --no-plot";
  EXPECT_EQ(sweep(args), 1) << err();
  const fs::path s = dir_ / "s";
  const Csv rows = read_csv(s / "sweep.csv");
  ASSERT_EQ(rows.size(), 4u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(rows[i].at("status") + rows[i].at("message"), "40");
    EXPECT_GT(num(rows[i], "vp_fe"), 0);
    EXPECT_EQ(rows[i + 2].at("status"), "11");
    EXPECT_NE(rows[i + 2].at("message").find("Ice model, phi_a_m is smaller than phi_layer_m(i)"), std::string::npos);
    EXPECT_NE(rows[i + 2].at("message").find("STOP 11"), std::string::npos) << rows[i + 2].at("message");
    EXPECT_EQ(rows[i + 2].at("vp_fe"), "");
  }
  const std::string table = slurp(s / "sweep.csv");
  for (const char* p : {"p0001", "p0003"}) std::ofstream(s / "points" / p / "marker");
  fs::remove_all(s / "points" / "p0002");
  fs::remove(s / "points" / "p0004" / "status");
  EXPECT_EQ(sweep(args), 1) << err();
  EXPECT_TRUE(fs::exists(s / "points" / "p0001" / "marker"));
  EXPECT_TRUE(fs::exists(s / "points" / "p0003" / "marker"));  // failed, not retried
  EXPECT_EQ(slurp(s / "sweep.csv"), table);
  EXPECT_EQ(sweep(args + " --retry-failed"), 1);
  EXPECT_EQ(slurp(s / "sweep.csv"), table);
}

// The planned task list of the real program gives the table of the
// runner's own run: one line by a plain shell (a merge then holds that point
// only), one point by the Slurm script, the rest through GNU parallel.
TEST_F(Sweep, RealTaskListThroughShellSlurmAndGnuParallel) {
  REAL_PROGRAM(exe, "pwave_upscale");
  if (!have("parallel")) GTEST_SKIP() << "GNU parallel is not installed (Debian package: parallel)";
  const std::string pick = "pwave_upscale" + deck("ice_small.deck") + " --exe " + q(exe.string()) +
                           " --freq 1:1000:4 --phiw 0.1,0.2 -q --no-plot";
  ASSERT_EQ(sweep(pick + out("local")), 0) << err();
  ASSERT_EQ(sweep("--plan " + pick + out("plan")), 0) << err();
  const fs::path plan = dir_ / "plan";
  EXPECT_FALSE(fs::exists(plan / "points" / "p0001" / "status"));
  std::ifstream tasks(plan / "tasks.txt");
  std::string first;
  ASSERT_TRUE(std::getline(tasks, first));
  EXPECT_EQ(shell("cd / && /bin/sh -c " + q(first)), 0);
  EXPECT_EQ(sweep("--merge " + q(plan.string()) + " --no-plot"), 1);
  EXPECT_EQ(read_csv(plan / "sweep.csv").size(), 1u);
  EXPECT_EQ(shell("cd / && SLURM_ARRAY_TASK_ID=2 /bin/bash " + q((plan / "slurm_array.sh").string())), 0);
  EXPECT_EQ(sweep("--merge " + q(plan.string()) + " --no-plot"), 1);
  EXPECT_EQ(read_csv(plan / "sweep.csv").size(), 2u);
  ASSERT_EQ(shell("cd / && tail -n +3 " + q((plan / "tasks.txt").string()) +
                  " | parallel --will-cite -j 2 > /dev/null 2>&1"),
            0);
  EXPECT_EQ(sweep("--merge " + q(plan.string()) + " --no-plot"), 0) << err();
  EXPECT_EQ(slurp(plan / "sweep.csv"), slurp(dir_ / "local" / "sweep.csv"));
}
