// The residual of a symmetric system stored by its lower triangle, and its
// componentwise backward error (core/backward_error.hpp), for the iterative
// refinement of the solves. The residual is formed in doubled double
// precision (core/compensated_residual.hpp: exact products by fused
// multiply-adds, error-free sums), vectorised over its real and imaginary
// parts, and rounded once.
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
#include <vector>

#include "core/backward_error.hpp"
#include "core/compensated_residual.hpp"
#include "core/two_pieces.hpp"
#include "engine/numeric.hpp"

namespace engine::detail {

double residual(const Lower& a, const zcomplex* v, const zcomplex* x, const zcomplex* b, zcomplex* r, int threads) {
  const Index n = a.n;
  const Index cut = static_cast<Index>(std::lower_bound(a.ptr.begin(), a.ptr.end(), a.ptr[n] / 2) - a.ptr.begin());
  const Index half = std::min(cut, n);
  std::vector<core::CompensatedRow> rows(static_cast<std::size_t>(n)), below(static_cast<std::size_t>(n - half));
  for (Index i = 0; i < n; ++i) rows[i] = core::CompensatedRow::start(b[i]);
  const core::LowerColumns columns{a.ptr.data(), a.row.data(), v};
  core::two_pieces(threads > 1, [&] { core::subtract_lower_columns(columns, x, 0, half, half, rows.data(), below.data()); },
                   [&] { core::subtract_lower_columns(columns, x, half, n, half, rows.data(), nullptr); });
  double omega = 0;
  for (Index i = 0; i < n; ++i) {
    if (i >= half) rows[i].absorb(below[i - half]);
    r[i] = rows[i].value();
    omega = std::max(omega, core::backward_ratio(r[i], rows[i].scale));
  }
  return omega;
}

}  // namespace engine::detail
