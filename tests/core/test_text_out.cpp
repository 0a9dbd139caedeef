// List-directed lines; result files that cannot be created or written.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "core/stop.hpp"
#include "core/stop_error.hpp"
#include "core/text_out.hpp"

TEST(ListLine, ItemsSeparatedByBlanks) {
  EXPECT_EQ(core::list_line(" label = ", int32_t{5}), "  label =  5");
  EXPECT_EQ(core::list_line(0.5, int32_t{-3}, "x", core::zcomplex{1.5, -2.0}), " 0.5 -3 x (1.5,-2)");
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(core::list_line(std::numeric_limits<double>::quiet_NaN(), inf, -inf), " NaN Infinity -Infinity");
}

TEST(ListLine, DoublesReadBackExactly) {
  std::mt19937_64 gen(11);
  for (int i = 0; i < 5000; ++i) {
    const double v = std::bit_cast<double>(gen());
    if (!std::isfinite(v)) continue;
    const std::string s = core::list_line(v);
    EXPECT_EQ(std::strtod(s.c_str(), nullptr), v) << s;
  }
}

// A result file that cannot be created: the hardening catalogue.
TEST(TextOutDeath, FilesThatCannotBeWrittenStop74) {
  // /dev/full accepts the open and fails every write: not a normal end.
  EXPECT_EXIT(
      {
        core::TextOut f("/dev/full");
        f.line("x");
        core::stop(core::kStopNormal);
      },
      testing::ExitedWithCode(core::kStopOutputError), "/dev/full");
}

// A result file that cannot be created is refused by an exception naming
// it (the caller goes on); a program's main ends with its sentence and 74.
TEST(TextOut, UncreatableFileThrowsAndMainEndsWith74) {
  const std::string name = "/nonexistent-folder-of-no-run/result.txt";
  try {
    core::TextOut f(name);
    ADD_FAILURE() << "a file was created in a folder that does not exist";
  } catch (const core::StopError& e) {
    EXPECT_EQ(e.code(), core::kStopOutputError);
    EXPECT_NE(std::string(e.what()).find("cannot create result file \"" + name + "\""), std::string::npos) << e.what();
  }
  EXPECT_EXIT(
      {
        try {
          core::TextOut f(name);
        } catch (const core::StopError& e) {
          core::end_run(e);
        }
      },
      testing::ExitedWithCode(core::kStopOutputError), "cannot create result file");
}
