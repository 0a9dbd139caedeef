// Stop codes become exit statuses: the low eight bits of the code, with the
// full code on standard error.
#include <gtest/gtest.h>

#include "core/stop.hpp"

TEST(StopDeath, ExitStatusIsTheLowEightBits) {
  EXPECT_EXIT(core::stop(core::kStopNormal), testing::ExitedWithCode(40), "STOP 40\n");
  EXPECT_EXIT(core::stop(11, "message"), testing::ExitedWithCode(11), "STOP 11");
  EXPECT_EXIT(core::stop(12345), testing::ExitedWithCode(12345 % 256), "STOP 12345");
  EXPECT_EXIT(core::stop(2000), testing::ExitedWithCode(208), "STOP 2000");
  EXPECT_EXIT(core::stop(555), testing::ExitedWithCode(555 & 0xff), "STOP 555");
}

TEST(StopDeath, FailReportsOnStandardError) {
  EXPECT_EXIT(core::fail(core::kStopInputError, "record 5 (nx): not an integer"),
              testing::ExitedWithCode(core::kStopInputError), "record 5 \\(nx\\): not an integer\nSTOP 2");
}
