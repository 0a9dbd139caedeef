// Residuals in extended precision (long double accumulation of the products
// of double entries) and the componentwise backward error of Oettli and
// Prager (magnitudes |re| + |im|), for the iterative refinement of the
// solves.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/numeric.hpp"

namespace engine::detail {

namespace {

// The magnitude of the backward error: |re| + |im|, as the programs' solver
// measures it (within a factor sqrt 2 of the modulus, and no square root in
// the loop over the entries).
double magnitude(const zcomplex& z) { return std::fabs(z.re) + std::fabs(z.im); }

}  // namespace

double residual(const Lower& a, const zcomplex* v, const zcomplex* x, const zcomplex* b, zcomplex* r) {
  const Index n = a.n;
  const auto sz = static_cast<std::size_t>(n);
  std::vector<long double> re(sz), im(sz);
  std::vector<double> size(sz, 0.0), xm(sz);
  for (Index i = 0; i < n; ++i) re[i] = b[i].re, im[i] = b[i].im, xm[i] = magnitude(x[i]);
  for (Index j = 0; j < n; ++j) {
    const long double xjr = x[j].re, xji = x[j].im;
    const double xj = xm[j];
    double size_j = 0;
    for (Index e = a.ptr[j]; e < a.ptr[j + 1]; ++e) {
      const Index i = a.row[e];
      const long double ar = v[e].re, ai = v[e].im;
      const double am = magnitude(v[e]);
      re[i] -= ar * xjr - ai * xji, im[i] -= ar * xji + ai * xjr;
      size[i] += am * xj;
      if (i == j) continue;
      const long double xir = x[i].re, xii = x[i].im;
      re[j] -= ar * xir - ai * xii, im[j] -= ar * xii + ai * xir;
      size_j += am * xm[i];
    }
    size[j] += size_j;
  }
  double omega = 0;
  for (Index i = 0; i < n; ++i) {
    r[i] = {static_cast<double>(re[i]), static_cast<double>(im[i])};
    const double num = magnitude(r[i]), den = size[i] + magnitude(b[i]);
    if (num == 0) continue;
    omega = std::max(omega, den > 0 ? num / den : std::numeric_limits<double>::infinity());
  }
  return omega;
}

}  // namespace engine::detail
