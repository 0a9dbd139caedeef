// The CPU clock and the end-of-run report.
#include <gtest/gtest.h>

#include <ctime>

#include "drivers/timer.hpp"

TEST(Timer, RunningTimeLine) {
  EXPECT_EQ(drivers::running_time_line(0.5), " running time=       0.500000hours");
  EXPECT_EQ(drivers::running_time_line(0.0), " running time=       0.000000hours");
  EXPECT_EQ(drivers::running_time_line(1.0 / 3600), " running time=       0.000278hours");
}

TEST(Timer, DifferencesAddUpToTheTotal) {
  const double first = drivers::timer();  // CPU seconds since process start
  EXPECT_GE(first, 0.0);
  volatile double sink = 0;
  double parts = 0;
  for (int i = 0; i < 5; ++i) {
    for (int k = 0; k < 200000; ++k) sink = sink + k * 1e-9;
    const double d = drivers::timer();
    EXPECT_GE(d, 0.0);
    parts += d;
  }
  // Successive differences telescope: their sum is the clock's advance,
  // which cannot exceed the process's whole CPU time.
  EXPECT_LE(parts, static_cast<double>(std::clock()) / CLOCKS_PER_SEC + 1e-3);
}

TEST(TimerDeath, EndOfRunIsStop40) {
  EXPECT_EXIT(drivers::end_of_run(7.2), testing::ExitedWithCode(40), "STOP 40");
}
