// Stop codes become exit statuses: the low eight bits of the code, with the
// full code on standard error, after the message of a failure.
#include <gtest/gtest.h>

#include "core/stop.hpp"

TEST(StopDeath, ExitStatusIsTheLowEightBits) {
  EXPECT_EXIT(core::stop(core::kStopNormal), testing::ExitedWithCode(40), "^STOP 40\n$");
  EXPECT_EXIT(core::stop(45678), testing::ExitedWithCode(110), "STOP 45678");
  EXPECT_EXIT(core::stop(2000), testing::ExitedWithCode(208), "STOP 2000");
  EXPECT_EXIT(core::fail(core::kStopInputError, "record 5 (nx): not an integer"), testing::ExitedWithCode(2),
              "record 5 \\(nx\\): not an integer\nSTOP 2");
}
