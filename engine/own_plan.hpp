// The own engine's plan after its analysis: what one factorisation costs in
// memory with the factors in core and out of core, and on disk.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/sparse_solver.hpp"

namespace engine {

// A few aligned lines headed "own engine plan on 1 rank (ORDERING)";
// with `beside_bytes` (what the program holds beside the engine) also the
// peak of the whole program in core and out of core.
void print_own_plan(std::FILE* out, const SparseSolver& own, std::int64_t beside_bytes = 0);

}  // namespace engine
