// Large temporary arrays that reuse the pages of the ones freed before them.
//
// The C library serves every block above 32 MB with a fresh mapping and
// unmaps it when it is freed, so an analysis that builds and drops a dozen
// arrays of a few hundred megabytes pays the kernel for every page of each
// one again (a page fault and the clearing of the page: more processor
// time than the sorting that fills them, on a virtual machine). While a
// HeapReuse lives, large blocks come from the heap and freed ones stay
// there for the next; when the last one ends, the defaults come back and
// the free part of the heap is returned to the system, so that the memory
// checks of what follows see it as available again.
#pragma once

namespace core {

class HeapReuse {
 public:
  HeapReuse();
  ~HeapReuse();
  HeapReuse(const HeapReuse&) = delete;
  HeapReuse& operator=(const HeapReuse&) = delete;

  // False where the allocator takes no such settings (a sanitiser's own).
  bool active() const { return active_; }
  // Whether some HeapReuse is alive and active now.
  static bool in_force();

 private:
  bool active_ = false;
};

}  // namespace core
