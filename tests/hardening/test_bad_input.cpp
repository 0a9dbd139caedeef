// The catalogue of bad inputs, run through every program: each deck or
// "porosity.frac" defect with the exit status and the words of the message
// that must come out; never a normal end, a signal or a hang.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_program.hpp"

using namespace support;

namespace {

// Names of the records of a two-layer deck, in order.
std::vector<std::string> record_names() {
  std::vector<std::string> names = {"freq", "freq_max", "nfreq", "domain_size", "nx",
                                    "ny",   "key_model", "model", "nlayers"};
  for (int i = 1; i <= 2; ++i)
    for (const char* n : {"nl", "akf", "ro2", "eta", "ro1", "ro3", "phi_a", "phi_layer1", "capa_1_0", "capa_3_0", "s3",
                          "rs1", "rs3", "coef_b13", "ak_air", "xmu_air", "ak_s1", "xmu_s1", "ak_s3", "xmu_s3"})
      names.push_back(std::string(n) + "(" + std::to_string(i) + ")");
  return names;
}

std::string input_error(int record, const std::string& name) {
  return "error reading the input deck: standard input, record " + std::to_string(record) + " (" + name + "): ";
}

struct Expect {
  int stop;  // the stop code; the exit status is its low eight bits
  std::vector<std::string> err;  // fragments of standard error
};

class BadInput : public ::testing::TestWithParam<const char*> {
 protected:
  std::string program() const { return GetParam(); }
  bool pwave() const { return program() == "pwave_upscale"; }

  Outcome expect(const std::string& what, const std::string& deck, const Expect& e, const Options& opt = {}) {
    const Outcome r = run(program(), deck, opt);
    EXPECT_EQ(r.signal, 0) << what << ": " << r.describe();
    EXPECT_FALSE(r.timed_out) << what;
    EXPECT_EQ(r.status, e.stop % 256) << what << ": " << r.describe();
    for (const std::string& part : e.err) {
      EXPECT_TRUE(contains(r.err, part)) << what << ": no «" << part << "» in " << r.describe();
    }
    if (e.stop != 40) {
      EXPECT_TRUE(r.err.ends_with("STOP " + std::to_string(e.stop) + "\n")) << what << ": " << r.describe();
    }
    if (e.stop == 13) {
      EXPECT_EQ(r.out, "") << what;  // refused before anything is echoed
    }
    return r;
  }
  Outcome expect_normal(const std::string& what, const std::string& deck, const Options& opt = {}) {
    return expect(what, deck, {40, {}}, opt);
  }
  const Deck ice = deck_lines("ice_small.deck");
  const Deck shale = deck_lines("shale_small.deck");
};

TEST_P(BadInput, DecksThatEndEarlyOrAreNotText) {
  expect("empty deck", "", {2, {input_error(1, "freq") + "end of input"}});
  expect("blank lines only", "\n\n\n", {2, {input_error(1, "freq") + "no value found"}});
  expect("binary", std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0", 12) + "\n\xff\xfe\n", {2, {input_error(1, "freq") + "not a number: \"\\x7fELF"}});
  // Carriage returns alone do not end records: the whole deck is record 1.
  expect("CR line ends", join(ice, "\r"), {2, {input_error(2, "freq_max") + "end of input"}});
  const std::vector<std::string> names = record_names();
  ASSERT_EQ(names.size(), ice.size());
  for (int n = 0; n < static_cast<int>(ice.size()); ++n)
    expect("deck of " + std::to_string(n) + " records", join(first_records(ice, n)),
           {2, {input_error(n + 1, names[static_cast<std::size_t>(n)]) + "end of input, the deck ends before this record"}});
  // The last record without its line end is still a record.
  std::string whole = join(ice);
  whole.pop_back();
  expect_normal("deck without the final line end", whole);
}

