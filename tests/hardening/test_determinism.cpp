// A run is a function of its deck: the same deck, twice, gives the same
// report (apart from the running time), the same standard error and the
// same files, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "run_program.hpp"

using namespace support;

namespace {

class Determinism : public ::testing::TestWithParam<const char*> {};

TEST_P(Determinism, SameDeckSameReportAndFiles) {
  for (const char* name : {"ice_small.deck", "shale_small.deck"}) {
    const std::string deck = join(deck_lines(name));
    const Outcome a = run(GetParam(), deck), b = run(GetParam(), deck);
    ASSERT_EQ(a.status, 40) << name << ": " << a.describe();
    ASSERT_EQ(b.status, 40) << name << ": " << b.describe();
    auto without_time = [](const std::string& s) { return s.substr(0, s.rfind("\n running time=")); };
    EXPECT_TRUE(contains(a.out, "\n running time=")) << name;  // the last line
    EXPECT_EQ(without_time(a.out), without_time(b.out)) << name;
    EXPECT_EQ(a.err, b.err) << name;
    ASSERT_EQ(a.files(), b.files()) << name;
    EXPECT_GE(a.files().size(), 25u) << name;
    for (const std::string& f : a.files()) EXPECT_EQ(a.file(f), b.file(f)) << name << ": " << f << " differs between two runs";
  }
}

INSTANTIATE_TEST_SUITE_P(Programs, Determinism, ::testing::Values("pwave_upscale", "swave_spectrum", "swave_saturation"));

}  // namespace
