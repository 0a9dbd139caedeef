#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>

#include "core/heap_reuse.hpp"

namespace {

constexpr std::size_t kLarge = std::size_t{96} << 20;  // above the largest mapping threshold

std::size_t mapped_bytes() { return mallinfo2().hblkhd; }

void* touched_block() {
  void* p = std::malloc(kLarge);
  if (p) std::memset(p, 1, 4096);
  return p;
}

// While a guard lives (an inner one ended does not restore) a large block
// comes from the heap, and the next one of the same size takes the place of
// the one freed; afterwards large blocks are mapped again and the heap's
// free part goes back.
TEST(HeapReuse, LargeBlocksReuseTheHeapOnlyWhileTheOutermostGuardLives) {
  const std::size_t before = mapped_bytes();
  {
    core::HeapReuse guard;
    if (!guard.active()) GTEST_SKIP() << "this allocator takes no heap settings";
    { core::HeapReuse inner; }
    void* a = touched_block();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(mapped_bytes(), before);
    std::free(a);
    void* b = touched_block();
    EXPECT_EQ(b, a);
    std::free(b);
    EXPECT_GE(mallinfo2().fordblks, kLarge);  // kept for the next
  }
  EXPECT_LT(mallinfo2().arena, kLarge);  // given back at the end
  void* c = touched_block();
  ASSERT_NE(c, nullptr);
  EXPECT_GE(mapped_bytes(), before + kLarge);
  std::free(c);
}

}  // namespace