TEST_P(BadInput, UnreadableFieldsNameRecordQuantityAndText) {
  struct Case {
    int record;
    std::string text, name, what;
  };
  const Case cases[] = {
      {1, "1O.0   freq (Hz)", "freq", "not a number: \"1O.0\""},  // list real
      {4, "0.2OO", "domain_size", "not a number: \"0.2OO\""},
      {5, "1O   nx", "nx", "not an integer: \"1O\""},  // list integer
      {3, "10.5", "nfreq", "not an integer: \"10.5\""},
      {30, "", "nl(2)", "no value found"},
      {7, "    O     key_model", "key_model", "not an integer: \"    O\""},  // (i5)
      {7, "  1.0", "key_model", "not an integer: \"  1.0\""},
      {8, "  x1", "model", "not an integer: \"  x1\""},
      {11, "2.25OOOOe+09        ", "akf(1)", "not a number: \"2.25OOOOe+09        \""},  // (g20.10)
      {14, "2.65e+03 kg/m3", "ro1(1)", "not a number: \"2.65e+03 kg/m3\""},
      {39, "1.0e-12            x comment", "capa_3_0(2)", "not a number: \"1.0e-12            x\""},
      {5, "2147483648", "nx", "integer out of range"},  // beyond the type
      {3, "-2147483649", "nfreq", "integer out of range"},
      {10, "99999999999999999999", "nl(1)", "integer out of range"},
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

TEST_P(BadInput, CrLfLineEndsReadAsTheSameDeck) {
  for (const Deck* lines : {&ice, &shale}) {
    const Outcome lf = expect_normal("LF deck", join(*lines));
    const Outcome crlf = expect_normal("CR-LF deck", join(*lines, "\r\n"));
    auto without_time = [](const std::string& s) { return s.substr(0, s.rfind(" running time=")); };
    EXPECT_EQ(without_time(crlf.out), without_time(lf.out));
    EXPECT_EQ(crlf.err, lf.err);
    ASSERT_EQ(crlf.files(), lf.files());
    for (const std::string& f : lf.files()) EXPECT_EQ(crlf.file(f), lf.file(f)) << f;
  }
}

TEST_P(BadInput, RecordOfAMegabyte) {
  const std::size_t mib = std::size_t{1} << 20;
  auto padded = [](std::string head, std::size_t size) {
    head.resize(size, 'c');
    return head;
  };
  // A record of exactly a mebibyte is kept, comment and all; one character
  // more and it is refused, not silently cut.
  expect_normal("list record of 1 MiB", join(with_record(ice, 1, padded("10.0 ", mib))));
  expect_normal("(g20.10) record of 1 MiB", join(with_record(ice, 11, padded("2.250000e+09        ", mib))));
  expect("record of 1 MiB + 1", join(with_record(ice, 1, padded("10.0 ", mib + 1))),
         {2, {input_error(1, "freq") + "the record is longer than 1048576 characters"}});
  expect("(g20.10) record of 1 MiB + 1", join(with_record(ice, 12, padded("1.0e+03             ", mib + 1))),
         {2, {input_error(12, "ro2(1)") + "the record is longer than 1048576 characters"}});
}

TEST_P(BadInput, DecksBeyondTheCapacitiesOrWithUnknownKeys) {
  struct Case {
    int record;
    std::string text, refused;
  };
  const Case cases[] = {
      {5, "61", "nx = 61 is outside 1..60"},      {5, "0", "nx = 0 is outside 1..60"},
      {5, "-1", "nx = -1 is outside 1..60"},      {5, "2147483647", "nx = 2147483647 is outside 1..60"},
      {6, "61", "ny = 61 is outside 1..60"},      {6, "0", "ny = 0 is outside 1..60"},
      {6, "-2147483648", "ny = -2147483648 is outside 1..60"},
      {9, "3", "nlayers = 3 is outside 0..2"},    {9, "-1", "nlayers = -1 is outside 0..2"},
      {7, "    2", "key_model = 2 is not 0 or 1"}, {7, "   -1", "key_model = -1 is not 0 or 1"},
      {8, "99999", "model = 99999 is not 0 or 1"},
      {8, "  1 0", "model = 10 is not 0 or 1"},  // (i5): blanks inside the field are ignored
  };
  for (const Case& c : cases)
    expect(c.refused, join(with_record(ice, c.record, c.text)),
           {13, {"input deck refused: standard input, record " + std::to_string(c.record) + ": " + c.refused}});
  // At the limits: a 60-cell side, one layer (the second block is never read).
  expect_normal("nx = 60", join(with_record(ice, 5, "60")));
  expect_normal("ny = 60", join(with_record(with_record(with_record(ice, 6, "60"), 10, "30"), 30, "30")));
  expect_normal("nlayers = 1", join(first_records(with_record(ice, 9, "1"), 29)));
}

TEST_P(BadInput, IceWaterProportionAtOrAboveThePorosityStops11) {
  // The deck's phi_layer1, not an imposed proportion, equal to phi_a: stop
  // 11 before the layers are echoed, no result written.
  const Outcome r = expect("phi_layer1(1) = phi_a(1)", join(with_record(ice, 17, "4.000000e-01")), {11, {}});
  EXPECT_TRUE(contains(r.out, " 2\n  Ice model, phi_a_m is smaller than phi_layer_m(i) \n  ERROR, the code stops \n"
                              "  phi_a_m(i) =  0.4  phi_layer_m(i) =  0.4\n")) << r.out;
  EXPECT_FALSE(contains(r.out, "layer i="));
  for (const std::string& f : r.files()) EXPECT_EQ(r.file(f), "") << f;
  // Layer by layer: the deck may end right after phi_layer1(2).
  const Outcome second = expect("phi_layer1(2) above phi_a(2)", join(first_records(with_record(ice, 37, "5.000000e-01"), 37)), {11, {}});
  EXPECT_TRUE(contains(second.out, "  phi_a_m(i) =  0.4  phi_layer_m(i) =  0.5\n")) << second.out;
  // The shaley-sand model makes no such check.
  expect_normal("shaley sand", join(with_record(with_record(ice, 17, "4.000000e-01"), 7, "    1")));
}

TEST_P(BadInput, DeckValuesTheComputationCannotUse) {
  // No layer material: every cell fails the material check, the first one
  // after its map lines (the shear programs number every cell 1).
  const std::string m = pwave() ? "0" : "1";
  const Outcome none = expect("nlayers = 0", join(with_record(first_records(ice, 9), 9, "0")), {222, {}});
  EXPECT_FALSE(contains(none.out, "layer i="));
  EXPECT_TRUE(none.out.ends_with(" j,k, matnum(j,k)  1 1 " + m + "\n")) << none.out;
  EXPECT_EQ(none.file("matnum_p33"), " " + m + "\n");
  EXPECT_EQ(none.file("matnum_p33_gnu"), " 1 1 " + m + "\n");
  // Layers of 3 and 4 cells in 10 rows: rows 8 to 10 have no material, and
  // cell (1, 8) stops the run. A period beyond the integer type has no whole
  // period at all, and must not overflow on the way.
  const Outcome part = expect("nl = 3, 4", join(with_record(with_record(ice, 10, "3"), 30, "4")), {pwave() ? 222 : 40, {}});
  if (pwave()) {
    EXPECT_TRUE(part.out.ends_with(" j,k, matnum(j,k)  1 8 0\n"));
    EXPECT_EQ(part.lines("matnum_p33").size(), 71u);
    EXPECT_EQ(part.file("vp_eq.phiw"), "");
  }
  expect("nl(1) = 2^31 - 1, nl(2) = 1", join(with_record(with_record(ice, 10, "2147483647"), 30, "1")), {pwave() ? 222 : 40, {}});
  // At zero frequency nothing opposes a circulation of the sealed fluid: the
  // factorisation refuses the singular system (swave_saturation runs at a
  // frequency of its own).
  const Outcome still = expect("freq = 0", join(with_record(ice, 1, "0.0")), {program() == "swave_saturation" ? 40 : 99, {}});
  if (still.status == 99) {
    EXPECT_TRUE(contains(still.out, "\n ESP= ") && contains(still.out, "\n FLAG= ")) << still.out;
  }
  // nfreq only enters the step frequency of two tables.
  for (const char* n : {"1", "-2147483648"}) expect_normal(std::string("nfreq = ") + n, join(with_record(ice, 3, n)));
}

TEST_P(BadInput, NoRoomForIceStops45678) {
  // The model check, seen as 45678 mod 256: a cell map whose water proportion
  // exceeds the absolute porosity ...
  expect("porosity.frac of 0.5", join(with_record(ice, 8, "    1")), {45678, {}},
         prepared("for i in $(seq 100); do echo '  0.5000E+00'; done > porosity.frac"));
  // ... and, for swave_saturation, the imposed proportion 0.28 above an
  // absolute porosity of 0.25 (swave_spectrum imposes 0.2).
  const Deck porous = with_record(with_record(with_record(ice, 16, "2.500000e-01"), 36, "2.500000e-01"), 37, "1.000000e-01");
  expect("phi_a = 0.25", join(porous), {program() == "swave_saturation" ? 45678 : 40, {}});
}

// "porosity.frac": the cell map of water proportions, read when model = 1.
class PorosityFrac : public BadInput {
 protected:
  // The small shaley-sand deck (10 x 10 cells) with model = 1.
  std::string deck() const { return join(with_record(shale, 8, "    1")); }
  // A file of `cells` lines of 0.25 with line `at` replaced by `text`.
  static std::string file(int cells, int at = 0, const std::string& text = "") {
    std::string s;
    for (int l = 1; l <= cells; ++l) s += (l == at ? text : std::string("0.2500E+00")) + "\n";
    return s;
  }
  Outcome with_file(const std::string& what, const std::string& content, const Expect& e) {
    return expect(what, deck(), e, prepared("cat > porosity.frac <<'EOF'\n" + content + "EOF"));
  }
};

TEST_P(PorosityFrac, MissingShortOrNotNumeric) {
  expect("no porosity.frac", deck(), {2, {"\"porosity.frac\" cannot be opened"}});
  expect("porosity.frac is a directory", deck(), {2, {"\"porosity.frac\""}}, prepared("mkdir porosity.frac"));
  with_file("empty file", "", {2, {"\"porosity.frac\" ends before line 1"}});
  with_file("99 lines for 100 cells", file(99), {2, {"\"porosity.frac\" ends before line 100", "cell j,k = 10,10"}});
  with_file("letters on line 7", file(100, 7, "0.25OOE+00"), {2, {"\"porosity.frac\" line 7:", "not a number"}});
  with_file("blank-free garbage on line 100", file(100, 100, "--"), {2, {"\"porosity.frac\" line 100:"}});
  with_file("out of range on line 3", file(100, 3, "1.0E+400"), {2, {"\"porosity.frac\" line 3:"}});
  // A water proportion is a volume fraction strictly between 0 and 1.
  for (const std::string v : {"0.0000E+00", "1.0000E+00", "-.2500E+00", "1.5000E+00", "NaN", "Infinity"})
    with_file("water proportion " + v + " on line 12", file(100, 12, v), {2, {"\"porosity.frac\"", "line 12"}});
  // Lines beyond the cells are not read; CR-LF line ends are accepted.
  expect_normal("CR-LF and a line too many", deck(),
                prepared("printf '0.25\\r\\n%.0s' $(seq 100) > porosity.frac && echo junk >> porosity.frac"));
}

INSTANTIATE_TEST_SUITE_P(Programs, BadInput, ::testing::Values("pwave_upscale", "swave_spectrum", "swave_saturation"));
INSTANTIATE_TEST_SUITE_P(Programs, PorosityFrac, ::testing::Values("pwave_upscale", "swave_spectrum", "swave_saturation"));

}  // namespace
