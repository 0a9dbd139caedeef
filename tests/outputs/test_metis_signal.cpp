// A stop signal that arrives while METIS orders a matrix: METIS traps
// SIGTERM for its own errors, so the signal used to turn into "METIS failed"
// and the run's record of the signal was lost. Now the ordering completes
// and the signal reaches the program's own handler afterwards. A thread
// sends SIGTERM without pause while the ordering runs; whenever the signals
// land, the ordering must be a permutation and the handler must have seen them.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "engine/analysis.hpp"

namespace {

std::atomic<int> g_seen{0};
void count_signal(int) { g_seen.fetch_add(1); }

// The lower triangle of the 5-point graph of an m x m grid.
engine::detail::Lower grid_graph(engine::Index m) {
  engine::detail::Lower a;
  a.n = m * m;
  a.ptr.push_back(0);
  for (engine::Index j = 0; j < a.n; ++j) {
    a.row.push_back(j);
    if (j % m + 1 < m) a.row.push_back(j + 1);
    if (j + m < a.n) a.row.push_back(j + m);
    a.ptr.push_back(static_cast<engine::Index>(a.row.size()));
  }
  return a;
}

}  // namespace

TEST(MetisOrdering, AStopSignalDuringTheOrderingIsNotAFailureOfIt) {
  struct sigaction sa {}, old {};
  sa.sa_handler = count_signal;
  sigemptyset(&sa.sa_mask);
  ASSERT_EQ(::sigaction(SIGTERM, &sa, &old), 0);
  const engine::detail::Lower a = grid_graph(300);
  std::atomic<bool> done{false};
  const pthread_t main_thread = pthread_self();
  std::thread sender([&] {
    while (!done.load()) pthread_kill(main_thread, SIGTERM), std::this_thread::yield();
  });
  std::vector<engine::Index> order;
  EXPECT_NO_THROW(order = engine::detail::metis_order(a));
  done = true;
  sender.join();
  std::vector<char> seen(static_cast<std::size_t>(a.n), 0);
  for (const auto k : order) seen.at(static_cast<std::size_t>(k)) += 1;
  EXPECT_EQ(order.size(), static_cast<std::size_t>(a.n));
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), a.n);
  EXPECT_GT(g_seen.load(), 0);  // the signals reached the program's handler, none was swallowed as an error
  // A signal still pending must not meet the restored default action.
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, nullptr);
  const timespec now{0, 0};
  while (sigtimedwait(&term, nullptr, &now) == SIGTERM) {
  }
  ::sigaction(SIGTERM, &old, nullptr);
  pthread_sigmask(SIG_UNBLOCK, &term, nullptr);
}
