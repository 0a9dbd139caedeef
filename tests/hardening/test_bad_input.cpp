// The catalogue of bad inputs: each deck or "porosity.frac" defect with the
// exit status and the words of the message that must come out; never a
// normal end, a signal or a hang, and every stop but the normal end says
// why in a sentence of its own before the STOP notice. The three programs
// share one driver and its readers, so the reading catalogue runs through
// pwave_upscale; all three run where their behaviour differs.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
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
  const std::string notice = "STOP " + std::to_string(e.stop) + "\n";
  EXPECT_TRUE(r.err.ends_with(notice)) << where;
  // A sentence of its own (ten characters at least) before the notice.
  EXPECT_TRUE(e.stop == 40 || r.err.size() > notice.size() + 10) << where;
  EXPECT_FALSE(e.stop == 13 && contains(r.out, "layer i=")) << where;  // refused before the layers are echoed
  return r;
}
Outcome expect_normal(const std::string& what, const std::string& deck, const Options& opt = {}) {
  return expect(what, deck, {40, {}}, opt);
}

using Edits = std::vector<std::pair<int, std::string>>;  // record (1-based), new text
std::string edited(Deck d, const Edits& edits) {
  for (const auto& [record, text] : edits) d = with_record(d, record, text);
  return join(d);
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
      {11, "2.25OOOOe+09        ", "akf(1)", "not a number: \"2.25OOOOe+09        \""},  // (g20.10)
      {39, "1.0e-12            x comment", "capa_3_0(2)", "not a number: \"1.0e-12            x\""},
      {5, "2147483648", "nx", "integer out of range"},  // beyond the type
      {3, "-2147483649", "nfreq", "integer out of range"},
      {1, "1e309", "freq", "number out of range"},
      {14, "1d999", "ro1(1)", "number out of range"},
  };
  for (const Case& c : cases)
    expect(c.name + " = " + c.text, join(with_record(ice, c.record, c.text)), {2, {input_error(c.record, c.name) + c.what}});
  // Letters after the field are a comment: after a blank or comma in a list
  // record, in column 6 on for (i5), in column 21 on for (g20.10).
  expect_normal("comments after the fields", edited(ice, {{5, "10,nx"}, {7, "    0x"}, {11, "2.250000e+09        x"}}));
}

TEST_F(BadInput, RecordOfAMegabyte) {
  // A record of exactly a mebibyte is kept, comment and all; one character
  // more and it is refused, not silently cut; an endless one is not waited for.
  const std::size_t mib = std::size_t{1} << 20;
  auto padded = [](std::string head, std::size_t size) { return head.resize(size, 'c'), head; };
  expect_normal("list record of 1 MiB", join(with_record(ice, 1, padded("10.0 ", mib))));
  expect_normal("(g20.10) record of 1 MiB", join(with_record(ice, 11, padded("2.250000e+09        ", mib))));
  expect("(g20.10) record of 1 MiB + 1", join(with_record(ice, 12, padded("1.0e+03             ", mib + 1))),
         {2, {input_error(12, "ro2(1)") + "the record is longer than 1048576 characters"}});
  expect("standard input on /dev/zero", "", {2, {input_error(1, "freq") + "the record is longer"}}, stdin_from("/dev/zero"));
}

