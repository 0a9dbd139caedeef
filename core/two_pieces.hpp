// Two independent pieces of work, side by side where a second thread is
// wanted and can be had. The pieces must write disjoint data; both have
// ended (joined) before the call returns, so their results are read after
// a join and never while being written. The first failure is rethrown once
// both have ended; where no thread can be started, the second piece runs
// after the first: the same results, one at a time.
#pragma once

#include <functional>

namespace core {

void two_pieces(bool side_by_side, const std::function<void()>& first, const std::function<void()>& second);

}  // namespace core
