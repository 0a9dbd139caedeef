#include "waves/diffusion_length.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "waves/pencil_roots.hpp"
#include "waves/plane_waves.hpp"

namespace waves {

double diffusion_length(const core::CellCoefficients& cell, double omega) {
  core::CellCoefficients c = cell;
  c.p11 = c.p12 = c.p13 = c.p22 = c.p23 = c.p33 = 0;  // the quasi-static test
  Mat5 e, a;
  wave_matrices(c, omega, e, a);
  Mat3 e3, a3;
  compressional_pencil(e, a, e3, a3);
  // Eliminate the common motion c (row and column 1) from E; A has none.
  Mat2 es, as;
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 2; ++j) {
      es(i, j) = e3(i + 1, j + 1) - core::cdiv(e3(i + 1, 1) * e3(1, j + 1), e3(1, 1));
      as(i, j) = a3(i + 1, j + 1);
    }
  Vec2 mu;
  pencil2_roots(as, es, mu);
  double shortest = std::numeric_limits<double>::infinity();
  for (int n = 1; n <= 2; ++n) {
    const double im_k = std::abs(omega * core::csqrt(mu(n)).im);
    if (im_k > 0) shortest = std::min(shortest, 1.0 / im_k);
  }
  return shortest;
}

double cells_per_diffusion_length(const core::Coefficients& coef, int32_t nx, int32_t ny, double h, double omega) {
  double fewest = std::numeric_limits<double>::infinity();
  for (int32_t k = 1; k <= ny; ++k)
    for (int32_t j = 1; j <= nx; ++j) fewest = std::min(fewest, diffusion_length(coef.at(j, k), omega) / h);
  return fewest;
}

}  // namespace waves
