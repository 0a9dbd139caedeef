// The catalogue of bad inputs: each deck or "porosity.frac" defect with the
// exit status and the words of the message that must come out; never a
// normal end, a signal or a hang. The three programs share one driver and
// its readers, so the reading catalogue runs through pwave_upscale; all
// three run where their behaviour differs.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "run_program.hpp"

using namespace support;

namespace {

// The quantity a record of an example deck holds: its comment names it.
std::string name_of(const std::string& record) {
  std::istringstream in(record);
  std::string value, name;
  return in >> value >> name, name;
}

std::string input_error(int record, const std::string& name) {
  return "error reading the input deck: standard input, record " + std::to_string(record) + " (" + name + "): ";
}

struct Expect {
  int stop;  // the stop code; the exit status is its low eight bits
  std::vector<std::string> err;  // fragments of standard error
};

constexpr const char* kPrograms[] = {"pwave_upscale", "swave_spectrum", "swave_saturation"};

Outcome expect(const std::string& what, const std::string& deck, const Expect& e, const Options& opt = {},
               const std::string& program = kPrograms[0]) {
  const Outcome r = run(program, deck, opt);
  const std::string where = program + ", " + what + ": " + r.describe();
  EXPECT_EQ(r.signal, 0) << where;
  EXPECT_FALSE(r.timed_out) << where;
  EXPECT_EQ(r.status, e.stop % 256) << where;
  for (const std::string& part : e.err) EXPECT_TRUE(contains(r.err, part)) << "no «" << part << "» in " << where;
  EXPECT_TRUE(e.stop == 40 || r.err.ends_with("STOP " + std::to_string(e.stop) + "\n")) << where;
  EXPECT_TRUE(e.stop != 13 || r.out.empty()) << where;  // refused before anything is echoed
  return r;
}
Outcome expect_normal(const std::string& what, const std::string& deck, const Options& opt = {}) {
  return expect(what, deck, {40, {}}, opt);
}

class BadInput : public ::testing::Test {
 protected:
  const Deck ice = deck_lines("ice_small.deck");
};

TEST_F(BadInput, DecksThatEndEarlyOrAreNotText) {
  expect("empty deck", "", {2, {input_error(1, "freq") + "end of input"}});
  expect("blank lines only", "\n\n\n", {2, {input_error(1, "freq") + "no value found"}});
  expect("binary", std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0", 12) + "\n\xff\xfe\n", {2, {input_error(1, "freq") + "not a number: \"\\x7fELF"}});
  // Carriage returns alone do not end records: the whole deck is record 1.
  expect("CR line ends", join(ice, "\r"), {2, {input_error(2, "freq_max") + "end of input"}});
  ASSERT_EQ(name_of(ice.back()), "xmu_s3(2)");
  for (int n = 0; n < static_cast<int>(ice.size()); ++n)
    expect("deck of " + std::to_string(n) + " records", join(first_records(ice, n)),
           {2, {input_error(n + 1, name_of(ice[n])) + "end of input, the deck ends before this record"}});
  // The last record without its line end is still a record.
  std::string whole = join(ice);
  whole.pop_back();
  expect_normal("deck without the final line end", whole);
}

TEST_F(BadInput, UnreadableFieldsNameRecordQuantityAndText) {
  struct Case {
    int record;
    std::string text, name, what;
  };
  const Case cases[] = {
      {1, "1O.0   freq (Hz)", "freq", "not a number: \"1O.0\""},  // list real
      {5, "1O   nx", "nx", "not an integer: \"1O\""},  // list integer
      {3, "10.5", "nfreq", "not an integer: \"10.5\""},
      {30, "", "nl(2)", "no value found"},
      {7, "    O     key_model", "key_model", "not an integer: \"    O\""},  // (i5)
      {8, "  x1", "model", "not an integer: \"  x1\""},
      {11, "2.25OOOOe+09        ", "akf(1)", "not a number: \"2.25OOOOe+09        \""},  // (g20.10)
      {39, "1.0e-12            x comment", "capa_3_0(2)", "not a number: \"1.0e-12            x\""},
      {5, "2147483648", "nx", "integer out of range"},  // beyond the type
      {3, "-2147483649", "nfreq", "integer out of range"},
      {1, "1e309", "freq", "number out of range"},
      {4, "-1.8e308", "domain_size", "number out of range"},
      {11, "1.0e400", "akf(1)", "number out of range"},
      {14, "1d999", "ro1(1)", "number out of range"},
  };
  for (const Case& c : cases)
    expect(c.name + " = " + c.text, join(with_record(ice, c.record, c.text)), {2, {input_error(c.record, c.name) + c.what}});
  // Letters after the field are a comment: after a blank or comma in a list
  // record, in column 6 on for (i5), in column 21 on for (g20.10).
  expect_normal("comments after the fields",
                join(with_record(with_record(with_record(ice, 5, "10,nx"), 7, "    0x"), 11, "2.250000e+09        x")));
}

