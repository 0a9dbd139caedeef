// Planning a distributed run: MUMPS's analysis alone, on the ranks the run
// will have, and its estimates of the factors, the flops and each rank's
// memory, printed before anything large is allocated.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/sparse_solver.hpp"

namespace engine {

struct MumpsPlan {
  int ranks = 1;
  Index n = 0, matrix_entries = 0, factor_entries = 0;
  double flops = 0;                               // one factorisation, MUMPS's count
  std::vector<std::int64_t> memory_in_core;       // bytes per rank
  std::vector<std::int64_t> memory_out_of_core;   // bytes per rank
  double analyse_seconds = 0;
  std::string ordering;
};

// Collective over MPI_COMM_WORLD: analyses this rank's share of the pattern
// (no memory check: the plan reports what a run would need).
MumpsPlan plan_mumps(const Pattern& pattern, Options options);

// The plan as a few aligned lines, ranks in order (rank 0 prints it).
void print_plan(std::FILE* out, const MumpsPlan& plan);

// Any backend's figures after its analyse (on one rank: the own engine's
// beside MUMPS's), from memory_needed() and statistics().
void print_backend_plan(std::FILE* out, const char* name, const SparseSolver& solver);

}  // namespace engine
