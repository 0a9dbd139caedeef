// The three programs on the example decks: a normal end, the files a run
// leaves and their line counts, the report's last line; a value read with
// implied decimals.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "run_program.hpp"

using namespace support;

namespace {

// The files a run leaves (besides cell_maps.vtk and run.json), sorted; the
// first is the program's first table.
std::vector<std::string> result_files(const std::string& program) {
  std::vector<std::string> f = {"b1_gnu", "b2_gnu", "d3_gnu", "imag_strain1_map", "imag_strain3_map",
                                "imag_stress_map", "matnum_p33", "matnum_p33_gnu", "real_strain1_map",
                                "real_strain3_map", "real_stress_map", "xlambda1_gnu", "xlambda3_gnu", "xm_gnu",
                                "xmu13_gnu", "xmu1_gnu", "xmu3_gnu"};
  const std::string s = program == "swave_spectrum" ? ".freq" : ".phiw";
  if (program == "pwave_upscale")
    f.insert(f.end(), {"vp_anal.phiw", "1000_over_q_anal.phiw", "1000_over_q_eq.phiw", "fort.18", "fort.54",
                       "mod_grad_pressure_p33_ice", "mod_pressure_p33_ice", "vp_eq.phiw"});
  else
    f.insert(f.end(), {"vs_anal" + s, "1000_over_qs_anal" + s, "1000_over_qs_eq" + s, "b11_gnu", "b12_gnu",
                       "b22_gnu", "mod_grad_pressure_p55_ice", "mod_pressure_p55_ice", "vs_eq" + s});
  return f;
}

}  // namespace

TEST(Runs, ExampleDecksEndNormallyWithTheirFiles) {
  for (const char* program : {"pwave_upscale", "swave_spectrum", "swave_saturation"}) {
    std::vector<std::string> files = result_files(program);
    const std::string first_table = files[17];
    std::vector<std::string> all = files;
    all.insert(all.end(), {"cell_maps.vtk", "run.json"});
    std::sort(files.begin(), files.end());
    std::sort(all.begin(), all.end());
    for (const char* name : {"ice_small.deck", "shale_small.deck", "ice.deck", "shale.deck"}) {
      SCOPED_TRACE(std::string(program) + " " + name);
      const Deck deck = deck_lines(name);
      const std::size_t cells = std::stoul(deck.at(4)) * std::stoul(deck.at(5));
      const std::size_t interior = (std::stoul(deck.at(4)) - 2) * (std::stoul(deck.at(5)) - 2);
      // A table left by an earlier run is rewritten from its start.
      const Outcome r = run(program, join(deck), prepared("seq 5 > " + first_table));
      ASSERT_EQ(r.status, 40) << r.describe();
      EXPECT_EQ(r.err, "STOP 40\n");  // no warning for these decks
      ASSERT_EQ(r.files(), all);
      // One line per table, per cell in a map, per interior cell in the gradient map.
      for (const std::string& f : files)
        EXPECT_EQ(r.lines(f).size(), f.find('.') != std::string::npos ? 1u
                                     : f.starts_with("mod_grad")      ? interior
                                                                      : cells) << f;
      EXPECT_TRUE(contains(r.out, " number of unknowns nodos = "));
      // The report ends with an empty line and the running time in f15.6.
      const std::size_t time = r.out.rfind("\n\n running time=");
      ASSERT_NE(time, std::string::npos) << r.out;
      const std::string last = r.out.substr(time + 16);
      ASSERT_EQ(last.size(), 15u + 6u) << last;
      EXPECT_TRUE(last.ends_with("hours\n") && last[8] == '.' && std::stod(last) >= 0) << last;
    }
  }
}

TEST(Runs, ImpliedDecimalsAreReadAndWarnedOnce) {
  // A (g20.10) value without a decimal point: 920 is read as 920e-10.
  const Outcome r = run("pwave_upscale", join(with_record(deck_lines("ice_small.deck"), 15, "920")));  // ro3(1)
  EXPECT_EQ(r.status, 40) << r.describe();
  EXPECT_TRUE(contains(r.out, "  ro3(kgr/m^3)                  =  9.2e-08\n"));
  EXPECT_TRUE(r.err.starts_with("warning: standard input, record 15 (ro3(1)): \"920\"")) << r.err;
  EXPECT_TRUE(r.err.ends_with("\nSTOP 40\n")) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
}
