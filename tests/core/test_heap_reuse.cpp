// The heap kept for reuse: while a guard lives (an inner one ended does not
// restore) a large block comes from the heap and the next one of the same
// size takes the place of the one freed; afterwards large blocks are mapped
// again and the heap's free part goes back. A block warmed in advance, on
// one thread or two, stays in the heap as free room.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>

#include "core/heap_reuse.hpp"
#include "core/heap_warm.hpp"

namespace {

constexpr std::size_t kLarge = std::size_t{96} << 20;  // above the largest mapping threshold

std::size_t mapped_bytes() { return mallinfo2().hblkhd; }

void* touched_block() {
  void* p = std::malloc(kLarge);
  if (p) std::memset(p, 1, 4096);
  return p;
}

TEST(HeapReuse, LargeBlocksReuseTheHeapOnlyWhileTheOutermostGuardLives) {
  const std::size_t before = mapped_bytes();
  {
    core::HeapReuse guard;
    if (!guard.active()) GTEST_SKIP() << "this allocator takes no heap settings (a sanitiser's own)";
    { core::HeapReuse inner; }
    void* a = touched_block();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(mapped_bytes(), before);
    std::free(a);
    void* b = touched_block();
    EXPECT_EQ(b, a);
    std::free(b);
  }
  EXPECT_LT(mallinfo2().arena, kLarge);  // given back at the end
  void* c = touched_block();
  ASSERT_NE(c, nullptr);
  EXPECT_GE(mapped_bytes(), before + kLarge);
  std::free(c);
  const core::HeapReuse again;
  for (const bool two : {false, true}) {
    const std::size_t bytes = two ? 2 * kLarge : kLarge;
    core::warm_heap(static_cast<std::int64_t>(bytes), two);
    EXPECT_GE(mallinfo2().fordblks, bytes) << two;  // free room, not unmapped
  }
}

}  // namespace
