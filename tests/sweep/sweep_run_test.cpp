// upscale_sweep end to end: sweeps run against the stand-in program (whose
// results are known in closed form, and which can be made to fail, crash or
// hang on demand) and against the three real programs.
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

#include "tests/sweep/stand_in_values.hpp"

namespace fs = std::filesystem;

namespace {

fs::path examples() {
  const char* e = std::getenv("UPSCALE_EXAMPLES");
  return e ? fs::path(e) : fs::path(SWEEP_EXAMPLES_DIR);
}

std::string q(const std::string& s) { return "'" + s + "'"; }

using Csv = std::vector<std::map<std::string, std::string>>;

std::vector<std::string> csv_split(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') cur += '"', ++i;
      else if (c == '"') quoted = false;
      else cur += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

Csv read_csv(const fs::path& f) {
  std::ifstream in(f);
  std::string line;
  Csv rows;
  if (!std::getline(in, line)) return rows;
  auto head = csv_split(line);
  while (std::getline(in, line)) {
    auto f2 = csv_split(line);
    EXPECT_EQ(f2.size(), head.size()) << line;
    std::map<std::string, std::string> r;
    for (size_t i = 0; i < head.size() && i < f2.size(); ++i) r[head[i]] = f2[i];
    rows.push_back(r);
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
  if (it == r.end() || it->second.empty()) return std::nan("");
  return std::strtod(it->second.c_str(), nullptr);
}

bool have(const std::string& program) {
  return std::system(("command -v " + program + " > /dev/null 2>&1").c_str()) == 0;
}

class Sweep : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("sweep_run_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const char* v : {"STAND_IN_PROGRAM", "STAND_IN_FAIL_FREQ", "STAND_IN_CRASH_FREQ", "STAND_IN_SLEEP_MS",
                          "STAND_IN_LOG"})
      ::unsetenv(v);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  // Runs upscale_sweep with `args`; returns its exit status, keeps stderr.
  int sweep(const std::string& args) {
    std::string cmd = q(SWEEP_EXE) + " " + args + " > " + q((dir_ / "out.txt").string()) + " 2> " +
                      q((dir_ / "err.txt").string());
    return shell(cmd);
  }
  static int shell(const std::string& cmd) {
    int st = std::system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  std::string err() { return slurp(dir_ / "err.txt"); }
  std::string stand_in() { return " --exe " + q(STAND_IN_EXE) + " "; }
  std::string out(const std::string& name) { return " -o " + q((dir_ / name).string()) + " "; }

  fs::path dir_;
};

}  // namespace

// A 4 x 4 grid of frequencies and water proportions: every row holds the
// stand-in's closed-form values for its point, and every point deck holds its
// point's values.
TEST_F(Sweep, GridRowsHoldEachPointsResults) {
  fs::path deck = examples() / "shale_small.deck";
  ASSERT_EQ(sweep("pwave_upscale " + q(deck.string()) + stand_in() + out("s") +
                  "--freq 1:1000:4 --phiw 0.05,0.1,0.2,0.3 -j 3 --no-plot"),
            0)
      << err();
  Csv rows = read_csv(dir_ / "s" / "sweep.csv");
  ASSERT_EQ(rows.size(), 16u);
  const double freqs[] = {1, 10, 100, 1000}, phis[] = {0.05, 0.1, 0.2, 0.3};
  for (int i = 0; i < 16; ++i) {
    const auto& r = rows[i];
    double f = freqs[i % 4], phi = phis[i / 4];
    SCOPED_TRACE("point " + std::to_string(i + 1));
    EXPECT_EQ(r.at("point"), std::to_string(i + 1));
    EXPECT_NEAR(num(r, "freq"), f, 1e-12 * f);
    EXPECT_EQ(num(r, "phiw1"), phi);
    EXPECT_EQ(r.at("status"), "40");
    EXPECT_EQ(r.at("message"), "");
    // The second layer material keeps the deck's 0.2.
    auto v = stand_in::values(num(r, "freq"), phi, 0.2, false);
    EXPECT_EQ(num(r, "vp_fe"), v.v_fe);
    EXPECT_EQ(num(r, "q1000_fe"), v.q_fe);
    EXPECT_EQ(num(r, "re_c33"), v.re);
    EXPECT_EQ(num(r, "im_c33"), v.im);
    EXPECT_EQ(num(r, "vp_anal"), v.v_anal);                      // list-directed table
    EXPECT_NEAR(num(r, "q1000_anal"), v.q_anal, 1e-4 * v.q_anal);  // G15.5 table
    EXPECT_EQ(num(r, "re_mstar"), v.re_second);
    EXPECT_EQ(num(r, "im_mstar"), v.im_second);
    EXPECT_EQ(num(r, "vp_mstar"), v.v_second);
    EXPECT_EQ(num(r, "re_p3"), v.re_p3);
    EXPECT_EQ(num(r, "im_p3"), v.im_p3);
    EXPECT_EQ(num(r, "rob_med"), v.rho);

    // Only records 1 (freq) and 17 (phi_layer1(1)) differ from the deck.
    std::ifstream a(deck), b(dir_ / "s" / r.at("dir") / "input.deck");
    std::string la, lb;
    for (int n = 1; std::getline(a, la) && std::getline(b, lb); ++n) {
      if (n == 1) EXPECT_NEAR(std::strtod(lb.c_str(), nullptr), f, 1e-12 * f);
      else if (n == 17) EXPECT_EQ(std::strtod(lb.substr(0, 20).c_str(), nullptr), phi);
      else EXPECT_EQ(la, lb) << "record " << n;
    }
  }
  // The plot script draws one curve per water proportion on a log axis.
  std::string gp = slurp(dir_ / "s" / "sweep.gp");
  EXPECT_NE(gp.find("set logscale x"), std::string::npos);
  EXPECT_NE(gp.find("$curve4 << EOD"), std::string::npos);
  EXPECT_EQ(gp.find("$curve5"), std::string::npos);
}

// The deck's own frequency scale; the shear programs' imposed water
// proportion cannot be swept.
TEST_F(Sweep, DeckScaleAndTheShearProgramsWaterProportion) {
  ::setenv("STAND_IN_PROGRAM", "swave_saturation", 1);
  ASSERT_EQ(sweep("swave_saturation " + q((examples() / "ice_small.deck").string()) + stand_in() + out("s") +
                  "--freq deck -q --no-plot"),
            0)
      << err();
  Csv rows = read_csv(dir_ / "s" / "sweep.csv");
  ASSERT_EQ(rows.size(), 10u);  // the deck's nfreq
  EXPECT_EQ(num(rows[0], "freq"), 10.0);
  EXPECT_NEAR(num(rows[3], "freq"), 10 * std::pow(10.0, 3.0 / 9), 1e-12);
  EXPECT_EQ(num(rows[9], "freq"), 100.0);
  for (const auto& r : rows) EXPECT_EQ(num(r, "re_c13"), stand_in::values(num(r, "freq"), 0.28, 0.28, true).re);
  EXPECT_EQ(sweep("swave_spectrum " + q((examples() / "ice_small.deck").string()) + stand_in() + out("t") +
                  "--phiw 0.1,0.2"),
            2);
  EXPECT_NE(err().find("imposes its own water proportion"), std::string::npos) << err();
}

// Re-running a sweep runs only what is missing: a removed point directory, a
// point without its status file (interrupted) and a point killed by a signal.
TEST_F(Sweep, ResumeRunsOnlyUnfinishedPoints) {
  fs::path log = dir_ / "runs.log";
  ::setenv("STAND_IN_LOG", log.c_str(), 1);
  std::string args = "pwave_upscale " + q((examples() / "shale_small.deck").string()) + stand_in() + out("s") +
                     "--freq 1:1000:4 --phiw 0.05:0.35:4 -q --no-plot";
  ASSERT_EQ(sweep(args), 0) << err();
  auto runs = [&] {
    std::vector<std::string> l;
    std::ifstream in(log);
    for (std::string s; std::getline(in, s);) l.push_back(fs::path(s).filename().string());
    return l;
  };
  ASSERT_EQ(runs().size(), 16u);
  std::string table = slurp(dir_ / "s" / "sweep.csv");

  fs::remove_all(dir_ / "s" / "points" / "p0006");
  fs::remove(dir_ / "s" / "points" / "p0011" / "status");
  fs::remove(log);
  ASSERT_EQ(sweep(args), 0) << err();
  auto again = runs();
  std::sort(again.begin(), again.end());
  EXPECT_EQ(again, (std::vector<std::string>{"p0006", "p0011"}));
  EXPECT_EQ(slurp(dir_ / "s" / "sweep.csv"), table);

  // A changed deck is a changed point: only the points whose deck changed run.
  fs::remove(log);
  ASSERT_EQ(sweep("pwave_upscale " + q((examples() / "shale_small.deck").string()) + stand_in() + out("s") +
                  "--freq 1:1000:4 --phiw 0.05,0.15,0.3,0.45 -q --no-plot"),
            0);
  EXPECT_EQ(runs().size(), 8u);
}

// Failed points are rows with their status and message; the others are
// unaffected and the runner's own status says that not every point succeeded.
TEST_F(Sweep, FailingPointsAreRecordedAndDoNotStopTheOthers) {
  ::setenv("STAND_IN_FAIL_FREQ", "100", 1);
  ::setenv("STAND_IN_CRASH_FREQ", "1000", 1);
  // phi_a is 0.4 in the ice deck: water proportion 0.4 fails the ice-model check.
  std::string args = "pwave_upscale " + q((examples() / "ice_small.deck").string()) + stand_in() + out("s") +
                     "--freq 1,10,100,1000 --phiw 0.1,0.4 -q --no-plot";
  EXPECT_EQ(sweep(args), 1) << err();
  Csv rows = read_csv(dir_ / "s" / "sweep.csv");
  ASSERT_EQ(rows.size(), 8u);
  // phiw 0.1: 1 and 10 Hz fine, 100 Hz solver failure, 1000 Hz crash.
  EXPECT_EQ(rows[0].at("status"), "40");
  EXPECT_EQ(rows[1].at("status"), "40");
  EXPECT_FALSE(std::isnan(num(rows[1], "vp_fe")));
  EXPECT_EQ(rows[2].at("status"), "99");
  EXPECT_NE(rows[2].at("message").find("FLAG= -7"), std::string::npos) << rows[2].at("message");
  EXPECT_NE(rows[2].at("message").find("STOP 99"), std::string::npos);
  EXPECT_TRUE(std::isnan(num(rows[2], "vp_fe")));
  EXPECT_EQ(rows[3].at("status"), std::to_string(128 + SIGABRT));
  EXPECT_NE(rows[3].at("message").find("killed by signal"), std::string::npos);
  // phiw 0.4: every frequency stops in the deck check.
  for (int i = 4; i < 8; ++i) {
    EXPECT_EQ(rows[i].at("status"), "11");
    EXPECT_NE(rows[i].at("message").find("Ice model, phi_a_m is smaller than phi_layer_m(i)"), std::string::npos);
    EXPECT_EQ(rows[i].at("vp_fe"), "");
  }

  // Re-running reruns the crashed point (interrupted) but not the failed
  // ones, unless asked to.
  ::unsetenv("STAND_IN_FAIL_FREQ");
  ::unsetenv("STAND_IN_CRASH_FREQ");
  EXPECT_EQ(sweep(args), 1);
  rows = read_csv(dir_ / "s" / "sweep.csv");
  EXPECT_EQ(rows[3].at("status"), "40");
  EXPECT_EQ(rows[2].at("status"), "99");
  EXPECT_EQ(sweep(args + " --retry-failed"), 1);
  rows = read_csv(dir_ / "s" / "sweep.csv");
  EXPECT_EQ(rows[2].at("status"), "40");
  EXPECT_EQ(rows[4].at("status"), "11");
}

TEST_F(Sweep, TimeLimitStopsAHangingRun) {
  ::setenv("STAND_IN_SLEEP_MS", "20000", 1);
  EXPECT_EQ(sweep("pwave_upscale " + q((examples() / "shale_small.deck").string()) + stand_in() + out("s") +
                  "--freq 5 --timeout 0.3 -q --no-plot"),
            1);
  Csv rows = read_csv(dir_ / "s" / "sweep.csv");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("status"), std::to_string(128 + SIGKILL));
  EXPECT_NE(rows[0].at("message").find("time limit"), std::string::npos) << rows[0].at("message");
}

