// Cubic roots, 3 x 3 eigenvalues and inversion by bordering, against
// answers known in advance.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "waves/dense.hpp"

namespace {

using core::cplx;
using core::zcomplex;
using waves::Mat3;
using waves::Mat5;
using waves::Vec3;

double rel(zcomplex x, zcomplex y) { return core::cabs(x - y) / core::cabs(y); }

// Each expected root found once among the computed ones.
void expect_same_roots(const zcomplex (&got)[3], const zcomplex (&want)[3], double tol) {
  bool used[3] = {false, false, false};
  for (const zcomplex& w : want) {
    int best = -1;
    for (int i = 0; i < 3; ++i)
      if (!used[i] && (best < 0 || rel(got[i], w) < rel(got[best], w))) best = i;
    ASSERT_GE(best, 0);
    used[best] = true;
    EXPECT_LT(rel(got[best], w), tol) << "root (" << w.re << ", " << w.im << ")";
  }
}

TEST(Cubeq2, RootsOfPolynomialsBuiltFromThem) {
  // Real roots come in the order of the cube-root angles.
  zcomplex x1, x2, x3;
  waves::cubeq2(cplx(1.0), cplx(-6.0), cplx(11.0), cplx(-6.0), x1, x2, x3);
  EXPECT_LT(rel(x1, cplx(3.0)), 1e-12);
  EXPECT_LT(rel(x2, cplx(1.0)), 1e-12);
  EXPECT_LT(rel(x3, cplx(2.0)), 1e-12);

  const zcomplex sets[3][3] = {
      {cplx(1.0, 2.0), cplx(-3.0, 0.5), cplx(0.25, -1.0)},
      {cplx(1e3, 1e2), cplx(-2.0, 7.0), cplx(5.0, 0.0)},
      {cplx(0.0, 1.0), cplx(0.0, -1.0), cplx(4.0, 4.0)},
  };
  const zcomplex a = cplx(2.0, -1.0);  // not monic
  for (const auto& r : sets) {
    zcomplex x[3];
    waves::cubeq2(a, -(a * (r[0] + r[1] + r[2])), a * (r[0] * r[1] + r[0] * r[2] + r[1] * r[2]),
                  -(a * r[0] * r[1] * r[2]), x[0], x[1], x[2]);
    expect_same_roots(x, r, 1e-11);
  }
}

TEST(Cautov, SpectrumOfASimilarityTransformedDiagonal) {
  // V diag(e) V^{-1} with V unit lower triangular, whose inverse is exact.
  const zcomplex e[3] = {cplx(1.0, 1.0), cplx(4.0, -2.0), cplx(-0.5, 0.0)};
  const zcomplex x = cplx(0.3, 0.2), y = cplx(-1.1, 0.4), z = cplx(0.7, -0.9);
  Mat3 v{}, vi{};
  v(1, 1) = v(2, 2) = v(3, 3) = vi(1, 1) = vi(2, 2) = vi(3, 3) = cplx(1.0);
  v(2, 1) = x;
  v(3, 1) = y;
  v(3, 2) = z;
  vi(2, 1) = -x;
  vi(3, 1) = x * z - y;
  vi(3, 2) = -z;
  Mat3 s{};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k) s(i, j) += v(i, k) * e[k - 1] * vi(k, j);
  Vec3 l;
  waves::cautov(s, l);
  expect_same_roots(l.v, e, 1e-12);
}

// A well-conditioned random complex matrix: diagonally dominant.
Mat5 random_matrix(std::mt19937& gen, int n) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Mat5 m;
  for (int j = 1; j <= 5; ++j)
    for (int i = 1; i <= 5; ++i) m(i, j) = cplx(u(gen), u(gen));
  for (int i = 1; i <= n; ++i) m(i, i) += cplx(2.0 * n, 0.5);
  return m;
}

TEST(CInvert, ResidualAndEntriesOutsideTheBlock) {
  std::mt19937 gen(12345);
  for (int n = 1; n <= 5; ++n)
    for (int trial = 0; trial < 5; ++trial) {
      const Mat5 m = random_matrix(gen, n);
      Mat5 inv = m;
      waves::c_invert(n, inv);
      for (int i = 1; i <= 5; ++i)
        for (int j = 1; j <= 5; ++j) {
          if (i <= n && j <= n) {
            zcomplex r{0.0, 0.0};
            for (int k = 1; k <= n; ++k) r += m(i, k) * inv(k, j);
            EXPECT_LT(core::cabs(r - cplx(i == j ? 1.0 : 0.0)), 1e-14) << n << " " << i << " " << j;
          } else {
            EXPECT_EQ(inv(i, j), m(i, j)) << "outside the block: " << n << " " << i << " " << j;
          }
        }
    }
}

}  // namespace
