// The catalogue of bad inputs: each deck or "porosity.frac" defect with the
// exit status and the words of the message that must come out; never a
// normal end, a signal or a hang, and every stop but the normal end says
// why in a sentence of its own before the STOP notice. The three programs
// share one driver and its readers, so the reading catalogue runs through
// pwave_upscale; all three run where their behaviour differs.
#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>
#include <tuple>

#include "run_program.hpp"
#include "yale/flag_meaning.hpp"

using namespace support;

namespace {

// The quantity a record of an example deck holds: its comment names it.
std::string name_of(const std::string& record) {
  std::string value, name;
  return std::istringstream(record) >> value >> name, name;
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
  const std::string where = program + ", " + what + ": " + r.describe(), notice = "STOP " + std::to_string(e.stop) + "\n";
  EXPECT_TRUE(r.signal == 0 && !r.timed_out && r.status == e.stop % 256 && r.err.ends_with(notice)) << where;
  for (const std::string& part : e.err) EXPECT_TRUE(contains(r.err, part)) << "no «" << part << "» in " << where;
  // A sentence of its own before the notice (ten characters at least).
  EXPECT_TRUE(e.stop == 40 || r.err.size() > notice.size() + 10) << where;
  EXPECT_FALSE(e.stop == 13 && contains(r.out, "layer i=")) << where;  // refused before the layers are echoed
  // The record gives the status the shell sees and the whole stop code.
  const std::string record = r.file("run.json");
  EXPECT_TRUE(record.empty() || (contains(record, "\"exit_status\": " + std::to_string(e.stop % 256) + ",") &&
                                 contains(record, "\"stop_code\": " + std::to_string(e.stop) + ",")))
      << where << "\n" << record;
  return r;
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
  expect("binary", std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0", 12) + "\n\xff\xfe\n", {2, {input_error(1, "freq") + "not a number: \"\\x7fELF"}});
  // Carriage returns alone do not end records: the whole deck is record 1.
  expect("CR line ends", join(ice, "\r"), {2, {input_error(2, "freq_max") + "end of input"}});
  for (int n = 0; n < static_cast<int>(ice.size()); ++n)
    expect("deck of " + std::to_string(n) + " records", join(first_records(ice, n)),
           {2, {input_error(n + 1, name_of(ice[n])) + "end of input, the deck ends before this record"}});
  expect("standard input a folder", "", {2, {input_error(1, "freq")}}, stdin_from("/"));  // nothing can be read
  // The last record without its line end is still a record.
  expect("deck without the final line end", join(ice).substr(0, join(ice).size() - 1), {40, {}});
}

