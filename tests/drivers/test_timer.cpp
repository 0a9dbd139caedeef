// The CPU clock and the end-of-run report.
#include <gtest/gtest.h>

#include "drivers/timer.hpp"

TEST(Timer, RunningTimeLine) {
  EXPECT_EQ(drivers::running_time_line(0.5), " running time=       0.500000hours");
  EXPECT_EQ(drivers::running_time_line(0.0), " running time=       0.000000hours");
  EXPECT_EQ(drivers::running_time_line(1.0 / 3600), " running time=       0.000278hours");
}

TEST(TimerDeath, EndOfRunIsStop40) {
  EXPECT_EXIT(drivers::end_of_run(7.2), testing::ExitedWithCode(40), "STOP 40");
}
