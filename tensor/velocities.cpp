#include "tensor/velocities.hpp"

#include <cmath>

#include "upscaling/modulus_wave.hpp"

namespace tensor {

namespace {

// A modulus the test does not measure counts as zero.
core::zcomplex measured(core::zcomplex c) { return std::isnan(c.re) ? core::zcomplex{0, 0} : c; }

}  // namespace

Wave wave_of(core::zcomplex modulus, double rho) {
  // + 0.0: an exactly real modulus has 1000/Q = 0, not -0.
  return {upscaling::modulus_velocity(modulus, rho), 1000.0 / upscaling::modulus_q(modulus) + 0.0};
}

PSVWaves christoffel(const Stiffness& c, double theta_degrees) {
  const double t = theta_degrees * (3.14159265358979323846 / 180.0);
  const double nx = std::sin(t), nz = std::cos(t);
  const core::zcomplex c15 = measured(c.c15), c35 = measured(c.c35);
  const core::zcomplex g11 = c.c11 * (nx * nx) + c15 * (2 * nx * nz) + c.c55 * (nz * nz);
  const core::zcomplex g33 = c.c55 * (nx * nx) + c35 * (2 * nx * nz) + c.c33 * (nz * nz);
  const core::zcomplex g13 = c15 * (nx * nx) + (c.c13 + c.c55) * (nx * nz) + c35 * (nz * nz);
  const core::zcomplex d = g11 - g33;
  const core::zcomplex root = core::csqrt(d * d + 4.0 * (g13 * g13));
  const core::zcomplex a = 0.5 * (g11 + g33 + root), b = 0.5 * (g11 + g33 - root);
  return a.re >= b.re ? PSVWaves{a, b} : PSVWaves{b, a};
}

FastestP fastest_p(const Stiffness& c, double rho) {
  auto vp = [&](double theta) { return wave_of(christoffel(c, theta).p, rho).velocity; };
  double best = 0, best_v = vp(0);
  for (int d = 1; d < 180; ++d)
    if (const double v = vp(d); v > best_v) best = d, best_v = v;
  // Golden sections on the bracket of the best scanned degree.
  const double g = 0.5 * (std::sqrt(5.0) - 1);
  double a = best - 1, b = best + 1;
  double x1 = b - g * (b - a), x2 = a + g * (b - a), v1 = vp(x1), v2 = vp(x2);
  while (b - a > 1e-9) {
    if (v1 >= v2) {
      b = x2, x2 = x1, v2 = v1, x1 = b - g * (b - a), v1 = vp(x1);
    } else {
      a = x1, x1 = x2, v1 = v2, x2 = a + g * (b - a), v2 = vp(x2);
    }
  }
  double theta = 0.5 * (a + b);
  if (vp(theta) < best_v) theta = best;  // a flat or scan-edge maximum
  theta = std::fmod(theta + 180.0, 180.0);
  const PSVWaves w = christoffel(c, theta);
  return {theta, wave_of(w.p, rho), wave_of(w.sv, rho)};
}

}  // namespace tensor
