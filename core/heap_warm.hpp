// Fresh pages for the large blocks that follow, cleared on two threads.
//
// The kernel clears every page a process touches for the first time; an
// array of a few hundred megabytes made on one thread pays that clearing on
// that thread, whatever threads fill it later. While a HeapReuse lives,
// freed blocks stay in the heap and serve the next ones, so a block of the
// size the next steps will take, touched in two halves side by side and
// freed at once, has its pages cleared by two threads, and the arrays made
// after it find them ready.
#pragma once

#include <cstdint>

namespace core {

// Does nothing without `two`, for less than a few megabytes, outside a
// HeapReuse (whose end returns the pages to the system), or where the
// C library gives no such block (no harm: the arrays then take fresh pages
// as before).
void warm_heap(std::int64_t bytes, bool two);

}  // namespace core