TEST_F(BadInput, ValuesBeyondTheCapacitiesKeysOrPhysicalRanges) {
  struct Case {
    Edits edits;
    int record;
    std::string refused;  // "name = value why"
  };
  const Case cases[] = {
      {{{5, "61"}}, 5, "nx = 61 is outside 1..60"},
      {{{5, "0"}}, 5, "nx = 0 is outside 1..60"},
      {{{6, "-2147483648"}}, 6, "ny = -2147483648 is outside 1..60"},
      {{{9, "3"}}, 9, "nlayers = 3 is outside 0..2"},
      {{{7, "   -1"}}, 7, "key_model = -1 is not 0 or 1"},
      {{{8, "  1 0"}}, 8, "model = 10 is not 0 or 1"},  // (i5): blanks inside the field are ignored
      {{{1, "-10"}}, 1, "freq = -10 is outside (0, 1e+12] Hz"},
      {{{1, "0.0"}}, 1, "freq = 0 is outside (0, 1e+12] Hz, the range of the test frequency"},
      {{{1, "NaN"}}, 1, "freq = nan is not a finite number"},
      {{{2, "-Inf"}}, 2, "freq_max = -inf is not a finite number"},
      {{{3, "0"}}, 3, "nfreq = 0 is below 1"},
      {{{4, "1e308"}}, 4, "domain_size = 1e+308 is outside [1e-09, 1e+06] m"},
      {{{4, "-0.2"}}, 4, "domain_size = -0.2 is outside"},
      {{{10, "-1"}}, 10, "nl(1) = -1 is negative"},
      {{{11, "infinity"}}, 11, "akf(1) = inf is not a finite number"},
      {{{13, "-1.0e-3"}}, 13, "eta(1) = -0.001 is outside [0, 1e+10] Pa s"},
      {{{14, "-2650."}}, 14, "ro1(1) = -2650 is outside (0, 100000] kg/m3"},
      {{{17, "0.0"}}, 17, "phi_layer1(1) = 0 is outside (0, 1)"},
      {{{37, "1.0"}}, 37, "phi_layer1(2) = 1 is outside (0, 1)"},
      {{{18, "-1.0e-12"}}, 18, "capa_1_0(1) = -1e-12 is outside (0, 1] m2"},
      {{{49, "-3.32e9"}}, 49, "xmu_s3(2) = -3320000000 is outside (0, 1e+12] Pa"},
      {{{7, "    1"}}, 20, "s3(1) = 0 is outside (0, 1)"},  // the ice deck in the shaley-sand model
      {{{7, "    1"}, {20, "1.0"}}, 20, "s3(1) = 1 is outside (0, 1)"},
  };
  for (const Case& c : cases)
    expect(c.refused, edited(ice, c.edits),
           {13, {"input deck refused: standard input, record " + std::to_string(c.record) + ": " + c.refused}});
  // At the limits, and what a model does not use: a 60-cell side, one
  // layer (the second block is never read), no viscous loss or friction
  // between the solids, a one-point frequency scale, grain sizes of the
  // other model.
  expect_normal("nx = 60", join(with_record(ice, 5, "60")));
  expect_normal("ny = 60", edited(ice, {{6, "60"}, {10, "30"}, {30, "30"}}));
  expect_normal("nlayers = 1", join(first_records(with_record(ice, 9, "1"), 29)));
  expect_normal("coef_b13 = 0, nfreq = 1, rs1 = -1 in the ice model", edited(ice, {{23, "0.0"}, {3, "1"}, {21, "-1.0"}}));
}

TEST_F(BadInput, IceWaterProportionAtOrAboveThePorosityStops11) {
  // The deck's phi_layer1 equal to phi_a: stop 11 before the layers are
  // echoed, no result written.
  const Outcome r = expect("phi_layer1(1) = phi_a(1)", join(with_record(ice, 17, "4.000000e-01")),
                           {11, {"layer 1: the water proportion phi_layer1(1) = 0.4 is not below the absolute porosity phi_a(1) = 0.4"}});
  EXPECT_TRUE(contains(r.out, " 2\n  Ice model, phi_a_m is smaller than phi_layer_m(i) \n  ERROR, the code stops \n"
                              "  phi_a_m(i) =  0.4  phi_layer_m(i) =  0.4\n")) << r.out;
  EXPECT_FALSE(contains(r.out, "layer i="));
  for (const std::string& f : r.files()) EXPECT_EQ(f == "run.json" ? "" : r.file(f), "") << f;
  // Layer by layer: the deck may end right after phi_layer1(2).
  const Outcome second = expect("phi_layer1(2) above phi_a(2)", join(first_records(with_record(ice, 37, "5.000000e-01"), 37)), {11, {}});
  EXPECT_TRUE(contains(second.out, "  phi_a_m(i) =  0.4  phi_layer_m(i) =  0.5\n")) << second.out;
  // The shaley-sand model makes no such check.
  expect_normal("shaley sand", join(with_record(deck_lines("shale_small.deck"), 17, "4.000000e-01")));
}

