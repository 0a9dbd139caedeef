// The sparse engine taken in turns by computations on several threads of
// one process. The engine sets the BLAS thread count, which is one setting
// for the whole process, around each phase; two factorisations at once
// would change each other's count and with it the rounding of their
// kernels. A solver wrapped here holds a process-wide lock through each
// analysis, factorisation and solve, so that every result is the one a
// computation alone gives; a waiting thread keeps polling for cancellation.
#pragma once

#include <functional>
#include <memory>

#include "engine/sparse_solver.hpp"

namespace upscale_py {

// `poll` is called while waiting for the engine (it may throw to give up).
std::unique_ptr<engine::SparseSolver> taking_turns(std::unique_ptr<engine::SparseSolver> solver,
                                                   std::function<void()> poll);

}  // namespace upscale_py
