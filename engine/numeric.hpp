// The numeric phases of the own backend over the fronts of an analysis.
#pragma once

#include <functional>
#include <vector>

#include "engine/analysis.hpp"

namespace engine::detail {

// LDL^T of the matrix whose summed lower-triangle values (input slots) are
// `values` into `store` (factor_store words). The subtrees are factorised by
// `threads` threads, one subtree at a time each, on one-threaded kernels; the
// supernodes above them then in order on kernels of `threads` threads.
// Returns the number of perturbed pivots (modulus below `tiny`).
Index factorise_fronts(const Fronts& f, const zcomplex* values, zcomplex* store, double tiny,
                       const std::vector<Index>& subtrees, int threads, const std::function<void(double)>& progress);

// y (n x nrhs, column-major, rows in pivot order) overwritten by
// (L D L^T)^-1 y.
void solve_fronts(const Fronts& f, const zcomplex* store, zcomplex* y, Index nrhs);

// b - A x of each column in extended precision into r, and the
// componentwise backward error max_i |b - A x|_i / (|A| |x| + |b|)_i.
// `a` is the summed lower triangle in the original numbering.
double residual(const Lower& a, const zcomplex* values, const zcomplex* x, const zcomplex* b, zcomplex* r);

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
