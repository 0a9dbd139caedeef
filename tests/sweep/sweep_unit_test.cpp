// Deck rewriting, value lists, report parsing, the layered limits and the
// quoting of what goes into scripts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "sweep/sweep.hpp"

using namespace sweep;

namespace {

const fs::path kExamples = SWEEP_EXAMPLES_DIR;

// The records of two decks that differ, by number.
std::vector<int> differing(const DeckText& a, const DeckText& b) {
  std::vector<int> out;
  for (size_t i = 0; i < std::max(a.records.size(), b.records.size()); ++i)
    if (i >= a.records.size() || i >= b.records.size() || a.records[i] != b.records[i])
      out.push_back(static_cast<int>(i) + 1);
  return out;
}

}  // namespace

TEST(DeckRecords, ListItemAndG20FieldAreReplacedAndTheCommentKept) {
  EXPECT_EQ(replace_list_item("  10.0,20 rest", "7"), "  7,20 rest");
  const std::string rec = "2.500000e-01          phi_layer1(1) water proportion";
  EXPECT_EQ(replace_g20_field(rec, "0.3"), "0.3                 " + rec.substr(20));
  // A (g20.10) field without a decimal point would be read with 10 implied
  // decimals: 1 would become 1e-10.
  for (double v : {1.0, 0.0, 1e-5, 3e22, -2.0, 0.1 + 0.2, 1.0 / 3.0}) {
    const std::string t = g20_text(v);
    EXPECT_NE(t.find('.'), std::string::npos) << t;
    EXPECT_EQ(std::strtod(t.c_str(), nullptr), v) << t;
  }
  EXPECT_EQ(g20_text(-1.234567890123456e-300), "-1.234567890123E-300");  // 13 significant digits fit
}

// Only the varied records change, carriage returns survive, and the point's
// values read back from its deck.
TEST(PointDeck, VariedRecordsReadBack) {
  const DeckText base = load_deck(kExamples / "shale_small.deck");
  const DeckText d = point_deck(base, {"freq", "phiw1"}, {123.25, 0.125});
  EXPECT_EQ(differing(base, d), (std::vector<int>{1, 17}));
  EXPECT_EQ(d.records[0], "123.25   freq (Hz)");
  const DeckPoint p = deck_point(d);
  EXPECT_EQ(axis_value(p, "freq"), 123.25);
  EXPECT_EQ(axis_value(p, "phiw1"), 0.125);
  EXPECT_EQ(differing(base, point_deck(base, {"phiw2"}, {0.5})), (std::vector<int>{37}));
  EXPECT_EQ(differing(base, point_deck(base, {"phiw"}, {0.5})), (std::vector<int>{17, 37}));
  DeckText crlf = base;
  crlf.crlf = true;
  EXPECT_EQ(deck_string(point_deck(crlf, {"freq"}, {5.0})).rfind("5   freq (Hz)\r\n", 0), 0u);
}

TEST(Report, NumbersAsTheProgramsWriteThemAfterTheNthLabel) {
  EXPECT_EQ(*parse_number("1.5D+02"), 150.0);
  EXPECT_DOUBLE_EQ(*parse_number("-0.12345-101"), -0.12345e-101);
  EXPECT_TRUE(std::isnan(*parse_number("***************")));
  EXPECT_FALSE(parse_number("1.5x"));
  const std::vector<std::string> rep = {" V  FE =    1500.25", " V FE =    1600.75"};
  EXPECT_EQ(*report_value(rep, "V FE  = ", 2), 1600.75);  // blank runs inside a label do not matter
  const std::string json = "{\"program\": \"x\", \"version\": \"1.2 \\\"b\\\"\",\n \"exit_status\" : 40}";
  EXPECT_EQ(json_member(json, "version"), "1.2 \"b\"");
  EXPECT_EQ(json_member(json, "exit_status"), "40");
  EXPECT_FALSE(json_member(json, "x"));
}

// Closed forms: a homogeneous sample has M_R = M_U = A + B + 2C; layers
// without coupling between the solids and the fluid (b1 = b2 = C = 0) have
// M_R = <A^-1>^-1 + <B^-1>^-1 and M_U = <(A + B)^-1>^-1.
TEST(Limits, HomogeneousAndUncoupledLayers) {
  const CellCoefficients one{5e9, 2e9, 7e9, 1e9, 3e8, 2e9, 1.5e9, 8e9, 1e9};
  const Limits h = layered_limits(std::vector<CellCoefficients>(3, one));
  const double m = 5e9 + 14e9 + 2e9 + 2e9 + 2 * (1e9 + 3e8);
  EXPECT_NEAR(h.relaxed, m, 1e-12 * m);
  EXPECT_NEAR(h.unrelaxed, m, 1e-12 * m);
  const CellCoefficients a{1e9, 2e9, 1e9, 1e9, 0, 0, 0, 5e9, 0}, b{4e9, 1e9, 3e9, 2e9, 0, 0, 0, 9e9, 0};
  const Limits l = layered_limits({a, b});  // A = 3e9, 10e9; B = 4e9, 5e9
  EXPECT_NEAR(l.relaxed, 2 / (1 / 3e9 + 1 / 10e9) + 2 / (1 / 4e9 + 1 / 5e9), 1e-3);
  EXPECT_NEAR(l.unrelaxed, 2 / (1 / 7e9 + 1 / 15e9), 1e-3);
}

TEST(Quoting, ScriptStringsAndVisibleControlCharacters) {
  EXPECT_EQ(gp_quote("it's `x` @m\n"), "'it''s `x` @m?'");
  EXPECT_EQ(sh_quote("a'b $(c)"), "'a'\\''b $(c)'");
  EXPECT_EQ(visible("a\nb\x01"), "a\\nb\\x01");
  EXPECT_THROW(require_plain_path("the sweep folder", "a\nb"), UsageError);
  EXPECT_NO_THROW(require_plain_path("the sweep folder", "a 'b' $(c) `d`;e"));
}

// Points whose grid has fewer than 2 cells per diffusion length get open
// symbols on the finite-element curves, the others filled ones; without
// that column (an older build) the curve keeps its filled line points.
TEST(Plot, UnresolvedPointsDrawnOpen) {
  SweepPlan plan;
  plan.axes = {"freq"};
  const Point points[] = {{1, "p1", {1.0}}, {2, "p2", {1e5}}};
  std::vector<Row> rows(2);
  for (int i = 0; i < 2; ++i) {
    rows[i].point = &points[i];
    rows[i].axis_values = points[i].values;
    rows[i].status = Status{40, false, ""};
    rows[i].values = {{"v_mt", 4000}, {"q1000_mt", 5}, {"vp_fe", 3800}, {"q1000_fe", 1}};
  }
  EXPECT_EQ(sweep_plot_script(plan, rows, "p.png", false).find("pt 6"), std::string::npos);
  rows[0].values["cells_per_diffusion_length"] = 2.7;
  rows[1].values["cells_per_diffusion_length"] = 0.0084;
  const std::string s = sweep_plot_script(plan, rows, "p.png", false);
  EXPECT_NE(s.find("1 4000 5 3800 1 NaN NaN NaN NaN 2.7\n"), std::string::npos) << s;
  EXPECT_NE(s.find("using 1:($10 < 2.000000 ? NaN : $2) with points pt 7"), std::string::npos) << s;
  EXPECT_NE(s.find("using 1:($10 < 2.000000 ? $3 : NaN) with points pt 6"), std::string::npos) << s;
  EXPECT_NE(s.find("'open: fewer than 2 cells per diffusion length'"), std::string::npos) << s;
}