// The planned task list, run line by line by a plain shell, gives the same
// table as the runner itself; so does the Slurm script for one array index,
// and --merge of a partly run plan holds the finished points only.
TEST_F(Sweep, PlannedTaskListGivesTheSameTable) {
  std::string pick = "pwave_upscale " + q((examples() / "shale_small.deck").string()) + stand_in() +
                     "--freq 3:300:3 --phiw 0.1,0.3 -q --no-plot";
  ASSERT_EQ(sweep(pick + out("local")), 0) << err();
  ASSERT_EQ(sweep("--plan " + pick + out("plan")), 0) << err();
  fs::path plan = dir_ / "plan";
  EXPECT_FALSE(fs::exists(plan / "points" / "p0001" / "status"));
  std::vector<std::string> lines;
  {
    std::ifstream in(plan / "tasks.txt");
    for (std::string l; std::getline(in, l);) lines.push_back(l);
  }
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(shell("cd / && /bin/sh -c " + q(lines[0])), 0);
  EXPECT_EQ(sweep("--merge " + q(plan.string()) + " --no-plot"), 1);
  EXPECT_EQ(read_csv(plan / "sweep.csv").size(), 1u);

  EXPECT_EQ(shell("cd / && SLURM_ARRAY_TASK_ID=2 /bin/bash " + q((plan / "slurm_array.sh").string())), 0);
  for (size_t i = 2; i < lines.size(); ++i) EXPECT_EQ(shell("/bin/sh -c " + q(lines[i])), 0);
  EXPECT_EQ(sweep("--merge " + q(plan.string()) + " --no-plot"), 0) << err();
  EXPECT_EQ(slurp(plan / "sweep.csv"), slurp(dir_ / "local" / "sweep.csv"));
}

