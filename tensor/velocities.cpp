#include "tensor/velocities.hpp"

#include <cmath>

#include "upscaling/modulus_wave.hpp"

namespace tensor {

Wave wave_of(core::zcomplex modulus, double rho) {
  // + 0.0: an exactly real modulus has 1000/Q = 0, not -0.
  return {drivers::modulus_velocity(modulus, rho), 1000.0 / drivers::modulus_q(modulus) + 0.0};
}

PSVWaves christoffel(const Stiffness& c, double theta_degrees) {
  const double t = theta_degrees * (3.14159265358979323846 / 180.0);
  const double nx = std::sin(t), nz = std::cos(t);
  const core::zcomplex g11 = c.c11 * (nx * nx) + c.c55 * (nz * nz);
  const core::zcomplex g33 = c.c55 * (nx * nx) + c.c33 * (nz * nz);
  const core::zcomplex g13 = (c.c13 + c.c55) * (nx * nz);
  const core::zcomplex d = g11 - g33;
  const core::zcomplex root = core::csqrt(d * d + 4.0 * (g13 * g13));
  const core::zcomplex a = 0.5 * (g11 + g33 + root), b = 0.5 * (g11 + g33 - root);
  return a.re >= b.re ? PSVWaves{a, b} : PSVWaves{b, a};
}

}  // namespace tensor