TEST_F(BadInput, RecordOfAMegabyte) {
  // A record of exactly a mebibyte is kept, comment and all; one character
  // more and it is refused, not silently cut.
  const std::size_t mib = std::size_t{1} << 20;
  auto padded = [](std::string head, std::size_t size) { return head.resize(size, 'c'), head; };
  expect_normal("list record of 1 MiB", join(with_record(ice, 1, padded("10.0 ", mib))));
  expect_normal("(g20.10) record of 1 MiB", join(with_record(ice, 11, padded("2.250000e+09        ", mib))));
  expect("record of 1 MiB + 1", join(with_record(ice, 1, padded("10.0 ", mib + 1))),
         {2, {input_error(1, "freq") + "the record is longer than 1048576 characters"}});
  expect("(g20.10) record of 1 MiB + 1", join(with_record(ice, 12, padded("1.0e+03             ", mib + 1))),
         {2, {input_error(12, "ro2(1)") + "the record is longer than 1048576 characters"}});
}

TEST_F(BadInput, DecksBeyondTheCapacitiesOrWithUnknownKeys) {
  const std::pair<int, std::string> cases[] = {
      {5, "nx = 61 is outside 1..60"},          {5, "nx = 0 is outside 1..60"},
      {5, "nx = 2147483647 is outside 1..60"},  {6, "ny = 61 is outside 1..60"},
      {6, "ny = -2147483648 is outside 1..60"}, {9, "nlayers = 3 is outside 0..2"},
      {9, "nlayers = -1 is outside 0..2"},      {7, "key_model = 2 is not 0 or 1"},
      {7, "key_model = -1 is not 0 or 1"},      {8, "model = 99999 is not 0 or 1"},
  };
  for (const auto& [record, refused] : cases) {
    // The record holds the value the message names.
    const std::size_t from = refused.find(" = ") + 3;
    expect(refused, join(with_record(ice, record, refused.substr(from, refused.find(" is ") - from))),
           {13, {"input deck refused: standard input, record " + std::to_string(record) + ": " + refused}});
  }
  // (i5): blanks inside the field are ignored.
  expect("model = 1 0", join(with_record(ice, 8, "  1 0")), {13, {"record 8: model = 10 is not 0 or 1"}});
  // At the limits: a 60-cell side, one layer (the second block is never read).
  expect_normal("nx = 60", join(with_record(ice, 5, "60")));
  expect_normal("ny = 60", join(with_record(with_record(with_record(ice, 6, "60"), 10, "30"), 30, "30")));
  expect_normal("nlayers = 1", join(first_records(with_record(ice, 9, "1"), 29)));
}

TEST_F(BadInput, IceWaterProportionAtOrAboveThePorosityStops11) {
  // The deck's phi_layer1 equal to phi_a: stop 11 before the layers are
  // echoed, no result written.
  const Outcome r = expect("phi_layer1(1) = phi_a(1)", join(with_record(ice, 17, "4.000000e-01")), {11, {}});
  EXPECT_TRUE(contains(r.out, " 2\n  Ice model, phi_a_m is smaller than phi_layer_m(i) \n  ERROR, the code stops \n"
                              "  phi_a_m(i) =  0.4  phi_layer_m(i) =  0.4\n")) << r.out;
  EXPECT_FALSE(contains(r.out, "layer i="));
  for (const std::string& f : r.files()) EXPECT_EQ(f == "run.json" ? "" : r.file(f), "") << f;
  // Layer by layer: the deck may end right after phi_layer1(2).
  const Outcome second = expect("phi_layer1(2) above phi_a(2)", join(first_records(with_record(ice, 37, "5.000000e-01"), 37)), {11, {}});
  EXPECT_TRUE(contains(second.out, "  phi_a_m(i) =  0.4  phi_layer_m(i) =  0.5\n")) << second.out;
  // The shaley-sand model makes no such check.
  expect_normal("shaley sand", join(with_record(with_record(ice, 17, "4.000000e-01"), 7, "    1")));
}