TEST_F(Sweep, PlotsAndMapsAreRenderedWhenGnuplotIsPresent) {
  ASSERT_EQ(sweep("pwave_upscale " + q((examples() / "shale_small.deck").string()) + stand_in() + out("s") +
                  "--freq 1:1000:5 -q"),
            0)
      << err();
  EXPECT_TRUE(fs::exists(dir_ / "s" / "sweep.gp"));
  fs::path run = dir_ / "s" / "points" / "p0002";
  EXPECT_EQ(sweep("--maps " + q(run.string())), 0) << err();
  std::string gp = slurp(run / "maps.gp");
  for (const char* m : {"mod_pressure_p33_ice", "real_strain1_map", "imag_strain3_map"})
    EXPECT_NE(gp.find(std::string("plot \"") + m + "\" using 1:2:3 with image"), std::string::npos) << m;
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed (Debian package: gnuplot-nox)";
  EXPECT_GT(fs::file_size(dir_ / "s" / "sweep.png"), 1000u);
  EXPECT_GT(fs::file_size(run / "mod_pressure_p33_ice.png"), 1000u);
  EXPECT_GT(fs::file_size(run / "real_strain1_map.png"), 1000u);
}

TEST_F(Sweep, BadUsageIsRefusedWithAMessage) {
  std::string deck = q((examples() / "shale_small.deck").string());
  struct Case { std::string args, says; };
  std::ofstream(dir_ / "one_layer.deck") << "10.0\n100.\n4\n0.2\n10\n10\n    1\n    0\n1\n";
  std::ofstream(dir_ / "junk.deck") << "ten Hz\n";
  const Case cases[] = {
      {"", "give a program and a deck"},
      {"pwave_upscal " + deck, "unknown program"},
      {"pwave_upscale " + q((dir_ / "none.deck").string()) + stand_in(), "cannot read deck"},
      {"pwave_upscale " + q((dir_ / "one_layer.deck").string()) + stand_in(), "ends before record"},
      {"pwave_upscale " + q((dir_ / "junk.deck").string()) + stand_in(), "record"},
      {"pwave_upscale " + deck + stand_in() + "--phiw 1.5", "lies in 0..1"},
      {"pwave_upscale " + deck + stand_in() + "--freq 0,10", "positive"},
      {"pwave_upscale " + deck + stand_in() + "--freq 1:10", "FIRST:LAST:COUNT"},
      {"pwave_upscale " + deck + stand_in() + "-j 0", "-j"},
      {"pwave_upscale " + deck + stand_in() + "--both-layers", "--both-layers goes with --phiw"},
      {"pwave_upscale " + deck + " --exe /nonexistent/x", "not an executable"},
      {"pwave_upscale " + deck + stand_in() + "--frequency 3", "unknown option"},
      {"--merge " + q(dir_.string()), "not a sweep directory"},
      {"--maps " + q(dir_.string()), "no pressure or strain map"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sweep(c.args), 2) << c.args;
    EXPECT_NE(err().find(c.says), std::string::npos) << c.args << "\n" << err();
  }
  // A sweep directory of another program is not overwritten.
  ASSERT_EQ(sweep("pwave_upscale " + deck + stand_in() + out("s") + "--freq 1 -q --no-plot"), 0);
  EXPECT_EQ(sweep("swave_spectrum " + deck + stand_in() + out("s") + "--freq 1 -q --no-plot"), 2);
  EXPECT_NE(err().find("holds a sweep of pwave_upscale"), std::string::npos);
}

