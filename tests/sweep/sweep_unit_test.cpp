// Deck rewriting, value lists, report parsing and the pieces of the table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

#include "sweep/sweep.hpp"

using namespace sweep;

namespace {

fs::path examples() {
  const char* e = std::getenv("UPSCALE_EXAMPLES");
  return e ? fs::path(e) : fs::path(SWEEP_EXAMPLES_DIR);
}

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
  for (auto [rec, want] : {std::pair{"10.0   freq (Hz)", "7   freq (Hz)"}, {"  10.0,20 rest", "  7,20 rest"},
                           {"10/ end", "7/ end"}, {"", "7"}})
    EXPECT_EQ(replace_list_item(rec, "7"), want);
  const std::string rec = "2.500000e-01          phi_layer1(1) water proportion";
  EXPECT_EQ(replace_g20_field(rec, "0.3"), "0.3                 " + rec.substr(20));
  EXPECT_EQ(replace_g20_field("0.25", "0.5"), "0.5                 ");
  EXPECT_THROW(replace_g20_field(rec, std::string(21, '1')), UsageError);

  // A (g20.10) field without a decimal point would be read with 10 implied
  // decimals: 1 would become 1e-10.
  for (double v : {1.0, 0.0, 1e-5, 3e22, -2.0, 0.1 + 0.2, 1.0 / 3.0}) {
    const std::string t = g20_text(v);
    EXPECT_NE(t.find('.'), std::string::npos) << t;
    EXPECT_LE(t.size(), 20u) << t;
    EXPECT_EQ(std::strtod(t.c_str(), nullptr), v) << t;
  }
  EXPECT_EQ(g20_text(-1.234567890123456e-300), "-1.234567890123E-300");  // 13 significant digits fit
}

TEST(PointDeck, OnlyTheVariedRecordsChangeAndCarriageReturnsSurvive) {
  const DeckText base = load_deck(examples() / "shale_small.deck");
  const DeckText d = point_deck(base, {"freq", "phiw1"}, {123.25, 0.125});
  EXPECT_EQ(differing(base, d), (std::vector<int>{1, 17}));
  EXPECT_EQ(d.records[0], "123.25   freq (Hz)");
  EXPECT_EQ(std::strtod(d.records[16].substr(0, 20).c_str(), nullptr), 0.125);
  EXPECT_EQ(differing(base, point_deck(base, {"phiw2"}, {0.5})), (std::vector<int>{37}));
  EXPECT_EQ(differing(base, point_deck(base, {"phiw"}, {0.5})), (std::vector<int>{17, 37}));
  EXPECT_EQ(deck_string(point_deck(base, {}, {})), deck_string(base));

  const fs::path f = fs::temp_directory_path() / ("sweep_crlf_" + std::to_string(::getpid()) + ".deck");
  {
    std::ofstream out(f, std::ios::binary);
    for (const auto& r : base.records) out << r << "\r\n";
  }
  const DeckText crlf = load_deck(f);
  fs::remove(f);
  EXPECT_TRUE(crlf.crlf);
  EXPECT_EQ(deck_string(point_deck(crlf, {"freq"}, {5.0})).rfind("5   freq (Hz)\r\n", 0), 0u);
}

TEST(PointDeck, InspectReadsTheDecksScaleAndRefusesShortDecks) {
  const DeckText base = load_deck(examples() / "ice_small.deck");
  const DeckInfo i = inspect_deck(base);
  EXPECT_EQ(i.freq, 10.0);
  EXPECT_EQ(i.freq_max, 100.0);
  EXPECT_EQ(i.nfreq, 10);
  EXPECT_EQ(i.key_model, 0);
  EXPECT_EQ(i.nlayers, 2);

  DeckText one = base;
  one.records.resize(29);
  one.records[8] = "1   nlayers";
  EXPECT_EQ(inspect_deck(one).nlayers, 1);
  EXPECT_THROW(point_deck(one, {"phiw2"}, {0.1}), UsageError);
  one.records[8] = "2   nlayers";  // two layers announced, one given
  EXPECT_THROW(inspect_deck(one), UsageError);
  DeckText three = base;
  three.records[8] = "3   nlayers";
  EXPECT_THROW(inspect_deck(three), UsageError);
}

