// The numeric phases of the own backend over the fronts of an analysis.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "core/large_array.hpp"
#include "engine/analysis.hpp"
#include "engine/factor_file.hpp"
#include "engine/front_kernel.hpp"

namespace engine::detail {

// Where the factor blocks go: the factor store (factor_store words), or,
// out of core, the factor file, each front's panel written as soon as it
// is factorised (the panel is formed in a buffer of the thread's).
struct FactorSink {
  zcomplex* store = nullptr;
  const FactorFile* file = nullptr;
};

// The fronts cut for the solves: subtrees swept side by side, and the
// supernodes above them. The cut is the same whatever the thread count,
// so that every count gives the same bits.
struct SolveSplit {
  std::vector<Index> lo, root;     // subtree k: supernodes lo[k] .. root[k], ascending
  std::vector<std::size_t> order;  // the subtrees, the heaviest first
};
SolveSplit solve_split(const Fronts& f);

// LDL^T of the matrix whose summed lower-triangle values (input slots) are
// `values` into `sink`. The subtrees are factorised by
// `threads` threads, one subtree at a time each, on one-threaded kernels; the
// supernodes above them then in order on kernels of `threads` threads.
// Returns the pivots perturbed (modulus below `tiny`) in pivot order.
// The stacks' buffers are kept for the next factorisation.
struct UpdateStacks {
  std::vector<std::unique_ptr<core::LargeArray<zcomplex>>> buffers;
  std::vector<Index> words;
  std::vector<std::vector<zcomplex>> scratch;  // one per thread, for the kernels
  std::vector<std::vector<zcomplex>> panels;   // one per thread, out of core: the front being factorised
};
std::vector<PivotChange> factorise_fronts(const Fronts& f, const zcomplex* values, FactorSink sink, double tiny,
                                          const std::vector<Index>& subtrees, int threads, UpdateStacks& stacks,
                                          const std::function<void(double)>& progress);

// The exact inverse of A from the factor M = A + U Delta U^T of a perturbed
// factorisation, by the Sherman-Morrison-Woodbury formula
//   A^-1 = M^-1 + W (Delta^-1 - U^T W)^-1 U^T M^-1,   W = M^-1 U,
// for a few perturbed pivots (U: their unit vectors in pivot order).
class PivotCorrection {
 public:
  static constexpr Index kMaxPivots = 64;
  // Off when there are none, too many, or the capacitance matrix is singular.
  void prepare(const Fronts& f, const SolveSplit& split, FactorBlocks& blocks, const std::vector<PivotChange>& changes,
               int threads);
  bool active() const { return !pivots_.empty(); }
  // y (pivot order, n x nrhs) = M^-1 b on entry, A^-1 b on return.
  void apply(zcomplex* y, Index n, Index nrhs) const;

 private:
  std::vector<Index> pivots_;
  std::vector<zcomplex> w_;         // n x k
  std::vector<zcomplex> lu_;        // k x k, LU of the capacitance matrix
  std::vector<Index> row_swap_;
};

// y (n x nrhs, column-major, rows in pivot order) overwritten by
// (L D L^T)^-1 y; on `threads` threads where the factor is in memory.
void solve_fronts(const Fronts& f, const SolveSplit& split, FactorBlocks& blocks, zcomplex* y, Index nrhs,
                  int threads = 1);

// b - A x of each column in extended precision into r, and the
// componentwise backward error max_i |b - A x|_i / (|A| |x| + |b|)_i, the
// magnitude of a complex number taken as |re| + |im|. `a` is the summed lower triangle in the original numbering.
// Two threads or more take the two halves of the columns side by side; the
// result is the same for every thread count.
double residual(const Lower& a, const zcomplex* values, const zcomplex* x, const zcomplex* b, zcomplex* r,
                int threads = 1);

// Sets OpenBLAS's thread count for its lifetime, restoring it after.
class BlasThreads {
 public:
  explicit BlasThreads(int threads);
  ~BlasThreads();
  BlasThreads(const BlasThreads&) = delete;
  BlasThreads& operator=(const BlasThreads&) = delete;

 private:
  int saved_;
};

}  // namespace engine::detail