// ------------------------------------------------------------ real programs
//
// The same paths with the programs themselves. Each point is checked against
// the program run alone on a deck edited by sed, so the expected values do
// not go through the runner's deck writer or readers.

namespace {

// The real program, or nothing when it is not built or does not run to its
// normal end on the small ice deck.
std::optional<fs::path> real_program(const std::string& name) {
  const char* bin = std::getenv("UPSCALE_BIN_DIR");
  if (!bin) return std::nullopt;
  fs::path exe = fs::path(bin) / name;
  if (!fs::exists(exe)) return std::nullopt;
  fs::path tmp = fs::temp_directory_path() / ("sweep_probe_" + std::to_string(::getpid()) + "_" + name);
  fs::create_directories(tmp);
  std::string cmd = "cd " + q(tmp.string()) + " && " + q(exe.string()) + " < " +
                    q((examples() / "ice_small.deck").string()) + " > report.txt 2> /dev/null";
  int st = std::system(cmd.c_str());
  bool ok = WIFEXITED(st) && WEXITSTATUS(st) == 40;
  fs::remove_all(tmp);
  if (!ok) return std::nullopt;
  return exe;
}

#define REAL_PROGRAM(var, name)                                                   \
  auto var##_found = real_program(name);                                          \
  if (!var##_found) GTEST_SKIP() << (name) << " is not built or does not run here"; \
  const fs::path var = *var##_found

// The value after the n-th occurrence of `label` in a report.
double value_after(const std::string& report, const std::string& label, int occurrence = 1) {
  size_t p = std::string::npos;
  for (int i = 0; i < occurrence; ++i) {
    p = report.find(label, p == std::string::npos ? 0 : p + 1);
    if (p == std::string::npos) return std::nan("");
  }
  return std::strtod(report.c_str() + p + label.size(), nullptr);
}

// The numbers of the first line of a table file.
std::vector<double> first_line(const fs::path& f) {
  std::ifstream in(f);
  std::string line;
  std::getline(in, line);
  std::istringstream s(line);
  std::vector<double> out;
  for (std::string w; s >> w;) out.push_back(std::strtod(w.c_str(), nullptr));
  return out;
}

// sed script that sets record 1 to `freq` and, when given, columns 1-20 of
// record 17 (phi_layer1(1)) to `phiw`.
std::string sed_point(const std::string& freq, const std::string& phiw) {
  std::string e = "sed -e '1s/^[^ ]*/" + freq + "/'";
  if (!phiw.empty()) {
    char field[64];
    std::snprintf(field, sizeof field, "%-20s", (phiw + (phiw.find('.') == std::string::npos ? ".0" : "")).c_str());
    e += " -e '17s/^.\\{20\\}/" + std::string(field) + "/'";
  }
  return e + " ";
}

}  // namespace

// A 4 x 4 grid of frequencies and water proportions of pwave_upscale: every
// column of every row equals the value of the same point run alone.
TEST_F(Sweep, RealPwaveUpscaleGridMatchesSingleRuns) {
  REAL_PROGRAM(exe, "pwave_upscale");
  fs::path deck = examples() / "shale_small.deck";
  fs::path single = dir_ / "single";
  fs::create_directories(single);
  ASSERT_EQ(sweep("pwave_upscale " + q(deck.string()) + " --exe " + q(exe.string()) + out("s") +
                  "--freq 1:1000:4 --phiw 0.05,0.1,0.15,0.25 -j 2 -q --no-plot"),
            0)
      << err();
  Csv rows = read_csv(dir_ / "s" / "sweep.csv");
  ASSERT_EQ(rows.size(), 16u);
  for (const auto& r : rows) {
    SCOPED_TRACE("point " + r.at("point"));
    EXPECT_EQ(r.at("status"), "40");
    EXPECT_EQ(r.at("message"), "");
    ASSERT_EQ(shell("cd " + q(single.string()) + " && " + sed_point(r.at("freq"), r.at("phiw1")) + q(deck.string()) +
                    " | " + q(exe.string()) + " > report.txt 2>/dev/null"),
              40);
    std::string rep = slurp(single / "report.txt");
    EXPECT_EQ(num(r, "vp_fe"), value_after(rep, "using averages  Velocity(m/s) FE = "));
    EXPECT_EQ(num(r, "q1000_fe"), value_after(rep, "using averages 1000/Q FE         = "));
    EXPECT_EQ(num(r, "re_c33"), value_after(rep, "using averages Re(c33) FE        = "));
    EXPECT_EQ(num(r, "im_c33"), value_after(rep, "using averages Im(c33) FE        = "));
    EXPECT_EQ(num(r, "vp_mstar"), value_after(rep, "from deltavol1 Velocity(m/s) FE = "));
    EXPECT_EQ(num(r, "re_mstar"), value_after(rep, "from deltavol1 Re(p33) FE mstar      = "));
    EXPECT_EQ(num(r, "im_mstar"), value_after(rep, "from deltavol1 Im(p33) FE mstar      = "));
    EXPECT_EQ(num(r, "rob_med"), value_after(rep, "average density rob_med is (kg/m**3)"));
    auto anal = first_line(single / "vp_anal.phiw");
    ASSERT_EQ(anal.size(), 2u);
    EXPECT_EQ(anal[0], num(r, "phiw1"));
    EXPECT_EQ(num(r, "vp_anal"), anal[1]);
    auto q_anal = first_line(single / "1000_over_q_anal.phiw");
    ASSERT_EQ(q_anal.size(), 2u);
    EXPECT_EQ(num(r, "q1000_anal"), q_anal[1]);
    auto p3 = first_line(single / "fort.18");
    ASSERT_EQ(p3.size(), 3u);
    EXPECT_EQ(num(r, "re_p3"), p3[1]);
    EXPECT_EQ(num(r, "im_p3"), p3[2]);
    // The table's five-digit finite-element velocity is the report's.
    EXPECT_NEAR(first_line(single / "vp_eq.phiw").at(1), num(r, "vp_fe"), 1e-4 * num(r, "vp_fe"));
  }
}

// The shear programs: the finite-element columns come from the c13 block,
// the cmu columns from the first block, the analytic ones from the tables of
// the program's own suffix.
TEST_F(Sweep, RealShearProgramsColumnsMatchSingleRuns) {
  fs::path deck = examples() / "ice_small.deck";
  for (const char* name : {"swave_spectrum", "swave_saturation"}) {
    SCOPED_TRACE(name);
    REAL_PROGRAM(exe, name);
    const std::string suffix = std::string(name) == "swave_spectrum" ? "freq" : "phiw";
    fs::path single = dir_ / (std::string("single_") + name);
    fs::create_directories(single);
    ASSERT_EQ(sweep(std::string(name) + " " + q(deck.string()) + " --exe " + q(exe.string()) +
                    out(std::string("s_") + name) + "--freq 2,200 -j 2 -q --no-plot"),
              0)
        << err();
    Csv rows = read_csv(dir_ / (std::string("s_") + name) / "sweep.csv");
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& r : rows) {
      SCOPED_TRACE("freq " + r.at("freq"));
      EXPECT_EQ(r.at("status"), "40");
      EXPECT_EQ(r.at("message"), "");
      ASSERT_EQ(shell("cd " + q(single.string()) + " && " + sed_point(r.at("freq"), "") + q(deck.string()) + " | " +
                      q(exe.string()) + " > report.txt 2>/dev/null"),
                40);
      std::string rep = slurp(single / "report.txt");
      EXPECT_EQ(num(r, "vs_cmu"), value_after(rep, "Velocity(m/s) FE             = ", 1));
      EXPECT_EQ(num(r, "vs_fe"), value_after(rep, "Velocity(m/s) FE             = ", 2));
      EXPECT_EQ(num(r, "q1000_cmu"), value_after(rep, "1000/Q  FE                   = ", 1));
      EXPECT_EQ(num(r, "q1000_fe"), value_after(rep, "1000/Q  FE                   = ", 2));
      EXPECT_EQ(num(r, "re_cmu"), value_after(rep, "Re(cmu) FE                   = "));
      EXPECT_EQ(num(r, "im_cmu"), value_after(rep, "Im(cmu) FE                   = "));
      EXPECT_EQ(num(r, "re_c13"), value_after(rep, "Re(c13) FE                   = "));
      EXPECT_EQ(num(r, "im_c13"), value_after(rep, "Im(cc13) FE                   = "));
      EXPECT_EQ(num(r, "vs_anal"), first_line(single / ("vs_anal." + suffix)).at(1));
      EXPECT_EQ(num(r, "q1000_anal"), first_line(single / ("1000_over_qs_anal." + suffix)).at(1));
      // The table's velocity is the c13 one, not the cmu one.
      EXPECT_NEAR(first_line(single / ("vs_eq." + suffix)).at(1), num(r, "vs_fe"), 1e-4 * num(r, "vs_fe"));
    }
  }
}

