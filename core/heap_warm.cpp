#include "core/heap_warm.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "core/heap_reuse.hpp"
#include "core/two_pieces.hpp"

namespace core {

namespace {

// The 2 MB-aligned inside of the block may be backed by 2 MB pages: one
// page fault and one clearing where there would be 512 of each (the faults,
// not the clearing, dominate on a virtual machine).
void advise_huge_pages(char* block, std::int64_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const auto lo = (reinterpret_cast<std::uintptr_t>(block) + kHuge - 1) / kHuge * kHuge;
  const auto hi = (reinterpret_cast<std::uintptr_t>(block) + static_cast<std::uintptr_t>(bytes)) / kHuge * kHuge;
  if (hi > lo) madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

}  // namespace

void warm_heap(std::int64_t bytes, bool two) {
  constexpr std::int64_t kLeast = 8 << 20;
  // Without a HeapReuse the block would be unmapped when freed: its
  // clearing wasted.
  if (bytes < kLeast || !HeapReuse::in_force()) return;
  void* block = std::malloc(static_cast<std::size_t>(bytes));
  if (block == nullptr) return;
  advise_huge_pages(static_cast<char*>(block), bytes);
  touch_pages(block, bytes, two);
  std::free(block);
}

void touch_pages(void* block, std::int64_t bytes, bool two) {
  constexpr std::int64_t kPage = 4096;
  // volatile: the writes must reach the pages, not be dropped as dead
  // stores. A write, not a read: a read would map the shared zero page
  // first and fault again at the first write.
  volatile char* at = static_cast<volatile char*>(block);
  auto touch = [at](std::int64_t lo, std::int64_t hi) {
    for (std::int64_t k = lo; k < hi; k += kPage) at[k] = 0;
  };
  const std::int64_t half = bytes / 2 / kPage * kPage;
  two_pieces(two, [&] { touch(0, half); }, [&] { touch(half, bytes); });
}

}  // namespace core
