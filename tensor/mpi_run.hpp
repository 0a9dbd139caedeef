// tensor_upscale as one MPI job (--solver mumps under mpirun -np P, and
// --plan): every rank reads the sample, assembles the matrix entries of its
// own band of cell rows only (tensor/grid_system.hpp) and hands them to the
// distributed backend; the right-hand sides are summed on rank 0, which
// alone holds the solutions, prints progress and writes the outputs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

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

// The backend's solver; the distributed one is handed this rank's own
// entries (its band's cells) as they are.
std::unique_ptr<engine::SparseSolver> make_backend(engine::Backend backend);

// The cell rows first..last (1-based) whose entries this rank assembles: the
// ny rows cut into one band a rank, of nearly equal height (every row holds
// nx cells, so the bands are balanced by cells), in rank order.
struct CellRows {
  int64_t first = 1, last = 0;
};
CellRows band_of_rank(int64_t ny);

// Collective: v (the same length on every rank) becomes on rank 0 the sum of
// every rank's v; the other ranks' v is left as it was. Nothing outside a job.
void sum_on_leader(std::span<zcomplex> v);
void sum_on_leader(std::span<double> v);

// Collective: v (the same length on every rank) becomes on every rank rank
// 0's v. Nothing outside a job.
void broadcast_from_leader(std::span<zcomplex> v);
void broadcast_from_leader(std::span<double> v);
// Collective: the sum, or the least, of every rank's v, on every rank.
void sum_over_ranks(std::span<double> v);
double least_over_ranks(double v);
// Collective: every rank's v one after the other, in rank order, on every rank.
std::vector<double> gather_on_all(const std::vector<double>& v);
// Collective: the text of the lowest rank whose text is not empty ("" when
// none is), on every rank.
std::string first_text_over_ranks(const std::string& mine);

// Runs `step`, which makes no collective call, on every rank, then tells
// every rank whether any failed. None: returns. Some: every rank throws and
// the job ends in order (no rank is inside a collective step), rank 0 with
// its own exception or, when it passed, with the first failing rank's
// message and status; the other ranks end silently with status 0. Outside a
// job of several ranks it runs `step` alone.
void all_ranks_pass(const std::function<void()>& step);

// Runs `step` on every rank of a job that reads one input in bands (each
// rank its rows of it, top rows on the higher ranks): when any fails, every
// rank throws the refusal a job of one rank would have met first, that of
// the highest failing rank, in its own words (no rank named), with its
// status. Steps are agreed one by one in the order a one-rank run takes
// them. Outside a job of several ranks it runs `step` alone.
void ranks_refuse_as_one(const std::function<void()>& step);

// --plan: the own engine's analysis of the whole grid of nx x ny cells of
// side h on rank 0 (printed there) and MUMPS's on the job's ranks, each
// rank its band; writes nothing.
void print_plans(int64_t nx, int64_t ny, double h, engine::Options options);

}  // namespace tensor