TEST_F(BadInput, EachDeckDefectEndsWithItsCodeAndNamesTheRecord) {
  const std::size_t mib = std::size_t{1} << 20;  // the longest record
  auto padded = [](std::string head, std::size_t size) { return head.resize(size, 'c'), head; };
  // The edits, the stop code, and what standard error says after "standard input, ".
  const std::tuple<Edits, int, std::string> cases[] = {
      // Unreadable under the record's rule (list, (i5), (g20.10)) or beyond the type.
      {{{1, "1O.0   freq (Hz)"}}, 2, "record 1 (freq): not a number: \"1O.0\""},
      {{{3, "10.5"}}, 2, "record 3 (nfreq): not an integer: \"10.5\""},
      {{{30, ""}}, 2, "record 30 (nl(2)): no value found"},
      {{{7, "    O     key_model"}}, 2, "record 7 (key_model): not an integer: \"    O\""},
      {{{11, "2.25OOOOe+09        "}}, 2, "record 11 (akf(1)): not a number: \"2.25OOOOe+09        \""},
      {{{39, "1.0e-12            x comment"}}, 2, "record 39 (capa_3_0(2)): not a number: \"1.0e-12            x\""},
      {{{5, "2147483648"}}, 2, "record 5 (nx): integer out of range"},
      {{{14, "1d999"}}, 2, "record 14 (ro1(1)): number out of range"},
      // A record of a mebibyte is kept, comment and all; one character more is refused, not cut.
      {{{11, padded("2.250000e+09        ", mib)}}, 40, ""},
      {{{12, padded("1.0e+03             ", mib + 1)}}, 2, "record 12 (ro2(1)): the record is longer than 1048576 characters"},
      // Beyond the capacities, the keys or the physical range of the quantity:
      // one of each kind of range (open, closed, half-open; below 1;
      // negative; not finite), in the first layer's block and the second's.
      {{{5, "61"}}, 13, "record 5: nx = 61 is outside 1..60"},
      {{{9, "3"}}, 13, "record 9: nlayers = 3 is outside 0..2"},
      {{{8, "  1 0"}}, 13, "record 8: model = 10 is not 0 or 1"},  // (i5): blanks inside the field are ignored
      {{{1, "0.0"}}, 13, "record 1: freq = 0 is outside (0, 1e+12] Hz, the range of the test frequency"},
      {{{1, "NaN"}}, 13, "record 1: freq = nan is not a finite number"},
      {{{3, "0"}}, 13, "record 3: nfreq = 0 is below 1"},
      {{{4, "1e308"}}, 13, "record 4: domain_size = 1e+308 is outside [1e-09, 1e+06] m"},
      {{{10, "-1"}}, 13, "record 10: nl(1) = -1 is negative"},
      {{{11, "infinity"}}, 13, "record 11: akf(1) = inf is not a finite number"},
      {{{13, "-1.0e-3"}}, 13, "record 13: eta(1) = -0.001 is outside [0, 1e+10] Pa s"},
      {{{17, "0.0"}}, 13, "record 17: phi_layer1(1) = 0 is outside (0, 1)"},
      {{{37, "1.0"}}, 13, "record 37: phi_layer1(2) = 1 is outside (0, 1)"},
      {{{49, "-3.32e9"}}, 13, "record 49: xmu_s3(2) = -3320000000 is outside (0, 1e+12] Pa"},
      {{{7, "    1"}}, 13, "record 20: s3(1) = 0 is outside (0, 1)"},  // the ice deck in the shaley-sand model
      // Read, but most likely not the number meant: a warning, and the run goes on.
      {{{13, "1.798000000000000e-03"}}, 40, "record 13 (eta(1)): \"1.798000000000000e-03\" runs past column 20"},
      {{{7, ""}}, 40, "record 7 (key_model): the field (columns 1-5) is blank and reads as 0"},
      {{{1, "12,5 Hz"}}, 40, "record 1 (freq): \"12,5\": the comma ends the item, so it is read as \"12\""},
      // Comments after a list item, in column 6 on for (i5) and 21 on for
      // (g20.10); no friction between the solids, a one-point frequency
      // scale, a value of the other model.
      {{{5, "10,nx"}, {7, "    0x"}, {11, "2.250000e+09        x"}}, 40, ""},
      {{{23, "0.0"}, {3, "1"}, {21, "-1.0"}}, 40, ""},
  };
  for (const auto& [edits, stop, err] : cases)
    expect(err.substr(0, 80), edited(ice, edits), {stop, err.empty() ? std::vector<std::string>{} : std::vector{"standard input, " + err}});
  expect("nlayers = 1: the second block is never read", join(first_records(with_record(ice, 9, "1"), 29)), {40, {}});
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
  expect("phi_layer1(2) above phi_a(2)", join(first_records(with_record(ice, 37, "5.000000e-01"), 37)), {11, {"phi_layer1(2) = 0.5"}});
  // The shaley-sand model makes no such check.
  expect("shaley sand", join(with_record(deck_lines("shale_small.deck"), 17, "4.000000e-01")), {40, {}});
}

TEST_F(BadInput, StopsOfTheComputationSayWhyInEachProgram) {
  for (const std::string program : kPrograms) {
    const bool pwave = program == kPrograms[0];
    auto only_pwave = [&](int stop, const std::string& why) { return pwave ? Expect{stop, {why}} : Expect{40, {}}; };
    // No layer material: every cell fails the material check (the shear
    // programs number every cell 1). Periods that do not fill ny: layers of
    // 3 and 4 cells in 10 rows leave rows 8 to 10 without material; a period
    // larger than ny or empty leaves every row without; a period beyond the
    // integer type must not overflow on the way.
    expect("nlayers = 0", join(with_record(first_records(ice, 9), 9, "0")),
           {222, {"cell j,k = 1,1 has material number " + std::string(pwave ? "0" : "1") + ", expected 1..0"}}, {}, program);
    for (const auto& [nl, cell] : {std::pair{Edits{{10, "3"}, {30, "4"}}, "1,8"}, {Edits{{10, "0"}, {30, "0"}}, "1,1"},
                                   {Edits{{10, "20"}, {30, "20"}}, "1,1"}, {Edits{{10, "2147483647"}, {30, "1"}}, "1,1"}})
      expect("nl = " + nl[0].second + ", " + nl[1].second, edited(ice, nl),
             only_pwave(222, "cell j,k = " + std::string(cell) + " has material number 0, expected 1..2: row"), {}, program);
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
    expect("eta = 0", edited(ice, {{13, "0.0"}, {33, "0.0"}}), only_pwave(99, "the pivot is exactly zero in row"), {}, program);
  }
}

// A solver flag of a system of 704 equations: k n + row, the kind k and the row.
TEST(SolverFlags, DecodeIntoKindAndRow) {
  using K = yale::FlagKind;
  for (const auto& [flag, kind, row] : {std::tuple{0, K::none, 0}, {709, K::empty_row, 5}, {2112, K::duplicate_column, 704},
                                        {5941, K::zero_pivot, 309}, {7041, K::workspace_partition, 0}, {7042, K::unknown, 0}, {8449, K::unknown, 0}, {-1, K::unknown, 0}})
    EXPECT_TRUE(yale::decode_flag(flag, 704).kind == kind && yale::decode_flag(flag, 704).row == row) << flag;
}

