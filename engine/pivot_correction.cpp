// Low-rank correction of a factorisation whose guard perturbed a few
// pivots: perturbing pivot k by delta during the elimination gives the same
// factor as adding delta to the diagonal entry k of the matrix before it, so
// the perturbed factor is that of A + U Delta U^T and the Woodbury formula
// undoes the perturbation exactly. Refinement is left only rounding to remove.
#include <cmath>

#include "engine/numeric.hpp"

namespace engine::detail {

namespace {

double modulus(zcomplex z) { return std::hypot(z.re, z.im); }

// LU with partial pivoting of a k x k column-major matrix; false if singular.
bool lu_factor(std::vector<zcomplex>& a, Index k, std::vector<Index>& swap) {
  swap.assign(static_cast<std::size_t>(k), 0);
  for (Index j = 0; j < k; ++j) {
    Index p = j;
    for (Index i = j + 1; i < k; ++i)
      if (modulus(a[i + j * k]) > modulus(a[p + j * k])) p = i;
    swap[j] = p;
    if (modulus(a[p + j * k]) == 0) return false;
    for (Index c = 0; c < k; ++c) std::swap(a[j + c * k], a[p + c * k]);
    for (Index i = j + 1; i < k; ++i) {
      const zcomplex l = core::cdiv(a[i + j * k], a[j + j * k]);
      a[i + j * k] = l;
      for (Index c = j + 1; c < k; ++c) a[i + c * k] -= l * a[j + c * k];
    }
  }
  return true;
}

void lu_solve(const std::vector<zcomplex>& a, Index k, const std::vector<Index>& swap, zcomplex* x) {
  for (Index j = 0; j < k; ++j) {
    std::swap(x[j], x[swap[j]]);
    for (Index i = j + 1; i < k; ++i) x[i] -= a[i + j * k] * x[j];
  }
  for (Index j = k - 1; j >= 0; --j) {
    for (Index c = j + 1; c < k; ++c) x[j] -= a[j + c * k] * x[c];
    x[j] = core::cdiv(x[j], a[j + j * k]);
  }
}

}  // namespace

void PivotCorrection::prepare(const Fronts& f, const SolveSplit& split, FactorBlocks& blocks,
                              const std::vector<PivotChange>& changes, int threads) {
  pivots_.clear();
  const Index k = static_cast<Index>(changes.size()), n = f.n;
  // W may take an eighth of the factor's memory at most, or a million words.
  if (k == 0 || k > kMaxPivots || (8 * k * n > f.factor_ptr.back() && k * n > 1000000)) return;
  w_.assign(static_cast<std::size_t>(n * k), zcomplex{0, 0});
  for (Index j = 0; j < k; ++j) w_[changes[j].pivot + j * n] = {1, 0};
  solve_fronts(f, split, blocks, w_.data(), k, threads);
  lu_.assign(static_cast<std::size_t>(k * k), zcomplex{0, 0});
  for (Index j = 0; j < k; ++j)
    for (Index i = 0; i < k; ++i) lu_[i + j * k] = zcomplex{0, 0} - w_[changes[i].pivot + j * n];
  for (Index j = 0; j < k; ++j) lu_[j + j * k] += core::cdiv(zcomplex{1, 0}, changes[j].delta);
  if (!lu_factor(lu_, k, row_swap_)) return;
  for (const PivotChange& c : changes) pivots_.push_back(c.pivot);
}

void PivotCorrection::apply(zcomplex* y, Index n, Index nrhs) const {
  const Index k = static_cast<Index>(pivots_.size());
  std::vector<zcomplex> t(static_cast<std::size_t>(k));
  for (Index r = 0; r < nrhs; ++r) {
    zcomplex* yr = y + r * n;
    for (Index i = 0; i < k; ++i) t[i] = yr[pivots_[i]];
    lu_solve(lu_, k, row_swap_, t.data());
    for (Index j = 0; j < k; ++j)
      for (Index i = 0; i < n; ++i) yr[i] += w_[i + j * n] * t[j];
  }
}

}  // namespace engine::detail
