// A run is a function of its deck: the same deck, twice, gives the same
// report (apart from the running time), the same standard error and the
// same files, byte for byte; so does the deck with CR-LF line ends.
#include <gtest/gtest.h>

#include <string>

#include "run_program.hpp"

using namespace support;

namespace {

void expect_same_run(const Outcome& a, const Outcome& b, const std::string& what) {
  ASSERT_EQ(a.status, 40) << what << ": " << a.describe();
  ASSERT_EQ(b.status, 40) << what << ": " << b.describe();
  auto without_time = [](const std::string& s) { return s.substr(0, s.rfind("\n running time=")); };
  EXPECT_TRUE(contains(a.out, "\n running time=")) << what;  // the last line
  EXPECT_EQ(without_time(a.out), without_time(b.out)) << what;
  EXPECT_EQ(a.err, b.err) << what;
  ASSERT_EQ(a.files(), b.files()) << what;
  EXPECT_GE(a.files().size(), 25u) << what;
  for (const std::string& f : a.files()) {
    if (f == "run.json") continue;  // holds the start time and the CPU time
    EXPECT_EQ(a.file(f), b.file(f)) << what << ": " << f << " differs";
  }
}

TEST(Determinism, SameDeckSameReportAndFiles) {
  for (const char* program : {"pwave_upscale", "swave_spectrum", "swave_saturation"})
    for (const char* name : {"ice_small.deck", "shale_small.deck"}) {
      const std::string deck = join(deck_lines(name));
      expect_same_run(run(program, deck), run(program, deck), std::string(program) + " " + name);
    }
}

// The reader is shared by the three programs.
TEST(Determinism, CrLfLineEndsReadAsTheSameDeck) {
  for (const char* name : {"ice_small.deck", "shale_small.deck"})
    expect_same_run(run("pwave_upscale", join(deck_lines(name))), run("pwave_upscale", join(deck_lines(name), "\r\n")),
                    std::string("CR-LF ") + name);
}

}  // namespace
