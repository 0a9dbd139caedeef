// pwave_upscale as a process: deck reading, refusals and output failures seen
// as exit statuses. The results of a run are checked in test_results.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "deck_files.hpp"
#include "program_run.hpp"

using deck_files::first_records;
using deck_files::join;
using deck_files::lines_of;
using deck_files::with_record;
using program_run::contains;
using program_run::Outcome;

namespace {

const char* const kResultFiles[] = {
    "vp_anal.phiw",     "vp_eq.phiw",       "1000_over_q_eq.phiw", "1000_over_q_anal.phiw",
    "mod_pressure_p33_ice", "mod_grad_pressure_p33_ice", "real_strain1_map", "imag_strain1_map",
    "real_strain3_map", "imag_strain3_map", "real_stress_map", "imag_stress_map"};

Outcome run_pwave(const std::string& deck, const std::string& prepare = "", const std::string& stdout_to = "out.txt") {
  return program_run::run("pwave_upscale", deck, prepare, stdout_to);
}

}  // namespace

TEST(PwaveUpscale, ExampleDecksEndNormally) {
  for (const char* name : {"ice_small.deck", "shale_small.deck", "ice.deck", "shale.deck"}) {
    const Outcome r = run_pwave(join(lines_of(name)), "echo 'from an earlier run' > vp_anal.phiw");
    EXPECT_EQ(r.status, 40) << name << "\n" << r.err;
    EXPECT_EQ(r.err, "STOP 40\n") << name;  // no warning for these decks
    EXPECT_EQ(r.lines("vp_anal.phiw").size(), 1u) << name;  // rewritten from its start
    // The report ends with the unknowns, the results, an empty line and the
    // running time in f15.6.
    ASSERT_TRUE(contains(r.out, " number of unknowns nodos = ")) << name;
    const std::size_t time = r.out.find("\n\n running time=");
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
  for (const char* f : kResultFiles) EXPECT_EQ(r.file(f), "") << f;

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

TEST(PwaveUpscale, NoLayersIsAcceptedByTheDeckAndStopsAtTheMap) {
  // The deck may end after nlayers = 0; every cell then fails the material
  // check, so the run stops at the first cell with its map lines written.
  const Outcome r = run_pwave(join(with_record(first_records(lines_of("ice_small.deck"), 9), 9, "0")));
  EXPECT_EQ(r.status, 222) << r.err;
  EXPECT_FALSE(contains(r.out, "layer i="));
  EXPECT_TRUE(r.out.ends_with(" j,k, matnum(j,k)  1 1 0\n")) << r.out;
  EXPECT_EQ(r.file("matnum_p33"), " 0\n");
  EXPECT_EQ(r.file("matnum_p33_gnu"), " 1 1 0\n");
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
