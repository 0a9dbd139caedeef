// A run is a function of its deck: the same deck, twice, gives the same
// report (apart from the running time), the same standard error and the
// same files, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "run_program.hpp"

namespace hardening {
namespace {

std::string without_running_time(const std::string& report) {
  const std::size_t at = report.rfind("\n running time=");
  if (at == std::string::npos) return report;
  const std::size_t end = report.find('\n', at + 1);
  return report.substr(0, at + 1) + (end == std::string::npos ? "" : report.substr(end + 1));
}

class Determinism : public ::testing::TestWithParam<const char*> {};

TEST_P(Determinism, SameDeckSameReportAndFiles) {
  const std::string program = GetParam();
  if (!program_built(program)) GTEST_SKIP() << program << " is not built yet";
  if (!runs_end_to_end(program)) GTEST_SKIP() << program << " stops after the deck so far";
  for (const char* name : {"ice_small.deck", "shale_small.deck"}) {
    const std::string deck = join(deck_lines(name));
    const Outcome a = run(program, deck), b = run(program, deck);
    ASSERT_EQ(a.status, 40) << name << ": " << a.describe();
    ASSERT_EQ(b.status, 40) << name << ": " << b.describe();
    EXPECT_TRUE(contains(a.out, " running time=")) << name;
    EXPECT_EQ(without_running_time(a.out), without_running_time(b.out)) << name;
    EXPECT_EQ(a.err, b.err) << name;
    ASSERT_EQ(files_in(a.dir), files_in(b.dir)) << name;
    EXPECT_GE(files_in(a.dir).size(), 12u) << name;
    for (const std::string& f : files_in(a.dir))
      EXPECT_EQ(slurp(a.dir + "/" + f), slurp(b.dir + "/" + f)) << name << ": " << f << " differs between two runs";
  }
}

INSTANTIATE_TEST_SUITE_P(Programs, Determinism, ::testing::Values("pwave_upscale", "swave_spectrum", "swave_saturation"));

}  // namespace
}  // namespace hardening
