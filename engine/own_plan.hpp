// The own engine's plan after its analysis: what one factorisation costs in
// memory with the factors in core and out of core, and on disk.
#pragma once

#include <cstdio>

#include "engine/sparse_solver.hpp"

namespace engine {

// A few aligned lines headed "own engine plan on 1 rank (ORDERING)".
void print_own_plan(std::FILE* out, const SparseSolver& own);

}  // namespace engine
