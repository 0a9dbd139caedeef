// Two pieces of work at once: the second on a thread of its own, the BLAS
// of every solver held to one thread meanwhile (each piece factorises with
// factors of its own). The first failure is rethrown once both have ended;
// where no thread can be started, the second runs after the first.
#pragma once

#include <functional>

namespace tensor {

void side_by_side(const std::function<void()>& first, const std::function<void()>& second);

}  // namespace tensor
