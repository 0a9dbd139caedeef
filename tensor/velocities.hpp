// Plane waves of the effective 2D medium: the P-SV Christoffel equation in
// the x-z plane with the whole complex stiffness (C11, C13, C15, C33, C35,
// C55) and the mean density. For a propagation direction at angle theta
// from the vertical, n = (sin theta, cos theta):
//
//   G11 = C11 nx^2 + 2 C15 nx nz + C55 nz^2,
//   G33 = C55 nx^2 + 2 C35 nx nz + C33 nz^2,
//   G13 = C15 nx^2 + (C13 + C55) nx nz + C35 nz^2,
//   M = (G11 + G33 +- sqrt((G11 - G33)^2 + 4 G13^2)) / 2,
//
// the P wave the root of larger real part, SV the other. C15 and C35 are
// zero where the test does not measure them (sealed boundaries). As for the
// tied moduli of the upscaling programs, the velocity of a modulus M is
// 1 / Re(1 / sqrt(M / rho)) and 1000/Q = 1000 Im(M) / Re(M). Directions
// theta and theta + 180 degrees are the same wave.
#pragma once

#include "core/complex.hpp"
#include "tensor/stiffness.hpp"

namespace tensor {

struct Wave {
  double velocity = 0;  // m/s
  double q1000 = 0;     // 1000/Q
};

Wave wave_of(core::zcomplex modulus, double rho);

struct PSVWaves {
  core::zcomplex p, sv;  // the two moduli
};
PSVWaves christoffel(const Stiffness& c, double theta_degrees);

// The direction of the fastest P wave, theta in [0, 180) degrees from the
// vertical, found on a 1-degree scan refined by golden sections to 1e-9
// degrees, and the P and SV waves along it.
struct FastestP {
  double theta_degrees = 0;
  Wave p, sv;
};
FastestP fastest_p(const Stiffness& c, double rho);

}  // namespace tensor
