// The residual of a symmetric system stored by its lower triangle, and its
// componentwise backward error (core/backward_error.hpp), for the iterative
// refinement of the solves.
//
// The columns are cut into two halves of about as many entries. The first
// half's entries in rows of the second half go to rows of their own, added
// to the second half's at the end; so the two halves touch disjoint rows
// and run side by side, and the sums are taken in the same order whether
// one thread does both or two do one each: the result does not depend on
// the thread count.
#include <algorithm>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

#include "core/backward_error.hpp"
#include "engine/numeric.hpp"

namespace engine::detail {

namespace {

// Columns lo .. hi-1; rows from `cut` on go to below[i - cut] when `below`
// is given, to rows[i] otherwise.
void accumulate(const Lower& a, const zcomplex* v, const zcomplex* x, Index lo, Index hi, Index cut,
                core::ResidualRow* rows, core::ResidualRow* below) {
  for (Index j = lo; j < hi; ++j) {
    for (Index e = a.ptr[j]; e < a.ptr[j + 1]; ++e) {
      const Index i = a.row[e];
      (below && i >= cut ? below[i - cut] : rows[i]).subtract(v[e], x[j]);
      if (i != j) rows[j].subtract(v[e], x[i]);  // the mirrored entry of the upper triangle
    }
  }
}

}  // namespace

double residual(const Lower& a, const zcomplex* v, const zcomplex* x, const zcomplex* b, zcomplex* r, int threads) {
  const Index n = a.n;
  const Index cut = static_cast<Index>(std::lower_bound(a.ptr.begin(), a.ptr.end(), a.ptr[n] / 2) - a.ptr.begin());
  const Index half = std::min(cut, n);
  std::vector<core::ResidualRow> rows(static_cast<std::size_t>(n)), below(static_cast<std::size_t>(n - half));
  for (Index i = 0; i < n; ++i) rows[i] = core::ResidualRow(b[i]);
  auto first = [&] { accumulate(a, v, x, 0, half, half, rows.data(), below.data()); };
  bool side_by_side = false;
  if (threads > 1) {
    try {
      std::thread helper(first);
      side_by_side = true;
      accumulate(a, v, x, half, n, half, rows.data(), nullptr);
      helper.join();
    } catch (const std::system_error&) {  // no thread to be had: one does both
    }
  }
  if (!side_by_side) {
    first();
    accumulate(a, v, x, half, n, half, rows.data(), nullptr);
  }
  double omega = 0;
  for (Index i = 0; i < n; ++i) {
    if (i >= half) rows[i].absorb(below[i - half]);
    r[i] = rows[i].value();
    omega = std::max(omega, core::backward_ratio(r[i], rows[i].scale()));
  }
  return omega;
}

}  // namespace engine::detail
