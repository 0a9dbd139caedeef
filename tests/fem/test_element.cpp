// Element matrices and loads of both tests: the regular matrix against the
// bilinear form by Gauss quadrature; the boundary rows and loads against the
// conditions on the sides of the sample.
#include <gtest/gtest.h>

#include <cmath>

#include "fem/element.hpp"

namespace {

using core::TestKind;
using core::zcomplex;

// Moduli around 1e9 Pa, all distinct, and friction large enough that the
// imaginary parts are of the same order: every term of the form shows.
constexpr core::CellCoefficients kCell{1.31e9, 2.93e9, 0.71e9, 1.87e9, 3.71e9, 5.33e9, 2.27e9, 7.13e9, 1.09e9,
                                       2100,   -35,    17,     1010,   -12,    930,    3.1e11, 1.7e11, 4.3e11};
constexpr double kOmega = 2 * M_PI * 53.0, kH = 0.0125;

// Fields of one local unknown at (s, t) of the unit cell: displacements u1,
// u3, their gradients (xy = d ux / dy), the fluid w and its divergence.
struct Vec { double x = 0, y = 0; };
struct Grad { double xx = 0, xy = 0, yx = 0, yy = 0; };
struct Fields { Vec u1, u3, w; Grad g1, g3; double divw = 0; };

double hat(int v, double x) { return v ? x : 1 - x; }

Fields fields(int local, double s, double t) {
  Fields f;
  if (local >= 9 && local <= 12) {  // fluid flux across the sides x = 0, x = 1, y = 0, y = 1
    const bool x = local <= 10, far = local % 2 == 0;
    (x ? f.w.x : f.w.y) = hat(far, x ? s : t);
    f.divw = (far ? 1 : -1) / kH;
    return f;
  }
  const int v = (local > 12 ? local - 4 : local) - 1, a = v % 4;  // vertex (0,0), (1,0), (1,1), (0,1)
  const int vs = a == 1 || a == 2, vt = a >= 2;
  Vec& u = v < 8 ? f.u1 : f.u3;
  Grad& g = v < 8 ? f.g1 : f.g3;
  const double val = hat(vs, s) * hat(vt, t), dx = (vs ? 1 : -1) * hat(vt, t) / kH, dy = (vt ? 1 : -1) * hat(vs, s) / kH;
  if (v / 4 % 2) u.y = val, g.yx = dx, g.yy = dy;
  else u.x = val, g.xx = dx, g.xy = dy;
  return f;
}

double elastic(const Grad& u, const Grad& z, double lambda, double mu) {
  return lambda * (u.xx + u.yy) * (z.xx + z.yy) + 2 * mu * (u.xx * z.xx + u.yy * z.yy) +
         mu * (u.xy + u.yx) * (z.xy + z.yx);
}
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }

// The form of element.hpp, B(trial c, test r), by 3 x 3 Gauss-Legendre
// quadrature (exact for integrands of degree at most 2 in each variable).
zcomplex bilinear_form(int r, int c, const core::CellCoefficients& k) {
  const double g[3] = {0.5 - 0.5 * std::sqrt(0.6), 0.5, 0.5 + 0.5 * std::sqrt(0.6)}, wt[3] = {5. / 18, 8. / 18, 5. / 18};
  double re = 0, im = 0;
  for (int p = 0; p < 3; ++p)
    for (int q = 0; q < 3; ++q) {
      const Fields u = fields(c, g[p], g[q]), z = fields(r, g[p], g[q]);
      const double du1 = u.g1.xx + u.g1.yy, du3 = u.g3.xx + u.g3.yy, dz1 = z.g1.xx + z.g1.yy, dz3 = z.g3.xx + z.g3.yy;
      const double stiff = elastic(u.g1, z.g1, k.lambda1, k.mu1) + elastic(u.g3, z.g3, k.lambda3, k.mu3) +
                           elastic(u.g3, z.g1, k.d3, k.mu13 / 2) + elastic(u.g1, z.g3, k.d3, k.mu13 / 2) +
                           k.b1 * (du1 * z.divw + u.divw * dz1) + k.b2 * (du3 * z.divw + u.divw * dz3) +
                           k.m * u.divw * z.divw;
      const Vec du{u.u1.x - u.u3.x, u.u1.y - u.u3.y}, dz{z.u1.x - z.u3.x, z.u1.y - z.u3.y};
      const double diss = k.f11 * dot(du, dz) - k.f12 * (dot(du, z.w) + dot(u.w, dz)) + k.f22 * dot(u.w, z.w);
      re += stiff * wt[p] * wt[q] * kH * kH;
      im += kOmega * diss * wt[p] * wt[q] * kH * kH;
    }
  return {re, im};
}

