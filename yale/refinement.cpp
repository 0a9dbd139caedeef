#include "yale/refinement.hpp"

#include <algorithm>
#include <cmath>

namespace yale {

namespace {

// |re| + |im|: within a factor sqrt(2) of the modulus and far cheaper.
double magnitude(core::zcomplex v) { return std::abs(v.re) + std::abs(v.im); }

}  // namespace

double residual_and_backward_error(const YaleMatrix& A, Vec1<const core::zcomplex> b, Vec1<const core::zcomplex> z,
                                   Vec1<core::zcomplex> r) {
  using ld = long double;
  double omega = 0;
  for (int32_t i = 1; i <= A.n; ++i) {
    ld re = b(i).re, im = b(i).im;
    double scale = magnitude(b(i));  // (|A| |z| + |b|)_i
    for (int32_t e = A.ia(i); e < A.ia(i + 1); ++e) {
      const core::zcomplex aij = A.a(e), zj = z(A.ja(e));
      re -= ld{aij.re} * zj.re - ld{aij.im} * zj.im;
      im -= ld{aij.re} * zj.im + ld{aij.im} * zj.re;
      scale += magnitude(aij) * magnitude(zj);
    }
    r(i) = {static_cast<double>(re), static_cast<double>(im)};
    if (scale > 0) omega = std::max(omega, magnitude(r(i)) / scale);
  }
  return omega;
}

}  // namespace yale
