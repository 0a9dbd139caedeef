// The MUMPS backend's class, for the factory and for the planner that reads
// MUMPS's per-rank estimates after the analysis.
//
// Complex symmetric (SYM = 2), the matrix distributed as each rank's own
// coordinate entries (ICNTL(18) = 3, duplicates summed by MUMPS), the
// right-hand sides and solutions centralised on rank 0. All calls are
// collective over the ranks of MPI_COMM_WORLD; a program that has not
// started MPI gets it started by the first solver (one process).
#pragma once

#include <mpi.h>
#include <zmumps_c.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/sparse_solver.hpp"

namespace engine {

class MumpsSolver final : public SparseSolver {
 public:
  MumpsSolver();
  ~MumpsSolver() override;
  MumpsSolver(const MumpsSolver&) = delete;
  MumpsSolver& operator=(const MumpsSolver&) = delete;

  void analyse(const Pattern& pattern, const Options& options) override;
  std::int64_t memory_needed() const override { return memory_needed_; }
  void factorise(std::span<const zcomplex> values) override;
  // The values handed to MUMPS where they are, without the backend's copy.
  void factorise_kept(std::span<const zcomplex> values) override;
  void solve(std::span<zcomplex> b, Index nrhs, bool refine = true) override;
  const Statistics& statistics() const override { return stats_; }
  std::vector<double> backward_errors() const override { return backward_errors_; }

  int rank() const { return rank_; }
  int ranks() const { return size_; }
  // After analyse: the estimated factorisation memory of every rank (bytes,
  // in core and out of core), on every rank.
  std::vector<std::int64_t> memory_per_rank(bool out_of_core) const;
  // MUMPS's estimate of the entries of the factors and of the flops of one
  // factorisation, after analyse.
  Index estimated_factor_entries() const;
  double estimated_flops() const { return id_.rinfog[0]; }

 private:
  int& icntl(int i) { return id_.icntl[i - 1]; }
  int infog(int i) const { return id_.infog[i - 1]; }
  int info(int i) const { return id_.info[i - 1]; }
  void call(int job, const char* phase);
  void set_controls(const Options& options);
  void set_out_of_core(const std::string& dir);
  void check_memory(const Options& options);
  void check_values(std::span<const zcomplex> values) const;
  void factorise_values(mumps_double_complex* values);
  void record_factorisation();
  void solve_columns(std::span<zcomplex> b, Index nrhs, bool refine);

  ZMUMPS_STRUC_C id_{};
  MPI_Comm comm_ = MPI_COMM_NULL;
  int rank_ = 0, size_ = 1;
  bool analysed_ = false, factorised_ = false, out_of_core_ = false;
  // Set when every rank raises the same exception (a MUMPS error, the
  // memory verdict): the ranks can still end MUMPS together.
  bool failed_together_ = false;
  std::vector<MUMPS_INT> irn_, jcn_;
  std::vector<mumps_double_complex> a_;  // the copy of the values (factorise; empty after factorise_kept)
  Statistics stats_;
  std::vector<double> backward_errors_;
  std::int64_t memory_needed_ = 0;
  int max_refinement_steps_ = 10;
};

}  // namespace engine
