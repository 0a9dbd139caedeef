// The waves of the whole 2D tensor: a tensor rotated by phi (the 4th-order
// tensor turned index by index, not through the Christoffel formula) has
// at theta + phi the waves the original has at theta; an isotropic one the
// same waves at every angle; the fastest P direction against a brute-force scan.
#include <gtest/gtest.h>

#include <cmath>

#include "tensor/velocities.hpp"

namespace {

using core::zcomplex;

constexpr double kDeg = 3.14159265358979323846 / 180.0;

// Voigt index of the pair (i, j) of {x, z}: xx -> 0, zz -> 1, xz -> 2.
int voigt(int i, int j) { return i == j ? i : 2; }

// C rotated by phi: C'_ijkl = R_ia R_jb R_kc R_ld C_abcd,
// R = [[cos, sin], [-sin, cos]] turns the direction at theta to theta + phi.
tensor::Stiffness rotated(const tensor::Stiffness& s, double phi_degrees) {
  const zcomplex v[3][3] = {{s.c11, s.c13, s.c15}, {s.c13, s.c33, s.c35}, {s.c15, s.c35, s.c55}};
  const double c = std::cos(phi_degrees * kDeg), n = std::sin(phi_degrees * kDeg);
  const double r[2][2] = {{c, n}, {-n, c}};
  zcomplex out[3][3] = {};
  for (int p = 0; p < 3; ++p)
    for (int q = 0; q < 3; ++q) {
      const int i = p == 2 ? 0 : p, j = p == 2 ? 1 : p, k = q == 2 ? 0 : q, l = q == 2 ? 1 : q;
      zcomplex sum{0, 0};
      for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b)
          for (int e = 0; e < 2; ++e)
            for (int d = 0; d < 2; ++d)
              sum += (r[i][a] * r[j][b] * r[k][e] * r[l][d]) * v[voigt(a, b)][voigt(e, d)];
      out[p][q] = sum;
    }
  tensor::Stiffness t{out[0][0], out[0][1], out[1][0], out[1][1], out[2][2], 0, {}};
  t.c15 = out[0][2], t.c35 = out[1][2], t.c51 = out[2][0], t.c53 = out[2][1];
  return t;
}

// A lossy layered (transversely isotropic) tensor.
tensor::Stiffness layered() {
  tensor::Stiffness s{{3.1e10, 2e8}, {0.4e10, 1e8}, {0.4e10, 1e8}, {2.2e10, 9e8}, {0.8e10, 1e8}, 0, {}};
  s.c15 = s.c35 = s.c51 = s.c53 = {0, 0};
  return s;
}

TEST(Christoffel, RotatedTensorHasTheWavesTurnedWithItAndIsotropyTheSameEverywhere) {
  const tensor::Stiffness s = layered();
  for (const double phi : {30.3, 45.0, 117.0}) {
    const tensor::Stiffness r = rotated(s, phi);
    EXPECT_GT(core::cabs(r.c15), 1e8) << "the rotation couples normal and shear strains";
    for (const double theta : {0.0, 10.0, 45.0, 60.0, 90.0, 150.0}) {
      const tensor::PSVWaves a = tensor::christoffel(s, theta), b = tensor::christoffel(r, theta + phi);
      EXPECT_LT(core::cabs(a.p - b.p), 1e-12 * core::cabs(s.c11)) << phi << " " << theta;
      EXPECT_LT(core::cabs(a.sv - b.sv), 1e-12 * core::cabs(s.c11)) << phi << " " << theta;
    }
  }
  // An isotropic, lossy stiffness (C13 = C11 - 2 C55) has the same two
  // waves in every direction: moduli C11 and C55.
  const zcomplex c11{3e10, 2e8}, c55{1e10, 5e7}, c13 = c11 - 2.0 * c55;
  for (const double theta : {0.0, 30.0, 45.0, 71.0}) {
    const tensor::PSVWaves w = tensor::christoffel({c11, c13, c13, c11, c55, 0, {}}, theta);
    EXPECT_LT(core::cabs(w.p - c11) + core::cabs(w.sv - c55), 1e-6 * core::cabs(c11)) << theta;
  }
}

TEST(Christoffel, FastestPAgainstAScan) {
  const double rho = 2100;
  for (const double phi : {0.0, 30.3, 117.0}) {
    const tensor::Stiffness r = rotated(layered(), phi);
    double best = 0, best_v = 0;
    for (int m = 0; m < 180000; ++m)
      if (const double v = tensor::wave_of(tensor::christoffel(r, m * 1e-3).p, rho).velocity; v > best_v)
        best = m * 1e-3, best_v = v;
    const tensor::FastestP f = tensor::fastest_p(r, rho);
    EXPECT_GE(f.p.velocity, best_v * (1 - 1e-14)) << phi;
    // The maximum is flat: its place is known to about the square root of the roundoff.
    const double gap = std::remainder(f.theta_degrees - best, 180.0);
    EXPECT_LT(std::abs(gap), 2e-3) << phi << ": " << f.theta_degrees << " against " << best;
    EXPECT_GE(f.theta_degrees, 0.0);
    EXPECT_LT(f.theta_degrees, 180.0);
  }
}

}  // namespace
