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
  size_t n = std::max(a.records.size(), b.records.size());
  for (size_t i = 0; i < n; ++i)
    if (i >= a.records.size() || i >= b.records.size() || a.records[i] != b.records[i])
      out.push_back(static_cast<int>(i) + 1);
  return out;
}

}  // namespace

TEST(DeckRecords, ListItemAndG20FieldAreReplacedAndTheCommentKept) {
  const std::pair<const char*, const char*> lists[] = {
      {"10.0   freq (Hz)", "7   freq (Hz)"}, {"  10.0,20 rest", "  7,20 rest"}, {"10/ end", "7/ end"}, {"", "7"}};
  for (auto [rec, want] : lists) EXPECT_EQ(replace_list_item(rec, "7"), want);

  std::string rec = "2.500000e-01          phi_layer1(1) water proportion";
  std::string out = replace_g20_field(rec, "0.3");
  EXPECT_EQ(out.substr(0, 20), "0.3                 ");
  EXPECT_EQ(out.substr(20), rec.substr(20));
  EXPECT_EQ(replace_g20_field("0.25", "0.5"), "0.5                 ");
  EXPECT_THROW(replace_g20_field(rec, std::string(21, '1')), UsageError);
}

TEST(DeckRecords, G20TextAlwaysHasADecimalPointAndFits) {
  // A (g20.10) field without a decimal point would be read with 10 implied
  // decimals: 1 would become 1e-10.
  for (double v : {1.0, 0.0, 0.25, 1e-5, 3e22, -2.0, 0.1 + 0.2, 1.0 / 3.0}) {
    std::string t = g20_text(v);
    EXPECT_NE(t.find('.'), std::string::npos) << t;
    EXPECT_LE(t.size(), 20u) << t;
    EXPECT_EQ(std::strtod(t.c_str(), nullptr), v) << t;
  }
  // Too many digits for 20 columns: rounded to 13 significant digits.
  std::string t = g20_text(-1.234567890123456e-300);
  EXPECT_EQ(t, "-1.234567890123E-300");
}

TEST(PointDeck, OnlyTheVariedRecordsChange) {
  DeckText base = load_deck(examples() / "shale_small.deck");
  DeckText d = point_deck(base, {"freq", "phiw1"}, {123.25, 0.125});
  EXPECT_EQ(differing(base, d), (std::vector<int>{1, 17}));
  EXPECT_EQ(d.records[0], "123.25   freq (Hz)");
  EXPECT_EQ(std::strtod(d.records[16].substr(0, 20).c_str(), nullptr), 0.125);
  EXPECT_EQ(d.records[16].substr(20), base.records[16].substr(20));

  EXPECT_EQ(differing(base, point_deck(base, {"phiw2"}, {0.5})), (std::vector<int>{37}));
  EXPECT_EQ(differing(base, point_deck(base, {"phiw"}, {0.5})), (std::vector<int>{17, 37}));
  // The rendered text keeps every other record byte for byte.
  EXPECT_EQ(deck_string(point_deck(base, {}, {})), deck_string(base));
}

TEST(PointDeck, InspectReadsTheDecksScaleAndRefusesShortDecks) {
  DeckText base = load_deck(examples() / "ice_small.deck");
  DeckInfo i = inspect_deck(base);
  EXPECT_EQ(i.freq, 10.0);
  EXPECT_EQ(i.freq_max, 100.0);
  EXPECT_EQ(i.nfreq, 10);
  EXPECT_EQ(i.key_model, 0);
  EXPECT_EQ(i.nlayers, 2);

  DeckText shorter = base;
  shorter.records.resize(40);
  EXPECT_THROW(inspect_deck(shorter), UsageError);
  DeckText one = base;
  one.records.resize(29);
  one.records[8] = "1   nlayers";
  EXPECT_EQ(inspect_deck(one).nlayers, 1);
  EXPECT_THROW(point_deck(one, {"phiw2"}, {0.1}), UsageError);
  DeckText three = base;
  three.records[8] = "3   nlayers";
  EXPECT_THROW(inspect_deck(three), UsageError);
}

TEST(PointDeck, CarriageReturnsSurviveTheRewrite) {
  fs::path f = fs::temp_directory_path() / ("sweep_crlf_" + std::to_string(::getpid()) + ".deck");
  DeckText base = load_deck(examples() / "shale_small.deck");
  {
    std::ofstream out(f, std::ios::binary);
    for (const auto& r : base.records) out << r << "\r\n";
  }
  DeckText crlf = load_deck(f);
  fs::remove(f);
  EXPECT_TRUE(crlf.crlf);
  std::string s = deck_string(point_deck(crlf, {"freq"}, {5.0}));
  EXPECT_EQ(s.rfind("5   freq (Hz)\r\n", 0), 0u);
}