// A water proportion equal to phi_a stops the ice model's deck check (exit
// 11): those rows carry the status and the program's message, the other
// points are unaffected. Re-running after a point's directory was removed
// runs that point alone and gives the same table.
TEST_F(Sweep, RealFailingPointAndResume) {
  REAL_PROGRAM(exe, "pwave_upscale");
  std::string args = "pwave_upscale " + q((examples() / "ice_small.deck").string()) + " --exe " + q(exe.string()) +
                     out("s") + "--freq 1,100 --phiw 0.1,0.4 -j 2 -q --no-plot";
  EXPECT_EQ(sweep(args), 1) << err();
  fs::path s = dir_ / "s";
  Csv rows = read_csv(s / "sweep.csv");
  ASSERT_EQ(rows.size(), 4u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(rows[i].at("status"), "40");
    EXPECT_EQ(rows[i].at("message"), "");
    EXPECT_GT(num(rows[i], "vp_fe"), 0);
  }
  for (int i = 2; i < 4; ++i) {
    EXPECT_EQ(rows[i].at("status"), "11");
    EXPECT_NE(rows[i].at("message").find("Ice model, phi_a_m is smaller than phi_layer_m(i)"), std::string::npos)
        << rows[i].at("message");
    EXPECT_NE(rows[i].at("message").find("STOP 11"), std::string::npos) << rows[i].at("message");
    EXPECT_EQ(rows[i].at("vp_fe"), "");
  }
  std::string table = slurp(s / "sweep.csv");

  // A marker in each finished directory tells which points ran again.
  for (const char* p : {"p0001", "p0002", "p0003", "p0004"}) std::ofstream(s / "points" / p / "marker");
  fs::remove_all(s / "points" / "p0002");
  EXPECT_EQ(sweep(args), 1) << err();
  EXPECT_TRUE(fs::exists(s / "points" / "p0001" / "marker"));
  EXPECT_FALSE(fs::exists(s / "points" / "p0002" / "marker"));
  EXPECT_TRUE(fs::exists(s / "points" / "p0002" / "status"));
  EXPECT_TRUE(fs::exists(s / "points" / "p0003" / "marker"));  // failed, not retried
  EXPECT_EQ(slurp(s / "sweep.csv"), table);

  // Asked to, the failed points run again and fail the same way.
  EXPECT_EQ(sweep(args + " --retry-failed"), 1);
  EXPECT_TRUE(fs::exists(s / "points" / "p0001" / "marker"));
  EXPECT_EQ(slurp(s / "sweep.csv"), table);
}

