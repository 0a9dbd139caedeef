// Two pieces of work side by side: both run, on two threads where asked
// (each sees its own thread), and a failure of either reaches the caller
// once both have ended.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

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

}  // namespace
