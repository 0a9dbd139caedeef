// Fresh pages for the large blocks that follow, in 2 MB pages, cleared on
// one thread or two.
//
// The kernel clears every page a process touches for the first time, and
// on a virtual machine each page fault costs more than the clearing. The
// heap's pages are 4 kB; an array of a few hundred megabytes takes tens of
// thousands of faults, on the thread that makes it. While a HeapReuse
// lives, freed blocks stay in the heap and serve the next ones, so a block
// of the size the next steps will take, marked for 2 MB pages, touched
// (in two halves side by side with `two`) and freed at once, leaves pages
// that the arrays made after it find ready: one fault per 2 MB.
#pragma once

#include <cstdint>

namespace core {

// Does nothing for less than a few megabytes, outside a
// HeapReuse (whose end returns the pages to the system), or where the
// C library gives no such block (no harm: the arrays then take fresh pages
// as before).
void warm_heap(std::int64_t bytes, bool two);

// Every page of `bytes` at `block` faulted in now, in two halves side by
// side with `two`: an array about to be filled by one thread while the
// others wait gets its pages cleared on all of them. For fresh arrays: a
// byte of every page is set to zero.
void touch_pages(void* block, std::int64_t bytes, bool two);

}  // namespace core
