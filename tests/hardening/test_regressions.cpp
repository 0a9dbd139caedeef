// Inputs the fuzz targets found or keep as seeds, replayed against the
// built readers and programs: every one must end with a known stop code
// and a message, never a signal, a hang or a silently different value.
// (fuzz/ci.sh replays the kept records and matrices through the fuzz
// targets, whose properties cover their messages.)
#include <cmath>
#include <filesystem>
#include <set>

#include "core/text_in.hpp"
#include "run_program.hpp"

using namespace support;

namespace {

// The files of a folder of kept inputs; none when the folder does not exist
// (a target without findings has no folder in a fresh clone).
std::vector<std::string> inputs_in(const std::string& folder) {
  std::vector<std::string> paths;
  const std::string dir = std::string(UPSCALE_FUZZ_DIR) + "/" + folder;
  if (std::filesystem::is_directory(dir))
    for (const auto& e : std::filesystem::directory_iterator(dir)) paths.push_back(e.path().string());
  return paths;
}

// Every exit status a program may end with (stop codes modulo 256).
const std::set<int> kKnownStatuses = {2, 9, 11, 12, 13, 40, 43, 57, 58, 74, 99, 110, 119, 120, 158, 159, 208, 209, 210, 211, 212, 222};

TEST(FuzzInputs, DecksEndWithAKnownStatus) {
  std::vector<std::string> decks = inputs_in("corpus/deck"), kept = inputs_in("regressions/deck");
  decks.insert(decks.end(), kept.begin(), kept.end());
  ASSERT_FALSE(decks.empty());
  for (const std::string& path : decks) {
    const Outcome r = run("pwave_upscale", slurp(path));
    EXPECT_TRUE(kKnownStatuses.count(r.status) && contains(r.err, "STOP " + std::to_string(r.status))) << path << ": " << r.describe();
  }
}

// Decimal text beyond 800 significant digits: only the first digits and
// whether any later digit is nonzero may decide the double.
TEST(ReaderRegressions, LongDecimalTextReadsCorrectlyRounded) {
  EXPECT_EQ(core::read_list_real("1." + std::string(900, '1')).value, 1.1111111111111112);
  // Halfway between 1 and the next double, then a 1 far out: rounds up.
  const std::string half = "1.00000000000000011102230246251565404236316680908203125";
  EXPECT_EQ(core::read_list_real(half + std::string(805 - half.size(), '0') + "1").value, std::nextafter(1.0, 2.0));
  // Exactly halfway, however many zeros follow: rounds to even.
  EXPECT_EQ(core::read_list_real(half + std::string(900, '0')).value, 1.0);
  // Many integer digits keep their magnitude.
  EXPECT_EQ(core::read_list_real("1" + std::string(900, '0') + "e-900").value, 1.0);
  EXPECT_EQ(core::read_list_real("0." + std::string(850, '0') + "25e851").value, 2.5);
}

}  // namespace
