// pwave_upscale as a process: the deck on standard input, a scratch working
// directory, the stop code seen as exit status.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "deck_files.hpp"

using deck_files::first_records;
using deck_files::join;
using deck_files::lines_of;
using deck_files::with_record;

namespace {

const char* const kResultFiles[] = {
    "vp_anal.phiw",     "vp_eq.phiw",       "1000_over_q_eq.phiw", "1000_over_q_anal.phiw",
    "mod_pressure_p33_ice", "mod_grad_pressure_p33_ice", "real_strain1_map", "imag_strain1_map",
    "real_strain3_map", "imag_strain3_map", "real_stress_map", "imag_stress_map"};

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

struct Outcome {
  int status = -1;
  std::string out, err, dir;
};

// Runs pwave_upscale on `deck` in a fresh directory; `prepare` may set the
// directory up first; `stdout_to` redirects standard output elsewhere.
Outcome run_pwave(const std::string& deck, const std::string& prepare = "", const std::string& stdout_to = "out.txt") {
  Outcome r;
  const char* env_bin = std::getenv("UPSCALE_BIN_DIR");
  const std::string bin = env_bin ? env_bin : UPSCALE_DEFAULT_BIN_DIR;
  char tmpl[] = "/tmp/upscale_pwave_XXXXXX";
  if (!mkdtemp(tmpl)) {
    ADD_FAILURE() << "no scratch directory";
    return r;
  }
  r.dir = tmpl;
  std::ofstream(r.dir + "/deck.in", std::ios::binary) << deck;
  const std::string cmd = "cd '" + r.dir + "' && " + (prepare.empty() ? "" : prepare + " && ") + "'" + bin +
                          "/pwave_upscale' < deck.in > " + stdout_to + " 2> err.txt";
  const int st = std::system(cmd.c_str());
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.out = slurp(r.dir + "/out.txt");
  r.err = slurp(r.dir + "/err.txt");
  return r;
}

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace

TEST(PwaveUpscale, ExampleDecksEndNormallyWithEmptyResultFiles) {
  for (const char* name : {"ice_small.deck", "shale_small.deck", "ice.deck", "shale.deck"}) {
    const Outcome r = run_pwave(join(lines_of(name)), "echo 'from an earlier run' > vp_anal.phiw");
    EXPECT_EQ(r.status, 40) << name << "\n" << r.err;
    EXPECT_EQ(r.err, "STOP 40\n") << name;  // no warning for these decks
    for (const char* f : kResultFiles) {
      EXPECT_TRUE(exists(r.dir + "/" + f)) << f;
      EXPECT_EQ(slurp(r.dir + "/" + f), "") << f;  // created or truncated
    }
    // The report ends with h, an empty line and the running time in f15.6.
    const std::size_t mesh = r.out.rfind("  mesh size h  ");
    ASSERT_NE(mesh, std::string::npos) << r.out;
    const std::size_t time = r.out.find("\n\n running time=", mesh);
    ASSERT_NE(time, std::string::npos) << r.out;
    const std::string last = r.out.substr(time + 2);
    ASSERT_EQ(last.size(), std::string(" running time=").size() + 15 + std::string("hours\n").size()) << last;
    EXPECT_TRUE(last.ends_with("hours\n"));
    EXPECT_EQ(last[14 + 15 - 7], '.') << last;  // six decimals
  }
}

TEST(PwaveUpscale, PorosityCheckStopsWith11AfterThreeLines) {
  const std::vector<std::string> ice = lines_of("ice_small.deck");
  // phi_layer1(1) equal to phi_a(1) fails: equality is not allowed.
  const Outcome r = run_pwave(join(with_record(ice, 17, "4.000000e-01")));
  EXPECT_EQ(r.status, 11);
  EXPECT_EQ(r.err, "STOP 11\n");
  EXPECT_TRUE(contains(r.out, " 2\n  Ice model, phi_a_m is smaller than phi_layer_m(i) \n  ERROR, the code stops \n"
                              "  phi_a_m(i) =  0.4  phi_layer_m(i) =  0.4\n"))
      << r.out;
  EXPECT_FALSE(contains(r.out, "layer i="));  // no echo block
  for (const char* f : kResultFiles) EXPECT_EQ(slurp(r.dir + "/" + f), "") << f;

  // The shaley-sand model makes no such check.
  const Outcome shale = run_pwave(join(with_record(with_record(ice, 17, "4.000000e-01"), 7, "    1")));
  EXPECT_EQ(shale.status, 40) << shale.err;
}

TEST(PwaveUpscale, PorosityCheckRunsLayerByLayer) {
  // A violation in layer 2 stops before capa_1_0(2) is read: the deck may
  // end right after phi_layer1(2) and the stop is still 11, not an input error.
  const std::vector<std::string> ice = lines_of("ice_small.deck");
  const Outcome r = run_pwave(join(first_records(with_record(ice, 37, "5.000000e-01"), 37)));
  EXPECT_EQ(r.status, 11) << r.err;
  EXPECT_TRUE(contains(r.out, "  phi_a_m(i) =  0.4  phi_layer_m(i) =  0.5\n")) << r.out;
}

TEST(PwaveUpscale, DecksBeyondTheCapacitiesAreRefused) {
  struct Case {
    int record;
    const char* text;
    const char* quantity;
  };
  const std::vector<std::string> ice = lines_of("ice_small.deck");
  for (const Case& c : {Case{5, "61   nx", "nx = 61"}, Case{5, "0", "nx = 0"}, Case{6, "-1", "ny = -1"},
                        Case{6, "1000000", "ny = 1000000"}, Case{9, "3", "nlayers = 3"},
                        Case{9, "-1", "nlayers = -1"}, Case{7, "    2", "key_model = 2"},
                        Case{8, "   -1", "model = -1"}}) {
    const Outcome r = run_pwave(join(with_record(ice, c.record, c.text)));
    EXPECT_EQ(r.status, 13) << c.quantity << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, c.quantity)) << r.err;
    EXPECT_TRUE(contains(r.err, "record " + std::to_string(c.record))) << r.err;
    EXPECT_TRUE(contains(r.err, "STOP 13")) << r.err;
    EXPECT_EQ(r.out, "") << c.quantity;  // refused before anything is echoed
  }
  // The largest grid is within the capacities.
  const Outcome full = run_pwave(join(with_record(with_record(ice, 5, "60"), 6, "60")));
  EXPECT_EQ(full.status, 40) << full.err;
}

