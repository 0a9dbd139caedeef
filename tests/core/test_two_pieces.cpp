// Two pieces of work side by side: both run, on two threads where asked
// (each sees its own thread), a failure of either reaches the caller once
// both have ended, and a heap warmed on two threads serves the next block.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "core/heap_reuse.hpp"
#include "core/heap_warm.hpp"
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
    if (!two) {
      EXPECT_EQ(first_at, 1);
      EXPECT_EQ(second_at, 2);
    }
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

// Inside a HeapReuse the warmed block stays in the heap as free room for
// the next blocks (it is not unmapped), warmed on one thread or two.
TEST(HeapWarm, WarmedBlockStaysInTheHeapAsFreeRoom) {
  const core::HeapReuse reuse;
  if (!reuse.active()) GTEST_SKIP() << "the allocator takes no heap settings (a sanitiser's own)";
  const std::int64_t bytes = 64 << 20;
  for (const bool two : {false, true}) {
    const struct mallinfo2 before = mallinfo2();
    core::warm_heap(bytes, two);
    const struct mallinfo2 after = mallinfo2();
    EXPECT_GE(after.fordblks, static_cast<std::size_t>(bytes)) << two;
    EXPECT_GE(after.arena, before.arena) << two;
  }
}

}  // namespace
