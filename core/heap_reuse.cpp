#include "core/heap_reuse.hpp"

#include <malloc.h>

#include <mutex>

namespace core {

namespace {

// The C library's defaults (mallopt(3)).
constexpr int kDefaultMmapMax = 65536;
constexpr int kDefaultTrimThreshold = 128 * 1024;

std::mutex depth_lock;
int depth = 0;
bool settings_taken = false;

}  // namespace

HeapReuse::HeapReuse() {
  std::lock_guard<std::mutex> hold(depth_lock);
  if (depth++ == 0) {
    // No mappings for large blocks, and no trimming of the heap's top while
    // the guard lives (the largest value the setting takes).
    settings_taken = mallopt(M_MMAP_MAX, 0) == 1 && mallopt(M_TRIM_THRESHOLD, 0x7fffffff) == 1;
  }
  active_ = settings_taken;
}

bool HeapReuse::in_force() {
  std::lock_guard<std::mutex> hold(depth_lock);
  return depth > 0 && settings_taken;
}

HeapReuse::~HeapReuse() {
  std::lock_guard<std::mutex> hold(depth_lock);
  if (--depth > 0 || !settings_taken) return;
  mallopt(M_MMAP_MAX, kDefaultMmapMax);
  mallopt(M_TRIM_THRESHOLD, kDefaultTrimThreshold);
  malloc_trim(0);
  settings_taken = false;
}

}  // namespace core
