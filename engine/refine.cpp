// The residual of a symmetric system stored by its lower triangle, and its
// componentwise backward error (core/backward_error.hpp), for the iterative
// refinement of the solves.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/backward_error.hpp"
#include "engine/numeric.hpp"

namespace engine::detail {

double residual(const Lower& a, const zcomplex* v, const zcomplex* x, const zcomplex* b, zcomplex* r) {
  const Index n = a.n;
  std::vector<core::ResidualRow> rows(static_cast<std::size_t>(n));
  for (Index i = 0; i < n; ++i) rows[i] = core::ResidualRow(b[i]);
  for (Index j = 0; j < n; ++j) {
    for (Index e = a.ptr[j]; e < a.ptr[j + 1]; ++e) {
      const Index i = a.row[e];
      rows[i].subtract(v[e], x[j]);
      if (i != j) rows[j].subtract(v[e], x[i]);  // the mirrored entry of the upper triangle
    }
  }
  double omega = 0;
  for (Index i = 0; i < n; ++i) {
    r[i] = rows[i].value();
    omega = std::max(omega, core::backward_ratio(r[i], rows[i].scale()));
  }
  return omega;
}

}  // namespace engine::detail