TEST(PorosityFrac, EachDefectOfTheFileEndsTheRunNamingTheLine) {
  // The small shaley-sand deck (10 x 10 cells) with model = 1.
  const std::string deck = join(with_record(deck_lines("shale_small.deck"), 8, "    1"));
  // 100 lines of 0.25 with line `at` replaced by `text`.
  auto lines = [](int at, const std::string& text) {
    return "for i in $(seq 100); do if [ $i = " + std::to_string(at) + " ]; then printf -- '" + text +
           "\\n'; else echo 0.2500E+00; fi; done > porosity.frac";
  };
  const std::string crs(300, '\r');
  std::vector<std::pair<std::string, Expect>> cases = {
      {"", {2, {"\"porosity.frac\" cannot be opened"}}},
      {"head -c 2097152 /dev/zero > porosity.frac", {2, {"\"porosity.frac\" line 1 reaches 1048576 characters without a line end"}}},
      {": > porosity.frac", {2, {"\"porosity.frac\" ends before line 1"}}},
      {lines(0, "") + " && sed -i 100d porosity.frac", {2, {"\"porosity.frac\" ends before line 100: no water proportion for cell j,k = 10,10"}}},
      {lines(7, "0.25OOE+00"), {2, {"\"porosity.frac\" line 7: water proportion (e12.4) expected: not a number"}}},
      {lines(3, "1.0E+400"), {2, {"\"porosity.frac\" line 3: water proportion (e12.4) expected: number out of range"}}},
      // A volume fraction strictly between 0 and 1 (more below).
      {lines(12, "0.0000E+00"), {2, {"\"porosity.frac\" line 12: water proportion \"0.0000E+00\" is outside (0, 1)"}}},
      // Carriage returns end a line only where the line ends, however many.
      {lines(100, ".30" + crs + "junk"), {2, {"\"porosity.frac\" line 100: water proportion (e12.4) expected: not a number"}}},
      {lines(100, ".25" + crs) + " && echo junk >> porosity.frac", {40, {}}},  // lines beyond the cells are not read
      {"for i in $(seq 100); do echo 2500; done > porosity.frac",
       {40, {"\"porosity.frac\" line 1: \"2500\" has no decimal point and is read as 0.25 (4 implied decimals)"}}},
  };
  // Not a regular file: a directory, a FIFO without writer (no waiting), a device without end.
  for (const char* make : {"mkdir porosity.frac", "mkfifo porosity.frac", "ln -s /dev/zero porosity.frac"})
    cases.push_back({make, {2, {"\"porosity.frac\" is not a regular file"}}});
  // A zero byte must not make the reader lose the line that follows.
  for (const char* v : {"1.0000E+00", "-.2500E+00", "NaN", "Infinity", "\\0"})
    cases.push_back({lines(12, v), {2, {"\"porosity.frac\" line 12: water proportion"}}});
  for (const auto& [make, e] : cases) expect(make, deck, e, prepared(make.empty() ? "true" : make));
}

// UPSCALE_KERNEL as the three programs meet it: a name no kernel has ends
// the run before it touches its folder, with a sentence and status 2. (Which
// names a processor runs: tests/core; that each kernel it runs, the plain
// one included, gives the programs' results: .ci/run runs the numerical
// tests once per kernel.)
TEST(KernelChoice, ARefusedKernelEndsTheRunBeforeItStarts) {
  const std::string deck = join(deck_lines("ice_small.deck"));
  for (const char* program : kPrograms) {
    Options o;
    o.env = {{"UPSCALE_KERNEL", "sse4"}};
    const Outcome r = run(program, deck, o);
    EXPECT_EQ(r.status, 2) << program << ": " << r.describe();
    EXPECT_NE(r.err.find(std::string(program) + ": UPSCALE_KERNEL=sse4: "), std::string::npos) << r.err;
    EXPECT_TRUE(r.files().empty()) << program << ": the refused run left files";
  }
}

// Inputs the fuzz targets found or keep as seeds, replayed against the
// built readers and programs: every one must end with a known stop code
// and a message, never a signal, a hang or a silently different value.
// (fuzz/ci.sh replays the kept records and matrices through the fuzz
// targets, whose properties cover their messages.)
// Every exit status a program may end with (stop codes modulo 256).
const std::set<int> kKnownStatuses = {2, 9, 11, 12, 13, 40, 43, 57, 58, 74, 99, 110, 119, 120, 158, 159, 208, 209, 210, 211, 212, 222};

// The seeds and the kept findings; a folder of findings may be missing (a
// target without findings has none in a fresh clone).
TEST(FuzzInputs, DecksEndWithAKnownStatus) {
  int decks = 0;
  for (const char* folder : {"/corpus/deck", "/regressions/deck"}) {
    if (!std::filesystem::is_directory(UPSCALE_FUZZ_DIR + std::string(folder))) continue;
    for (const auto& e : std::filesystem::directory_iterator(UPSCALE_FUZZ_DIR + std::string(folder))) {
      const Outcome r = run("pwave_upscale", slurp(e.path().string()));
      EXPECT_TRUE(kKnownStatuses.count(r.status) && contains(r.err, "STOP " + std::to_string(r.status))) << e.path() << ": " << r.describe();
      ++decks;
    }
  }
  EXPECT_GT(decks, 0);
}

}  // namespace