// The interior cell's matrix is the bilinear form (entries of order 1e9 to
// 1e10 in both parts: 1e-4 is a relative 1e-14 or so). Both tests seal
// every side; the compressional test holds the normal solid displacement on
// the left, right and bottom and pushes both solids down along the top; the
// shear test clamps the bottom and pulls solid 1 down the left, up the right
// and along +x on the top. Each cell side gives half its length to each
// end. A prescribed row keeps only its diagonal, its column is zero below
// it, and it carries no load.
TEST(ElementMatrix, TheBilinearFormWithBoundaryRowsAndLoadsThatFollowTheSides) {
  fem::ElementMatrix regular, ae;
  fem::ElementLoad be;
  fem::element_system(TestKind::compressional, {2, 2, 3, 3}, kCell, kOmega, kH, regular, be);
  for (int r = 1; r <= 20; ++r)
    for (int c = 1; c <= 20; ++c) {
      const zcomplex ref = bilinear_form(r, c, kCell);
      ASSERT_TRUE(std::abs(regular(r, c).re - ref.re) < 1e-4 && std::abs(regular(r, c).im - ref.im) < 1e-4) << r << "," << c;
    }
  for (TestKind kind : {TestKind::compressional, TestKind::shear})
    for (auto [nx, ny] : {std::pair{1, 1}, {3, 1}, {1, 3}, {3, 3}})
      for (int j = 1; j <= nx; ++j)
        for (int k = 1; k <= ny; ++k) {
          fem::element_system(kind, {j, k, nx, ny}, kCell, kOmega, kH, ae, be);
          bool fixed[21] = {};
          double load[21] = {};
          const bool shear = kind == TestKind::shear;
          for (int a = 1; a <= 20; ++a) {
            if (a >= 9 && a <= 12) {
              const int e = a - 8;
              fixed[a] = (e == 1 && j == 1) || (e == 2 && j == nx) || (e == 3 && k == 1) || (e == 4 && k == ny);
              continue;
            }
            const int v = (a > 12 ? a - 4 : a) - 1, corner = v % 4, vj = j + (corner == 1 || corner == 2), vk = k + (corner >= 2);
            const bool y = v / 4 % 2, solid1 = a <= 8, left = vj == 1, right = vj == nx + 1, top = vk == ny + 1;
            fixed[a] = shear ? vk == 1 : (!y && (left || right)) || (y && vk == 1);
            if (fixed[a]) continue;
            if (!shear && y && top) load[a] -= kH / 2;
            if (shear && solid1 && !y && top) load[a] += kH / 2;
            if (shear && solid1 && y && left && corner % 3 == 0 && j == 1) load[a] -= kH / 2;
            if (shear && solid1 && y && right && corner % 3 != 0 && j == nx) load[a] += kH / 2;
          }
          for (int r = 1; r <= 20; ++r) {
            for (int c = 1; c <= 20; ++c) {
              const bool zero = fixed[r] ? c != r : c < r && fixed[c];
              ASSERT_EQ(ae(r, c), (zero ? zcomplex{0, 0} : regular(r, c))) << nx << ny << j << k << " " << r << "," << c;
            }
            ASSERT_EQ(be(r), (zcomplex{load[r], 0})) << nx << ny << j << k << " be " << r;
          }
        }
}

}  // namespace
