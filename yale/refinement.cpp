#include "yale/refinement.hpp"

#include <algorithm>
#include <cmath>

#include "core/backward_error.hpp"

namespace yale {

double residual_and_backward_error(const YaleMatrix& A, Vec1<const core::zcomplex> b, Vec1<const core::zcomplex> z,
                                   Vec1<core::zcomplex> r) {
  double omega = 0;
  for (int32_t i = 1; i <= A.n; ++i) {
    core::ResidualRow row(b(i));
    for (int32_t e = A.ia(i); e < A.ia(i + 1); ++e) row.subtract(A.a(e), z(A.ja(e)));
    r(i) = row.value();
    omega = std::max(omega, core::backward_ratio(r(i), row.scale()));
  }
  return omega;
}

}  // namespace yale