// The planned task list of the real program through GNU parallel gives the
// table of the runner's own run.
TEST_F(Sweep, RealTaskListThroughGnuParallel) {
  REAL_PROGRAM(exe, "pwave_upscale");
  if (!have("parallel")) GTEST_SKIP() << "GNU parallel is not installed (Debian package: parallel)";
  std::string pick = "pwave_upscale " + q((examples() / "ice_small.deck").string()) + " --exe " + q(exe.string()) +
                     " --freq 1:1000:4 --phiw 0.1,0.2 -q --no-plot";
  ASSERT_EQ(sweep(pick + out("local")), 0) << err();
  ASSERT_EQ(sweep("--plan " + pick + out("plan")), 0) << err();
  ASSERT_EQ(shell("cd / && parallel --will-cite -j 2 -a " + q((dir_ / "plan" / "tasks.txt").string()) +
                  " > /dev/null 2>&1"),
            0);
  EXPECT_EQ(sweep("--merge " + q((dir_ / "plan").string()) + " --no-plot"), 0) << err();
  EXPECT_EQ(read_csv(dir_ / "plan" / "sweep.csv").size(), 8u);
  EXPECT_EQ(slurp(dir_ / "plan" / "sweep.csv"), slurp(dir_ / "local" / "sweep.csv"));
}

// A run that ends normally but leaves its results out is not a success.
TEST_F(Sweep, NormalEndWithoutResultsCountsAsFailed) {
  ::setenv("STAND_IN_PROGRAM", "swave_spectrum", 1);  // writes no compressional results
  EXPECT_EQ(sweep("pwave_upscale " + q((examples() / "shale_small.deck").string()) + stand_in() + out("s") +
                  "--freq 2 -q --no-plot"),
            1);
  Csv rows = read_csv(dir_ / "s" / "sweep.csv");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("status"), "40");
  EXPECT_EQ(rows[0].at("message").rfind("no value for vp_fe", 0), 0u) << rows[0].at("message");
  EXPECT_NE(err().find("1 failed"), std::string::npos) << err();
}
