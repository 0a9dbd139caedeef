// tensor_upscale as one MPI job (--solver mumps under mpirun -np P, and
// --plan): every rank reads the sample and builds the whole grid system;
// the distributed backend receives from each rank only its slice of the
// entries, the right-hand sides on rank 0 alone; rank 0 alone prints
// progress and writes the outputs.
#pragma once

#include <memory>

#include "engine/sparse_solver.hpp"
#include "tensor/grid_system.hpp"
#include "tensor/options.hpp"
#include "tensor/sample.hpp"

namespace tensor {

// This process's rank in the job and the job's size (0 of 1 outside MPI).
struct JobRanks {
  int rank = 0, size = 1;
};
const JobRanks& job_ranks();
// True on the rank that writes the outputs and prints progress.
inline bool leads_output() { return job_ranks().rank == 0; }

// True when the run needs MPI: the distributed backend or a plan, in a
// build that has it.
bool runs_as_job(const Options& o);

// Runs tensor::run(o) as one MPI job; a failing rank ends the job with a
// message naming the rank and the phase, and status 1.
int run_as_job(int& argc, char**& argv, const Options& o);

// The backend's solver; the distributed one handed this rank's slice only.
std::unique_ptr<engine::SparseSolver> make_backend(engine::Backend backend);

// --plan: the own engine's analysis on one rank (printed by rank 0) and
// MUMPS's on the job's ranks, for the grid of the sample; writes nothing.
// Throws where the build has no MUMPS, after the own engine's part.
void print_plans(const GridSystem& grid, engine::Options options);

}  // namespace tensor