TEST_F(BadInput, StopsOfTheComputationSayWhyInEachProgram) {
  for (const std::string program : kPrograms) {
    const bool pwave = program == kPrograms[0];
    // No layer material: every cell fails the material check, the first one
    // after its map lines (the shear programs number every cell 1).
    const std::string m = pwave ? "0" : "1";
    const Outcome none = expect("nlayers = 0", join(with_record(first_records(ice, 9), 9, "0")),
                                {222, {"cell j,k = 1,1 has material number " + m + ", expected 1..0"}}, {}, program);
    EXPECT_TRUE(none.out.ends_with(" j,k, matnum(j,k)  1 1 " + m + "\n")) << none.out;
    EXPECT_EQ(none.file("matnum_p33_gnu"), " 1 1 " + m + "\n");
    // Periods that do not fill ny: layers of 3 and 4 cells in 10 rows leave
    // rows 8 to 10 without material, and cell (1, 8) stops the run; a period
    // larger than ny or empty leaves every row without; a period beyond the
    // integer type must not overflow on the way.
    const Expect holes{pwave ? 222 : 40, {pwave ? "cell j,k = 1,8 has material number 0, expected 1..2: row 8 lies above" : ""}};
    const Outcome part = expect("nl = 3, 4", edited(ice, {{10, "3"}, {30, "4"}}), holes, {}, program);
    EXPECT_EQ(part.lines("matnum_p33").size(), pwave ? 71u : 100u);
    const Expect empty{pwave ? 222 : 40, {pwave ? "cell j,k = 1,1 has material number 0" : ""}};
    for (const Edits& nl : {Edits{{10, "0"}, {30, "0"}}, Edits{{10, "20"}, {30, "20"}}, Edits{{10, "2147483647"}, {30, "1"}}})
      expect("nl = " + nl[0].second + ", " + nl[1].second, edited(ice, nl), empty, {}, program);
    // No room for ice, stop 45678 (seen mod 256): a cell map whose water
    // proportion exceeds the absolute porosity, and, for swave_saturation,
    // the imposed proportion 0.28 above a porosity of 0.25.
    expect("porosity.frac of 0.5", join(with_record(ice, 8, "    1")),
           {45678, {"holds the water proportion 0.5, not below its absolute porosity phi_a(1) = 0.4"}},
           prepared("for i in $(seq 100); do echo '  0.5000E+00'; done > porosity.frac"), program);
    const std::string porous = edited(ice, {{16, "2.500000e-01"}, {36, "2.500000e-01"}, {37, "1.000000e-01"}});
    expect("phi_a = 0.25", porous, {program == kPrograms[2] ? 45678 : 40, {}}, {}, program);
    // Without viscosity nothing holds the sealed fluid of the compressional
    // test: the factorisation meets a zero pivot and says what that means.
    expect("eta = 0", edited(ice, {{13, "0.0"}, {33, "0.0"}}),
           {pwave ? 99 : 40, {pwave ? "the pivot is exactly zero in row" : "", pwave ? "eta = 0" : ""}}, {}, program);
  }
}

TEST(PorosityFrac, MissingShortNotNumericOrNotAFile) {
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
  // Not a regular file: a directory, a FIFO without writer (no waiting), a device without end.
  for (const char* make : {"mkdir porosity.frac", "mkfifo porosity.frac", "ln -s /dev/zero porosity.frac"})
    expect(make, deck, {2, {"\"porosity.frac\" is not a regular file"}}, prepared(make));
  expect("a line of 2 MiB", deck, {2, {"\"porosity.frac\" line 1 reaches 1048576 characters"}},
         prepared("head -c 2097152 /dev/zero > porosity.frac"));
  with_file("empty file", "", {2, {"\"porosity.frac\" ends before line 1"}});
  with_file("99 lines for 100 cells", file(99), {2, {"\"porosity.frac\" ends before line 100", "cell j,k = 10,10"}});
  with_file("letters on line 7", file(100, 7, "0.25OOE+00"), {2, {"\"porosity.frac\" line 7:", "not a number"}});
  with_file("out of range on line 3", file(100, 3, "1.0E+400"), {2, {"\"porosity.frac\" line 3:"}});
  // A water proportion is a volume fraction strictly between 0 and 1.
  for (const std::string v : {"0.0000E+00", "1.0000E+00", "-.2500E+00", "NaN", "Infinity"})
    with_file("water proportion " + v + " on line 12", file(100, 12, v), {2, {"\"porosity.frac\"", "line 12"}});
  // Carriage returns end a line only where the line ends, however many.
  const std::string crs(300, '\r');
  expect("text after 300 carriage returns", deck, {2, {"\"porosity.frac\" line 100:"}},
         prepared("printf '0.25\\n%.0s' $(seq 99) > porosity.frac && printf '.30" + crs + "junk\\n' >> porosity.frac"));
  // Lines beyond the cells are not read; CR-LF line ends are accepted.
  expect_normal("CR-LF and a line too many", deck,
                prepared("printf '0.25" + crs + "\\n%.0s' $(seq 100) > porosity.frac && echo junk >> porosity.frac"));
}

TEST_F(BadInput, TextThatMostLikelyMeantAnotherNumberIsWarnedAbout) {
  const std::pair<Edits, std::string> cases[] = {
      {{{13, "1.798000000000000e-03"}}, "record 13 (eta(1)): \"1.798000000000000e-03\" runs past column 20"},
      {{{7, ""}}, "record 7 (key_model): the field (columns 1-5) is blank and reads as 0"},
      {{{1, "12,5 Hz"}}, "record 1 (freq): \"12,5\": the comma ends the item, so it is read as \"12\""},
  };
  for (const auto& [edits, warning] : cases) expect(warning, edited(ice, edits), {40, {"warning: standard input, " + warning}});
  expect("porosity.frac without decimal points", join(with_record(deck_lines("shale_small.deck"), 8, "    1")),
         {40, {"warning: \"porosity.frac\" line 1: \"2500\" has no decimal point and is read as 0.25 (4 implied decimals)"}},
         prepared("for i in $(seq 100); do echo 2500; done > porosity.frac"));
}

}  // namespace
