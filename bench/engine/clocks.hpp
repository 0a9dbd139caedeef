// The two clocks of the engine benchmarks: wall time since a start, and the
// processor time of the whole process (all threads), on a shared machine a
// fairer measure of one thread's work than the wall clock.
#pragma once

#include <chrono>
#include <ctime>

namespace engine_bench {

using Clock = std::chrono::steady_clock;

inline double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

inline double cpu_now() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

}  // namespace engine_bench
