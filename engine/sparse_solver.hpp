// The contract between the programs and every sparse direct solver backend.
//
// The matrix is complex symmetric (A = A^T, no conjugation): the element
// blocks are symmetric once the rows and the columns of the prescribed
// unknowns are both eliminated at assembly. A backend receives the lower
// triangle (row >= col) as coordinate entries; repeated (row, col) pairs are
// summed, so a program may hand over its element blocks as they come. Under
// MPI each rank hands over the entries of its own cells only; no rank needs
// the whole matrix.
//
// The life of a solver:
//   analyse(pattern)     once per sample: ordering, elimination tree,
//                        supernodes, and the memory the factorisation needs,
//                        known before anything large is allocated
//   factorise(values)    once per frequency, values in the order of the
//                        pattern's entries; stops with OutOfMemory when the
//                        need exceeds what the machine has
//   solve(block)         any number of times: a block of right-hand sides,
//                        overwritten by the solutions, refined in extended
//                        precision until the backward error stops falling
//   statistics()         factor entries, flops, memory, time per phase
//
// Indices are 0-based global unknown numbers, 64-bit throughout.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/complex.hpp"

namespace engine {

using Index = std::int64_t;
using core::zcomplex;

// This rank's share of the lower triangle of an order-n symmetric matrix.
struct Pattern {
  Index n = 0;
  std::vector<Index> row;  // row >= col, 0-based
  std::vector<Index> col;
};

// The lower triangle by columns, each entry once and every diagonal entry
// present: the own engine's input layout. A program that knows its matrix's
// graph (a grid's numbering) can build it directly and hand it over shared,
// so that no coordinate pattern and no map of input entries stands beside
// it; the values then come in the order of `row`.
struct LowerPattern {
  Index n = 0;
  std::vector<Index> ptr;  // n + 1: column j holds rows row[ptr[j]] .. row[ptr[j+1]-1]
  std::vector<Index> row;  // ascending within a column, from the column's own index
  // Position of entry (i, j), i >= j, or -1 where the pattern has none.
  Index position(Index i, Index j) const;
};

// Where the unknowns of a structured grid lie, for geometric nested
// dissection: unknown i sits at the half-cell point (x2[i], y2[i]) of an
// nx x ny cell grid (vertices at even, edge midpoints at odd coordinates).
struct GridPlaces {
  Index nx = 0, ny = 0;
  std::vector<std::int32_t> x2, y2;
};

enum class Ordering { automatic, geometric, metis, minimum_degree };

struct Options {
  Ordering ordering = Ordering::automatic;  // automatic: geometric where the grid is known, else METIS
  const GridPlaces* grid = nullptr;         // enables the geometric ordering
  int threads = 0;                          // 0: every core
  std::int64_t memory_limit = 0;            // bytes; 0: what the machine has available
  int max_refinement_steps = 10;
  std::string out_of_core_dir;              // factors on disk in this folder (both backends)
  // The own backend's write call for its factor file (tests simulate a full
  // disk with it); empty: pwrite. Returns bytes written or -1 with errno.
  std::function<std::int64_t(int fd, const void* data, std::size_t bytes, std::int64_t offset)> out_of_core_write;
  std::function<void(double fraction)> progress;  // called during long factorisations, if set
};

// Counts of one factorisation and where the time went.
struct Statistics {
  Index n = 0;
  Index matrix_entries = 0;        // stored lower-triangle entries of A
  Index factor_entries = 0;        // entries of L, diagonal included
  double flops = 0;                // real floating-point operations of one factorisation
  std::int64_t memory_bytes = 0;   // peak memory the factorisation needs (this rank), in the mode chosen
  std::int64_t in_core_bytes = 0;      // own backend: the peak with the factors in memory
  std::int64_t out_of_core_bytes = 0;  // own backend: the peak with the factors on disk
  std::int64_t disk_bytes = 0;         // own backend: the factor file out of core
  std::int64_t held_bytes = 0;         // own backend: what its arrays hold after the last factorisation
  std::string ordering;            // the ordering chosen
  double analyse_seconds = 0, factorise_seconds = 0, solve_seconds = 0;
  Index perturbed_pivots = 0;      // static pivot perturbations of the last factorisation
  int refinement_steps = 0;        // of the last solve
  double backward_error = 0;       // componentwise, worst column of the last solve
};

// The need exceeds the machine: raised before the allocation, never inside it.
class OutOfMemory : public std::runtime_error {
 public:
  OutOfMemory(std::int64_t needed, std::int64_t available, const std::string& what)
      : std::runtime_error(what), needed_bytes(needed), available_bytes(available) {}
  std::int64_t needed_bytes, available_bytes;
};

// The disk of the out-of-core factors is full (or the quota is spent): the
// run stops; the factor file is already gone.
class DiskFull : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SparseSolver {
 public:
  virtual ~SparseSolver() = default;
  virtual void analyse(const Pattern& pattern, const Options& options) = 0;
  // Memory the factorisation will need, known after analyse (this rank).
  virtual std::int64_t memory_needed() const = 0;
  virtual void factorise(std::span<const zcomplex> values) = 0;
  // The lean route (the own engine on one rank; `takes_lower`): the pattern
  // is shared, not copied, and the values handed to factorise_owned (in the
  // order of the pattern's entries) become the solver's own, read back by
  // matrix_values until the next factorisation. Elsewhere factorise_owned
  // copies and matrix_values is empty.
  virtual bool takes_lower() const { return false; }
  virtual void analyse_lower(std::shared_ptr<const LowerPattern> lower, const Options& options) {
    (void)lower, (void)options;
    throw std::logic_error("sparse engine: this backend takes coordinate entries only, not the own engine's layout");
  }
  virtual void factorise_owned(std::vector<zcomplex>&& values) { factorise(values); }
  virtual std::span<const zcomplex> matrix_values() const { return {}; }
  // As factorise, for a caller that keeps `values` alive and unchanged until
  // the last solve of this factorisation: a backend that reads the matrix
  // again in its solves (the refinement's residuals) may read it there
  // instead of keeping a copy of its own.
  virtual void factorise_kept(std::span<const zcomplex> values) { factorise(values); }
  // b: n x nrhs, column-major, overwritten by the solutions (on rank 0 for
  // a distributed backend; other ranks pass an empty span). refine = false
  // gives the plain solve with the factors (for condition estimates).
  virtual void solve(std::span<zcomplex> b, Index nrhs, bool refine = true) = 0;
  // One block whose first `refined` columns are solved refined and the
  // others plain: vectors that want different care but are known together
  // share the sweeps of the factors where a backend sweeps them once for a
  // block. Each column gets the result of its solve alone; backward_errors
  // then gives the refined columns'.
  virtual void solve_partly_refined(std::span<zcomplex> b, Index nrhs, Index refined) {
    if (nrhs <= 0 || refined >= nrhs || refined <= 0) {
      solve(b, nrhs, refined > 0);
      return;
    }
    const std::size_t n = b.size() / static_cast<std::size_t>(nrhs), head = n * static_cast<std::size_t>(refined);
    solve(b.subspan(head), nrhs - refined, false);
    solve(b.first(head), refined, true);
  }
  virtual const Statistics& statistics() const = 0;
  // Componentwise backward error of each column of the last refined solve.
  virtual std::vector<double> backward_errors() const = 0;
  // A solver of the same analysis, factorising on `threads` threads into
  // factor storage of its own, so that two can work side by side; null
  // where the backend cannot share its analysis (or before analyse).
  virtual std::unique_ptr<SparseSolver> twin(int threads) const {
    (void)threads;
    return nullptr;
  }
};

// Holds the BLAS of every solver in the process to one thread for its
// lifetime (the count before is restored after): for solvers that work
// side by side on threads of their own.
class OneBlasThread {
 public:
  OneBlasThread();
  ~OneBlasThread();
  OneBlasThread(const OneBlasThread&) = delete;
  OneBlasThread& operator=(const OneBlasThread&) = delete;

 private:
  int saved_;
};

enum class Backend { own, mumps };

// The own engine, or distributed MUMPS where the build has it (throws
// std::runtime_error naming the backend when it does not).
std::unique_ptr<SparseSolver> make_solver(Backend backend);

}  // namespace engine
