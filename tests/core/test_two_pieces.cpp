// Two pieces of work side by side: both run, on two threads where asked
// (each sees its own thread), and a failure of either reaches the caller
// once both have ended; and items shared out to a few threads.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/shared_work.hpp"
#include "core/two_pieces.hpp"

namespace {

TEST(TwoPieces, BothRunOnTwoThreadsOrInOrderOnOne) {
  for (bool two : {false, true}) {
    std::thread::id first, second;
    int order = 0, first_at = 0, second_at = 0;
    core::two_pieces(two, [&] { first = std::this_thread::get_id(), first_at = ++order; },
                     [&] { second = std::this_thread::get_id(), second_at = two ? 1 : ++order; });
    EXPECT_EQ(first, std::this_thread::get_id());
    EXPECT_EQ(second != first, two);
    EXPECT_TRUE(two || (first_at == 1 && second_at == 2)) << first_at << " " << second_at;  // in order on one
  }
}

TEST(TwoPieces, EitherFailureReachesTheCallerAfterBothEnded) {
  for (bool two : {false, true}) {
    bool other_done = false;
    EXPECT_THROW(core::two_pieces(two, [] { throw std::runtime_error("first"); }, [&] { other_done = true; }),
                 std::runtime_error);
    EXPECT_EQ(other_done, two);  // on one thread the second never starts
    bool first_done = false;
    try {
      core::two_pieces(two, [&] { first_done = true; }, [] { throw std::invalid_argument("second"); });
      ADD_FAILURE() << "no failure";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "second");
    }
    EXPECT_TRUE(first_done);
  }
}

// Every item once, on any number of threads; a failure is rethrown after
// the others have ended, and stops the handing out.
TEST(SharedWork, EveryItemOnceAndTheFirstFailureRethrown) {
  for (const int threads : {1, 2, 3}) {
    std::vector<std::atomic<int>> done(100);
    core::share_out(threads, done.size(), [&](std::size_t i, std::size_t worker) {
      EXPECT_LT(worker, static_cast<std::size_t>(threads));
      ++done[i];
    });
    for (std::size_t i = 0; i < done.size(); ++i) EXPECT_EQ(done[i].load(), 1) << i << ", " << threads;
    std::atomic<int> after{0};
    const auto fails_at_3 = [&](std::size_t i, std::size_t) {
      if (i == 3) throw std::runtime_error("item 3");
      ++after;
    };
    EXPECT_THROW(core::share_out(threads, 1000000, fails_at_3), std::runtime_error);
    EXPECT_LT(after.load(), 999999) << threads;
  }
}

}  // namespace