TEST(Values, ListsAndRanges) {
  EXPECT_EQ(parse_values("0.1,0.2,0.3", false), (std::vector<double>{0.1, 0.2, 0.3}));
  EXPECT_EQ(parse_values("0:1:5", false), (std::vector<double>{0, 0.25, 0.5, 0.75, 1}));
  const auto lg = parse_values("1:1000:4", true);
  ASSERT_EQ(lg.size(), 4u);
  EXPECT_NEAR(lg[1], 10.0, 1e-12);
  EXPECT_NEAR(lg[2], 100.0, 1e-10);
  EXPECT_EQ(lg[3], 1000.0);
  EXPECT_EQ(parse_values("7:9:1", false), (std::vector<double>{7}));
  for (const char* bad : {"", "a,b", "1:2", "1:2:0", "1:2:x", "0.1,,0.2", "1:2:3:4", "nan", "inf"})
    EXPECT_THROW(parse_values(bad, false), UsageError) << bad;
  EXPECT_THROW(parse_values("0:10:3", true), UsageError);
  EXPECT_THROW(log_scale(10, 100, 0), UsageError);
}

TEST(Report, NumbersAsTheProgramsWriteThemAfterTheNthLabel) {
  EXPECT_EQ(*parse_number("   1234.5678901234567  "), 1234.5678901234567);
  EXPECT_EQ(*parse_number("1.5D+02"), 150.0);
  EXPECT_DOUBLE_EQ(*parse_number("0.12345+100"), 0.12345e100);
  EXPECT_DOUBLE_EQ(*parse_number("-0.12345-101"), -0.12345e-101);
  EXPECT_TRUE(std::isnan(*parse_number("***************")));
  EXPECT_EQ(*parse_number("-Infinity"), -INFINITY);
  for (const char* bad : {"abc", "1.5x", ""}) EXPECT_FALSE(parse_number(bad)) << bad;
  for (double v : {0.1, 1e-300, 123456789.123, -2.5}) EXPECT_EQ(*parse_number(shortest(v)), v);

  const std::vector<std::string> rep = {
      " average density rob_med is (kg/m**3)   2345.5",  " Velocity(m/s) FE             =    1500.25",
      " 1000/Q  FE                   =   12.5",          " Velocity(m/s) FE             =    1600.75",
      " Im(cc13) FE                   =  -3.25E+07",
  };
  EXPECT_EQ(*report_value(rep, "Velocity(m/s) FE             = "), 1500.25);
  EXPECT_EQ(*report_value(rep, "Velocity(m/s) FE             = ", 2), 1600.75);
  EXPECT_FALSE(report_value(rep, "Velocity(m/s) FE             = ", 3));
  // Blank runs inside a label do not matter, nor does the leading blank.
  EXPECT_EQ(*report_value(rep, "1000/Q FE ="), 12.5);
  EXPECT_EQ(*report_value(rep, "average density rob_med is (kg/m**3)"), 2345.5);
  EXPECT_EQ(*report_value(rep, "Im(cc13) FE                   = "), -3.25e7);
  EXPECT_FALSE(report_value(rep, "Re(c13) FE                   = "));
}

TEST(Plan, ThePointsFileReadsBackAndMayNotPointOutside) {
  SweepPlan p = make_plan(Program::pwave_upscale, {{"freq", {1, 2, 3}}, {"phiw1", {0.1, 0.2}}});
  p.deck = "ice small.deck";
  const fs::path dir = fs::temp_directory_path() / ("sweep_plan_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  write_points_file(dir, p);
  const SweepPlan back = read_points_file(dir);
  EXPECT_EQ(back.program, p.program);
  EXPECT_EQ(back.deck, "ice small.deck");
  EXPECT_EQ(back.axes, p.axes);
  ASSERT_EQ(back.points.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(back.points[i].values, p.points[i].values);
    EXPECT_EQ(back.points[i].dir, p.points[i].dir);
  }
  std::ofstream(dir / "points.tsv") << "#program pwave_upscale\npoint\tdir\tfreq\n1\t../../etc\t1\n";
  EXPECT_THROW(read_points_file(dir), UsageError);
  fs::remove_all(dir);

  EXPECT_EQ(csv_field("plain"), "plain");
  EXPECT_EQ(csv_field("a, b"), "\"a, b\"");
  EXPECT_EQ(csv_field("say \"x\""), "\"say \"\"x\"\"\"");
}