TEST(Values, ListsAndRanges) {
  EXPECT_EQ(parse_values("0.1,0.2,0.3", false), (std::vector<double>{0.1, 0.2, 0.3}));
  auto lin = parse_values("0:1:5", false);
  ASSERT_EQ(lin.size(), 5u);
  EXPECT_DOUBLE_EQ(lin[1], 0.25);
  EXPECT_EQ(lin[4], 1.0);
  auto lg = parse_values("1:1000:4", true);
  ASSERT_EQ(lg.size(), 4u);
  EXPECT_NEAR(lg[1], 10.0, 1e-12);
  EXPECT_NEAR(lg[2], 100.0, 1e-10);
  EXPECT_EQ(lg[3], 1000.0);
  EXPECT_EQ(parse_values("7:9:1", false), (std::vector<double>{7}));
  for (const char* bad : {"", "a,b", "1:2", "1:2:0", "1:2:x", "0.1,,0.2", "1:2:3:4", "nan", "inf"})
    EXPECT_THROW(parse_values(bad, false), UsageError) << bad;
  EXPECT_THROW(parse_values("0:10:3", true), UsageError);
}

TEST(Values, DeckScaleIsLogarithmicFromFreqToFreqMax) {
  auto f = log_scale(10, 100, 3);
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0], 10.0);
  EXPECT_NEAR(f[1], std::sqrt(1000.0), 1e-12);
  EXPECT_EQ(f[2], 100.0);
  EXPECT_EQ(log_scale(10, 100, 1), (std::vector<double>{10}));
  EXPECT_THROW(log_scale(10, 100, 0), UsageError);
  EXPECT_THROW(log_scale(0, 100, 4), UsageError);
}

TEST(Numbers, AsTheProgramsWriteThem) {
  EXPECT_EQ(*parse_number("   1234.5678901234567  "), 1234.5678901234567);
  EXPECT_EQ(*parse_number("0.12345E+03"), 123.45);
  EXPECT_EQ(*parse_number("1.5D+02"), 150.0);
  EXPECT_DOUBLE_EQ(*parse_number("0.12345+100"), 0.12345e100);
  EXPECT_DOUBLE_EQ(*parse_number("-0.12345-101"), -0.12345e-101);
  EXPECT_TRUE(std::isnan(*parse_number("NaN")));
  EXPECT_TRUE(std::isnan(*parse_number("***************")));
  EXPECT_EQ(*parse_number("-Infinity"), -INFINITY);
  EXPECT_FALSE(parse_number("abc"));
  EXPECT_FALSE(parse_number("1.5x"));
  EXPECT_FALSE(parse_number(""));
  for (double v : {0.1, 1e-300, 123456789.123, -2.5})
    EXPECT_EQ(*parse_number(shortest(v)), v);
}

TEST(Report, ValueAfterTheNthLabel) {
  std::vector<std::string> rep = {
      " average density rob_med is (kg/m**3)   2345.5",
      " Velocity(m/s) FE             =    1500.25",
      " 1000/Q  FE                   =   12.5",
      " Re(cmu) FE                   =   1E+10",
      " Velocity(m/s) FE             =    1600.75",
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

TEST(Plan, FirstQuantityVariesFastest) {
  SweepPlan p = make_plan(Program::pwave_upscale, {{"freq", {1, 2, 3}}, {"phiw1", {0.1, 0.2}}});
  ASSERT_EQ(p.points.size(), 6u);
  EXPECT_EQ(p.points[1].values, (std::vector<double>{2, 0.1}));
  EXPECT_EQ(p.points[3].values, (std::vector<double>{1, 0.2}));
  EXPECT_EQ(p.points[5].index, 6);
  EXPECT_EQ(p.points[5].dir, "points/p0006");

  fs::path dir = fs::temp_directory_path() / ("sweep_plan_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  p.deck = "ice small.deck";
  write_points_file(dir, p);
  SweepPlan back = read_points_file(dir);
  EXPECT_EQ(back.program, p.program);
  EXPECT_EQ(back.deck, "ice small.deck");
  EXPECT_EQ(back.axes, p.axes);
  ASSERT_EQ(back.points.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(back.points[i].values, p.points[i].values);
    EXPECT_EQ(back.points[i].dir, p.points[i].dir);
  }
  // The deck line is optional.
  std::ofstream(dir / "points.tsv") << "#program swave_spectrum\npoint\tdir\tfreq\n1\tpoints/p0001\t2.5\n";
  back = read_points_file(dir);
  EXPECT_EQ(back.deck, "");
  ASSERT_EQ(back.points.size(), 1u);
  EXPECT_EQ(back.points[0].values, (std::vector<double>{2.5}));
  // A points file pointing outside its sweep is refused.
  std::ofstream(dir / "points.tsv") << "#program pwave_upscale\npoint\tdir\tfreq\n1\t../../etc\t1\n";
  EXPECT_THROW(read_points_file(dir), UsageError);
  fs::remove_all(dir);
}

TEST(Table, CsvQuotingAndProgress) {
  EXPECT_EQ(csv_field("plain"), "plain");
  EXPECT_EQ(csv_field("a, b"), "\"a, b\"");
  EXPECT_EQ(csv_field("say \"x\""), "\"say \"\"x\"\"\"");
  EXPECT_EQ(progress_text(5, 10, 0, 1.25, 10), "[#####.....] 5/10  1.2 s");
  EXPECT_EQ(progress_text(10, 10, 2, 3, 4), "[####] 10/10  2 failed  3.0 s");
  EXPECT_EQ(progress_text(0, 0, 0, 0, 3), "[###] 0/0  0.0 s");
}
