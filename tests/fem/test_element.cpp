// Element matrices and loads of both tests: the regular matrix against the
// bilinear form by Gauss quadrature, the boundary rows and loads cell by cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "core/complex.hpp"
#include "core/test_kind.hpp"
#include "fem/element.hpp"

namespace {

using core::TestKind;
using core::zcomplex;
using fem::ElementLoad;
using fem::ElementMatrix;

// One cell's eighteen coefficients, with magnitudes chosen so that every
// term of the form shows in the entries: moduli around 1e9 Pa, all distinct,
// and friction large enough that the imaginary parts are of the same order.
struct CellCoefficients {
  double lambda1 = 1.31e9, lambda3 = 2.93e9, mu1 = 0.71e9, mu3 = 1.87e9, mu13 = 3.71e9, b1 = 5.33e9,
         b2 = 2.27e9, m = 7.13e9, d3 = 1.09e9;
  double p11 = 2100, p12 = -35, p13 = 17, p22 = 1010, p23 = -12, p33 = 930;
  double f11 = 3.1e11, f12 = 1.7e11, f22 = 4.3e11;
};

constexpr double kOmega = 2 * M_PI * 53.0;
constexpr double kH = 0.0125;

void element(TestKind kind, int j, int k, int nx, int ny, double omega, CellCoefficients& c, ElementMatrix& ae,
             ElementLoad& be) {
  fem::local_sys(kind, j, k, nx, ny, omega, kH, c.lambda1, c.lambda3, c.mu1, c.mu3, c.mu13, c.b1, c.b2, c.m, c.d3,
                 c.p11, c.p12, c.p13, c.p22, c.p23, c.p33, c.f11, c.f12, c.f22, ae, be);
}

// The fields of one local unknown at a point (s, t) of the cell.
struct Vec { double x = 0, y = 0; };
struct Grad { double xx = 0, xy = 0, yx = 0, yy = 0; };  // xy = d(ux)/dy, yx = d(uy)/dx
struct Fields {
  Vec u1, u3, w;
  Grad g1, g3;
  double divw = 0;
};

// Bilinear basis of the vertices (0,0), (1,0), (1,1), (0,1) of the unit cell.
const int kVs[4] = {0, 1, 1, 0}, kVt[4] = {0, 0, 1, 1};
double hat(int v, double x) { return v ? x : 1 - x; }
double phi(int a, double s, double t) { return hat(kVs[a - 1], s) * hat(kVt[a - 1], t); }
double phi_s(int a, double t) { return (kVs[a - 1] ? 1 : -1) * hat(kVt[a - 1], t); }
double phi_t(int a, double s) { return (kVt[a - 1] ? 1 : -1) * hat(kVs[a - 1], s); }

Fields fields(int local, double s, double t, double h) {
  Fields f;
  if (local >= 9 && local <= 12) {  // fluid flux across the sides x = 0, x = 1, y = 0, y = 1
    const bool x = local <= 10, far = local % 2 == 0;
    (x ? f.w.x : f.w.y) = hat(far, x ? s : t);
    f.divw = (far ? 1 : -1) / h;
    return f;
  }
  const int v = (local > 12 ? local - 4 : local) - 1, a = v % 4 + 1;  // vertex a, solid 1 or 3, x or y
  Vec& u = v < 8 ? f.u1 : f.u3;
  Grad& g = v < 8 ? f.g1 : f.g3;
  const double val = phi(a, s, t), dx = phi_s(a, t) / h, dy = phi_t(a, s) / h;
  if (v / 4 % 2) u.y = val, g.yx = dx, g.yy = dy;
  else u.x = val, g.xx = dx, g.xy = dy;
  return f;
}

double elastic(const Grad& u, const Grad& z, double lambda, double mu) {
  return lambda * (u.xx + u.yy) * (z.xx + z.yy) + 2 * mu * (u.xx * z.xx + u.yy * z.yy) +
         mu * (u.xy + u.yx) * (z.xy + z.yx);
}
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
Vec minus(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }

// B(trial c, test r) by 3 x 3 Gauss-Legendre quadrature (exact for these
// integrands of degree at most 2 in each variable).
zcomplex bilinear_form(int r, int c, const CellCoefficients& k, double omega, double h) {
  const double g[3] = {0.5 - 0.5 * std::sqrt(0.6), 0.5, 0.5 + 0.5 * std::sqrt(0.6)};
  const double wt[3] = {5.0 / 18, 8.0 / 18, 5.0 / 18};
  double re = 0, im = 0;
  for (int p = 0; p < 3; ++p)
    for (int q = 0; q < 3; ++q) {
      const Fields u = fields(c, g[p], g[q], h), z = fields(r, g[p], g[q], h);
      const double du1 = u.g1.xx + u.g1.yy, du3 = u.g3.xx + u.g3.yy;
      const double dz1 = z.g1.xx + z.g1.yy, dz3 = z.g3.xx + z.g3.yy;
      const double stiff = elastic(u.g1, z.g1, k.lambda1, k.mu1) + elastic(u.g3, z.g3, k.lambda3, k.mu3) +
                           elastic(u.g3, z.g1, k.d3, k.mu13 / 2) + elastic(u.g1, z.g3, k.d3, k.mu13 / 2) +
                           k.b1 * (du1 * z.divw + u.divw * dz1) + k.b2 * (du3 * z.divw + u.divw * dz3) +
                           k.m * u.divw * z.divw;
      const Vec du = minus(u.u1, u.u3), dz = minus(z.u1, z.u3);
      const double diss = k.f11 * dot(du, dz) - k.f12 * (dot(du, z.w) + dot(u.w, dz)) + k.f22 * dot(u.w, z.w);
      const double area = wt[p] * wt[q] * h * h;
      re += stiff * area;
      im += omega * diss * area;
    }
  return {re, im};
}

// Entries of the form are of order 1e9 to 1e10 in both parts, the friction's
// imaginary part as large as the stiffness: 1e-4 is a relative 1e-14 or so.
TEST(ElementMatrix, InteriorCellIsTheBilinearForm) {
  for (TestKind kind : {TestKind::compressional, TestKind::shear}) {
    CellCoefficients c;  // the mass coefficients it zeroes are not in the form
    ElementMatrix ae;
    ElementLoad be;
    element(kind, 2, 2, 3, 3, kOmega, c, ae, be);
    double largest_im = 0;
    for (int r = 1; r <= 20; ++r) {
      for (int col = 1; col <= 20; ++col) {
        const zcomplex ref = bilinear_form(r, col, c, kOmega, kH);
        largest_im = std::max(largest_im, std::abs(ref.im));
        EXPECT_NEAR(ae(r, col).re, ref.re, 1e-4) << "ae(" << r << "," << col << ")";
        EXPECT_NEAR(ae(r, col).im, ref.im, 1e-4) << "ae(" << r << "," << col << ")";
        EXPECT_EQ(ae(r, col), ae(col, r));
      }
      EXPECT_EQ(be(r), (zcomplex{0, 0}));
    }
    EXPECT_GT(largest_im, 1e9);  // the friction terms are really tested
  }
}

// Boundary cells: a prescribed row keeps only its diagonal entry of the
// regular matrix, and its column is zeroed below the diagonal.
struct BoundaryCase {
  const char* name;
  TestKind kind;
  int nx, ny, j, k;
  std::set<int> prescribed;
  std::vector<std::pair<int, int>> load;  // (local unknown, value in units of h/2)
};

const TestKind P = TestKind::compressional;
const TestKind S = TestKind::shear;
const std::vector<std::pair<int, int>> kTopLoad = {{7, -1}, {8, -1}, {19, -1}, {20, -1}};

const std::vector<BoundaryCase> kCases = {
    {"compressional bottom-left", P, 3, 3, 1, 1, {1, 4, 5, 6, 9, 11, 13, 16, 17, 18}, {}},
    {"compressional bottom", P, 3, 3, 2, 1, {5, 6, 11, 17, 18}, {}},
    {"compressional right", P, 3, 3, 3, 2, {2, 3, 10, 14, 15}, {}},
    {"compressional top", P, 3, 3, 2, 3, {12}, kTopLoad},
    {"compressional top-left", P, 3, 3, 1, 3, {1, 4, 9, 12, 13, 16}, kTopLoad},
    {"compressional top-right", P, 3, 3, 3, 3, {2, 3, 10, 12, 14, 15}, kTopLoad},
    {"compressional nx=1 middle", P, 1, 3, 1, 2, {1, 2, 3, 4, 9, 10, 13, 14, 15, 16}, {}},
    {"compressional nx=1 top", P, 1, 3, 1, 3, {1, 2, 3, 4, 9, 10, 12, 13, 14, 15, 16}, kTopLoad},
    {"compressional ny=1 middle", P, 3, 1, 2, 1, {5, 6, 11, 12, 17, 18}, kTopLoad},
    {"compressional ny=1 left", P, 3, 1, 1, 1, {1, 4, 5, 6, 9, 11, 12, 13, 16, 17, 18}, kTopLoad},
    {"compressional single cell", P, 1, 1, 1, 1, {1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18},
     kTopLoad},
    {"shear bottom-left", S, 3, 3, 1, 1, {1, 2, 5, 6, 9, 11, 13, 14, 17, 18}, {{8, -1}}},
    {"shear bottom", S, 3, 3, 2, 1, {1, 2, 5, 6, 11, 13, 14, 17, 18}, {}},
    {"shear bottom-right", S, 3, 3, 3, 1, {1, 2, 5, 6, 10, 11, 13, 14, 17, 18}, {{7, +1}}},
    {"shear left", S, 3, 3, 1, 2, {9}, {{5, -1}, {8, -1}}},
    {"shear right", S, 3, 3, 3, 2, {10}, {{6, +1}, {7, +1}}},
    {"shear top", S, 3, 3, 2, 3, {12}, {{3, +1}, {4, +1}}},
    {"shear top-left", S, 3, 3, 1, 3, {9, 12}, {{3, +1}, {4, +1}, {5, -1}, {8, -1}}},
    {"shear top-right", S, 3, 3, 3, 3, {10, 12}, {{3, +1}, {4, +1}, {6, +1}, {7, +1}}},
    {"shear nx=1 middle", S, 1, 3, 1, 2, {9, 10}, {{5, -1}, {8, -1}, {6, +1}, {7, +1}}},
    {"shear ny=1 middle", S, 3, 1, 2, 1, {1, 2, 5, 6, 11, 12, 13, 14, 17, 18}, {{3, +1}, {4, +1}}},
    {"shear single cell", S, 1, 1, 1, 1, {1, 2, 5, 6, 9, 10, 11, 12, 13, 14, 17, 18},
     {{3, +1}, {4, +1}, {7, +1}, {8, -1}}},
};

TEST(ElementBoundary, PrescribedRowsAndLoads) {
  CellCoefficients ci;
  ElementMatrix regular;
  ElementLoad unused;
  element(P, 2, 2, 3, 3, kOmega, ci, regular, unused);

  for (const BoundaryCase& bc : kCases) {
    SCOPED_TRACE(bc.name);
    CellCoefficients c;
    ElementMatrix ae;
    ElementLoad be;
    element(bc.kind, bc.j, bc.k, bc.nx, bc.ny, kOmega, c, ae, be);
    for (int r = 1; r <= 20; ++r)
      for (int col = 1; col <= 20; ++col) {
        const bool zero = bc.prescribed.count(r) ? col != r : col < r && bc.prescribed.count(col);
        EXPECT_EQ(ae(r, col), (zero ? zcomplex{0, 0} : regular(r, col))) << "ae(" << r << "," << col << ")";
      }
    for (int a = 1; a <= 20; ++a) {
      double expected = 0;
      for (auto [entry, units] : bc.load)
        if (entry == a) expected = units * kH / 2;
      EXPECT_EQ(be(a), (zcomplex{expected, 0})) << "be(" << a << ")";
    }
  }
}

}  // namespace
