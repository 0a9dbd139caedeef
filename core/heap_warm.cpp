#include "core/heap_warm.hpp"

#include <cstdlib>

#include "core/heap_reuse.hpp"
#include "core/two_pieces.hpp"

namespace core {

void warm_heap(std::int64_t bytes, bool two) {
  constexpr std::int64_t kPage = 4096, kLeast = 8 << 20;
  // Without a HeapReuse the block would be unmapped when freed: its
  // clearing wasted.
  if (!two || bytes < kLeast || !HeapReuse::in_force()) return;
  // volatile: the writes must reach the pages, not be dropped with the block.
  volatile char* block = static_cast<volatile char*>(std::malloc(static_cast<std::size_t>(bytes)));
  if (block == nullptr) return;
  auto touch = [block](std::int64_t lo, std::int64_t hi) {
    for (std::int64_t at = lo; at < hi; at += kPage) block[at] = 0;
  };
  const std::int64_t half = bytes / 2 / kPage * kPage;
  two_pieces(true, [&] { touch(0, half); }, [&] { touch(half, bytes); });
  std::free(const_cast<char*>(block));
}

}  // namespace core
