// Inputs the fuzz targets found or keep as seeds, replayed against the
// built readers and programs: every one must end with a known stop code
// and a message, never a signal, a hang or a silently different value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_in.hpp"
#include "model/porosity.hpp"
#include "run_program.hpp"

#include "sparse_io/matrix_market.hpp"

using namespace support;

namespace {

// The files of a folder of kept inputs; none when the folder does not exist
// (a target without findings has no folder in a fresh clone).
std::vector<std::string> inputs_in(const std::string& dir) {
  std::vector<std::string> paths;
  if (!std::filesystem::is_directory(dir)) return paths;
  for (const auto& e : std::filesystem::directory_iterator(dir)) paths.push_back(e.path().string());
  return paths;
}

// Every exit status a program may end with (stop codes modulo 256).
const std::set<int> kKnownStatuses = {2, 9, 11, 12, 13, 40, 43, 57, 58, 74, 99, 110, 119, 120, 158, 159, 208, 209, 210, 211, 212, 222};

TEST(FuzzInputs, DecksEndWithAKnownStatus) {
  std::vector<std::string> decks = inputs_in(std::string(UPSCALE_FUZZ_DIR) + "/corpus/deck");
  for (const std::string& p : inputs_in(std::string(UPSCALE_FUZZ_DIR) + "/regressions/deck")) decks.push_back(p);
  ASSERT_FALSE(decks.empty());
  for (const std::string& path : decks) {
    const Outcome r = run("pwave_upscale", slurp(path));
    EXPECT_TRUE(kKnownStatuses.count(r.status) && (r.status == 40 || contains(r.err, "STOP ")))
        << path << ": " << r.describe();
  }
}

// Decimal text beyond 800 significant digits: only the first digits and
// whether any later digit is nonzero may decide the double.
TEST(ReaderRegressions, LongDecimalTextReadsCorrectlyRounded) {
  const core::Field<double> ones = core::read_list_real("1." + std::string(900, '1'));
  ASSERT_TRUE(ones.ok()) << ones.error;
  EXPECT_EQ(ones.value, 1.1111111111111112);

  // Halfway between 1 and the next double, then a 1 far out: rounds up.
  const std::string half = "1.00000000000000011102230246251565404236316680908203125";
  std::string above = half + std::string(805 - half.size(), '0') + "1";
  EXPECT_EQ(core::read_list_real(above).value, std::nextafter(1.0, 2.0));
  // Exactly halfway, however many zeros follow: rounds to even.
  EXPECT_EQ(core::read_list_real(half + std::string(900, '0')).value, 1.0);
  // Many integer digits keep their magnitude.
  EXPECT_EQ(core::read_list_real("1" + std::string(900, '0') + "e-900").value, 1.0);
  EXPECT_EQ(core::read_list_real("0." + std::string(850, '0') + "25e851").value, 2.5);
}

TEST(ReaderRegressions, FuzzRecordsReadAsBefore) {
  for (const std::string& path : inputs_in(std::string(UPSCALE_FUZZ_DIR) + "/regressions/records")) {
    std::istringstream in(slurp(path));
    for (std::string line; std::getline(in, line);) {
      // Messages quote a bounded, printable part of the record.
      for (const auto& f : {core::read_list_int(line).error, core::read_list_real(line).error, core::read_i5(line).error,
                            core::read_g20_10(line).error, core::read_e12_4(line).error}) {
        EXPECT_LT(f.size(), 400u) << path;
        for (char c : f) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << path;
      }
    }
  }
}

// A byte 0 in a line of "porosity.frac" must not make the reader lose the
// line that follows (every later cell would take its neighbour's value).
TEST(ReaderRegressions, PorosityFileLineWithAZeroByte) {
  char dir[] = "/tmp/upscale_hard_nul_XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  const std::string path = std::string(dir) + "/porosity.frac";
  std::ofstream(path, std::ios::binary) << std::string("0.1\n\0\n0.2\n0.3\n", 13);
  EXPECT_EXIT(
      {
        model::PorosityFile file(path.c_str());
        std::vector<double> v;
        for (int j = 1; j <= 3; ++j) v.push_back(file.next(j, 1));
        // Reading line 2 as blank (zero) would be one answer; losing line 3 is none.
        std::_Exit(v[1] == 0.0 && v[2] == 0.2 ? 0 : 1);
      },
      ::testing::ExitedWithCode(2), "porosity.frac\" line 2");
}

// A Matrix Market message quotes what it found, cut short and printable,
// whatever bytes the file holds.
TEST(ReaderRegressions, MatrixMarketMessagesQuoteTokens) {
  for (const std::string& path : inputs_in(std::string(UPSCALE_FUZZ_DIR) + "/regressions/matrix_market")) {
    std::istringstream in(slurp(path));
    try {
      mm::read_matrix(in, "file.mtx");
    } catch (const mm::ReadError& e) {
      const std::string what = e.what();
      EXPECT_LT(what.size(), 400u) << path;
      for (char c : what) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << path << ": " << what.substr(0, 200);
    }
  }
}

}  // namespace