TEST(PwaveUpscale, NoLayersIsAcceptedByTheDeck) {
  const Outcome r = run_pwave(join(with_record(first_records(lines_of("ice_small.deck"), 9), 9, "0")));
  EXPECT_EQ(r.status, 40) << r.err;
  EXPECT_FALSE(contains(r.out, "layer i="));
}

TEST(PwaveUpscale, UnreadableInputNamesRecordQuantityAndText) {
  struct Case {
    std::string deck;
    std::vector<std::string> expected;
  };
  const std::vector<std::string> ice = lines_of("ice_small.deck");
  const Case cases[] = {
      {join(with_record(ice, 5, "ten   nx")), {"record 5 (nx)", "\"ten\""}},
      {join(with_record(ice, 3, "10.5")), {"record 3 (nfreq)", "\"10.5\""}},
      {join(with_record(ice, 7, "  1.0")), {"record 7 (key_model)", "\"  1.0\""}},
      {join(with_record(ice, 14, "2650 kg/m3")), {"record 14 (ro1(1))", "\"2650 kg/m3\""}},
      {join(with_record(ice, 30, "")), {"record 30 (nl(2))", "no value"}},
      {join(first_records(ice, 20)), {"record 21 (rs1(1))", "end of input"}},
      {"", {"record 1 (freq)", "end of input"}},
      {std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0", 12) + "\n\xff\xfe\n", {"record 1 (freq)", "\\x7fELF"}},
      {"10.0\r\n", {"record 2 (freq_max)"}},
  };
  for (const Case& c : cases) {
    const Outcome r = run_pwave(c.deck);
    EXPECT_EQ(r.status, 2) << r.err;
    for (const std::string& e : c.expected) EXPECT_TRUE(contains(r.err, e)) << "missing " << e << " in " << r.err;
    EXPECT_TRUE(contains(r.err, "STOP 2")) << r.err;
  }
}

TEST(PwaveUpscale, LongLinesAndImpliedDecimals) {
  std::vector<std::string> ice = lines_of("ice_small.deck");
  // A long comment after a value is ignored ...
  Outcome r = run_pwave(join(with_record(ice, 1, "10.0 " + std::string(1'000'000, 'c'))));
  EXPECT_EQ(r.status, 40) << r.err;
  // ... up to the longest record kept; beyond it the record is refused.
  r = run_pwave(join(with_record(ice, 1, "10.0 " + std::string(3'000'000, 'c'))));
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(contains(r.err, "record 1 (freq)")) << r.err.substr(0, 200);

  // A (g20.10) value without decimal point: read as the rule says, warned.
  r = run_pwave(join(with_record(ice, 15, "920")));  // ro3(1)
  EXPECT_EQ(r.status, 40) << r.err;
  EXPECT_TRUE(contains(r.out, "  ro3(kgr/m^3)                  =  9.2e-08\n"));
  EXPECT_TRUE(r.err.starts_with("warning: standard input, record 15 (ro3(1)): \"920\"")) << r.err;
  EXPECT_TRUE(r.err.ends_with("\nSTOP 40\n")) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
}

TEST(PwaveUpscale, OutputFailuresAreNotANormalEnd) {
  const std::string deck = join(lines_of("ice_small.deck"));
  // A result file that cannot be created.
  Outcome r = run_pwave(deck, "mkdir vp_eq.phiw");
  EXPECT_EQ(r.status, 74);
  EXPECT_TRUE(contains(r.err, "\"vp_eq.phiw\"")) << r.err;
  EXPECT_FALSE(contains(r.err, "STOP 40"));
  // A report that cannot be written.
  r = run_pwave(deck, "", "/dev/full");
  EXPECT_EQ(r.status, 74) << r.err;
  EXPECT_FALSE(contains(r.err, "STOP 40"));
}