TEST_F(BadInput, DeckValuesTheComputationCannotUseInEachProgram) {
  for (const std::string program : kPrograms) {
    const bool pwave = program == kPrograms[0];
    // No layer material: every cell fails the material check, the first one
    // after its map lines (the shear programs number every cell 1).
    const std::string m = pwave ? "0" : "1";
    const Outcome none = expect("nlayers = 0", join(with_record(first_records(ice, 9), 9, "0")), {222, {}}, {}, program);
    EXPECT_FALSE(contains(none.out, "layer i="));
    EXPECT_TRUE(none.out.ends_with(" j,k, matnum(j,k)  1 1 " + m + "\n")) << none.out;
    EXPECT_EQ(none.file("matnum_p33"), " " + m + "\n");
    EXPECT_EQ(none.file("matnum_p33_gnu"), " 1 1 " + m + "\n");
    // Layers of 3 and 4 cells in 10 rows: rows 8 to 10 have no material, and
    // cell (1, 8) stops the run. A period beyond the integer type has no
    // whole period at all, and must not overflow on the way.
    const Outcome part = expect("nl = 3, 4", join(with_record(with_record(ice, 10, "3"), 30, "4")), {pwave ? 222 : 40, {}}, {}, program);
    if (pwave) {
      EXPECT_TRUE(part.out.ends_with(" j,k, matnum(j,k)  1 8 0\n"));
      EXPECT_EQ(part.lines("matnum_p33").size(), 71u);
      EXPECT_EQ(part.file("vp_eq.phiw"), "");
    }
    expect("nl(1) = 2^31 - 1, nl(2) = 1", join(with_record(with_record(ice, 10, "2147483647"), 30, "1")), {pwave ? 222 : 40, {}}, {}, program);
    // At zero frequency nothing opposes a circulation of the sealed fluid: the
    // factorisation refuses the singular system where its elimination meets
    // an exactly zero pivot, which in the shear tests depends on rounding.
    const Outcome still = run(program, join(with_record(ice, 1, "0.0")));
    EXPECT_TRUE(still.status == 99 || (!pwave && still.status == 40)) << program << ": " << still.describe();
    EXPECT_TRUE(still.status != 99 || (contains(still.out, "\n ESP= ") && contains(still.out, "\n FLAG= "))) << still.out;
    // No room for ice, stop 45678 (seen mod 256): a cell map whose water
    // proportion exceeds the absolute porosity, and, for swave_saturation,
    // the imposed proportion 0.28 above a porosity of 0.25 (swave_spectrum
    // imposes 0.2).
    expect("porosity.frac of 0.5", join(with_record(ice, 8, "    1")), {45678, {}},
           prepared("for i in $(seq 100); do echo '  0.5000E+00'; done > porosity.frac"), program);
    const Deck porous = with_record(with_record(with_record(ice, 16, "2.500000e-01"), 36, "2.500000e-01"), 37, "1.000000e-01");
    expect("phi_a = 0.25", join(porous), {program == kPrograms[2] ? 45678 : 40, {}}, {}, program);
  }
  // nfreq only enters the step frequency of two tables.
  for (const char* n : {"1", "-2147483648"}) expect_normal(std::string("nfreq = ") + n, join(with_record(ice, 3, n)));
}

TEST(PorosityFrac, MissingShortOrNotNumeric) {
  // The small shaley-sand deck (10 x 10 cells) with model = 1.
  const std::string deck = join(with_record(deck_lines("shale_small.deck"), 8, "    1"));
  // A file of 100 lines of 0.25 with line `at` replaced by `text`.
  auto file = [](int cells, int at = 0, const std::string& text = "") {
    std::string s;
    for (int l = 1; l <= cells; ++l) s += (l == at ? text : std::string("0.2500E+00")) + "\n";
    return s;
  };
  auto with_file = [&](const std::string& what, const std::string& content, const Expect& e) {
    expect(what, deck, e, prepared("cat > porosity.frac <<'EOF'\n" + content + "EOF"));
  };
  expect("no porosity.frac", deck, {2, {"\"porosity.frac\" cannot be opened"}});
  expect("porosity.frac is a directory", deck, {2, {"\"porosity.frac\""}}, prepared("mkdir porosity.frac"));
  with_file("empty file", "", {2, {"\"porosity.frac\" ends before line 1"}});
  with_file("99 lines for 100 cells", file(99), {2, {"\"porosity.frac\" ends before line 100", "cell j,k = 10,10"}});
  with_file("letters on line 7", file(100, 7, "0.25OOE+00"), {2, {"\"porosity.frac\" line 7:", "not a number"}});
  with_file("blank-free garbage on line 100", file(100, 100, "--"), {2, {"\"porosity.frac\" line 100:"}});
  with_file("out of range on line 3", file(100, 3, "1.0E+400"), {2, {"\"porosity.frac\" line 3:"}});
  // A water proportion is a volume fraction strictly between 0 and 1.
  for (const std::string v : {"0.0000E+00", "1.0000E+00", "-.2500E+00", "1.5000E+00", "NaN", "Infinity"})
    with_file("water proportion " + v + " on line 12", file(100, 12, v), {2, {"\"porosity.frac\"", "line 12"}});
  // Lines beyond the cells are not read; CR-LF line ends are accepted.
  expect_normal("CR-LF and a line too many", deck,
                prepared("printf '0.25\\r\\n%.0s' $(seq 100) > porosity.frac && echo junk >> porosity.frac"));
}

}  // namespace
