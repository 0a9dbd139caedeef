// The five velocities and five 1000/Q of a cell against the eigenvalues of
// the same double E and A, in the same (common, fluid, u3 - u1) coordinates,
// computed in quadruple precision: Newton's method on det(A' - lambda E')
// to convergence, checked by the product and the pairwise sums of the
// roots. Cells from the rock-physics model over wide ranges of friction,
// frequency, viscosity and permeability, for both models, and the same
// cells with a strong solid-solid shear coupling mu13.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "deck_cells.hpp"
#include "waves/plane_waves.hpp"

namespace {

using Q = __float128;

struct QC {
  Q re, im;
};
QC operator+(QC a, QC b) { return {a.re + b.re, a.im + b.im}; }
QC operator-(QC a, QC b) { return {a.re - b.re, a.im - b.im}; }
QC operator*(QC a, QC b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
QC qdiv(QC a, QC b) {
  const Q d = b.re * b.re + b.im * b.im;
  return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}
Q qabs(QC a) { return sqrtq(a.re * a.re + a.im * a.im); }
QC qsqrt(QC a) {  // principal root
  const Q r = qabs(a);
  if (r == 0) return {0, 0};
  if (a.re >= 0) {
    const Q s = sqrtq((r + a.re) / 2);
    return {s, a.im / (2 * s)};
  }
  const Q t = sqrtq((r - a.re) / 2);
  return {fabsq(a.im) / (2 * t), a.im < 0 ? -t : t};
}
QC q(core::zcomplex z) { return {z.re, z.im}; }

using M3 = QC[3][3];

QC det3(const M3& m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// det of `a` with column j taken from `e`.
QC det3_col(const M3& a, const M3& e, int j) {
  M3 m;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m[r][c] = c == j ? e[r][c] : a[r][c];
  return det3(m);
}

// The compressional pencil of a 5 x 5 matrix in (c, w, d), exactly.
void transform(const waves::Mat5& x, M3& y) {
  y[0][0] = q(x(1, 1)) + q(x(1, 4)) + q(x(4, 1)) + q(x(4, 4));
  y[0][1] = q(x(1, 3)) + q(x(4, 3));
  y[1][0] = q(x(3, 1)) + q(x(3, 4));
  y[0][2] = q(x(1, 4)) + q(x(4, 4));
  y[2][0] = q(x(4, 1)) + q(x(4, 4));
  y[1][1] = q(x(3, 3));
  y[1][2] = q(x(3, 4));
  y[2][1] = q(x(4, 3));
  y[2][2] = q(x(4, 4));
}

struct Wave {
  Q v, over_q;
};
Wave wave_of(QC lambda) {
  const QC s = qsqrt(lambda);
  return {1 / s.re, 1000 * fabsq(s.im / s.re)};
}

struct Reference {
  Wave p[3], s[2];
  bool ok = true;
};

Reference reference(const waves::CellCoefficients& c, double omega, const waves::PlaneWaves& start) {
  waves::Mat5 e, a;
  waves::wave_matrices(c, omega, e, a);
  M3 at, et;
  transform(a, at);
  transform(e, et);
  Reference ref;

  // Compressional: Newton from the double roots, slightly moved.
  const double v[3] = {start.vp1, start.vp2, start.vp3}, oq[3] = {start.over_qp1, start.over_qp2, start.over_qp3};
  QC l[3];
  for (int n = 0; n < 3; ++n) {
    const Q re = 1 / Q(v[n]), im = -re * Q(oq[n]) / 1000;
    QC x = QC{re, im} * QC{re, im} * QC{1 + Q(1e-9), Q(1e-9)};
    for (int it = 0; it < 100; ++it) {
      M3 m;
      for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) m[r][k] = at[r][k] - x * et[r][k];
      const QC p = det3(m);
      QC dp{0, 0};
      for (int j = 0; j < 3; ++j) dp = dp - det3_col(m, et, j);
      const QC step = qdiv(p, dp);
      x = x - step;
      if (qabs(step) <= Q(1e-33) * qabs(x)) break;
    }
    l[n] = x;
  }
  // The three must be the three roots: product and pairwise sums.
  const QC d3 = QC{0, 0} - det3(et), d0 = det3(at);
  QC d1{0, 0};
  for (int j = 0; j < 3; ++j) d1 = d1 - det3_col(at, et, j);
  const QC prod = qdiv(QC{0, 0} - d0, d3), pairs = qdiv(d1, d3);
  const QC p01 = l[0] * l[1], p02 = l[0] * l[2], p12 = l[1] * l[2];
  const Q scale = std::max({qabs(p01), qabs(p02), qabs(p12)});
  if (qabs(l[0] * l[1] * l[2] - prod) > Q(1e-25) * qabs(prod) || qabs(p01 + p02 + p12 - pairs) > Q(1e-25) * scale)
    ref.ok = false;
  for (int n = 0; n < 3; ++n) ref.p[n] = wave_of(l[n]);

  // Shear: the fluid eliminated from the (c, w, d) pencil, then the quadratic.
  const int idx[2] = {0, 2};
  QC as[2][2];
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      as[i][j] = at[idx[i]][idx[j]] - qdiv(at[idx[i]][1] * at[1][idx[j]], at[1][1]);
  const QC es11 = q(e(2, 2)) + q(e(2, 5)) + q(e(5, 2)) + q(e(5, 5)), es12 = q(e(2, 5)) + q(e(5, 5)),
           es21 = q(e(5, 2)) + q(e(5, 5)), es22 = q(e(5, 5));
  const QC c2 = es11 * es22 - es12 * es21;
  const QC c1 = QC{0, 0} - (as[0][0] * es22 + as[1][1] * es11 - as[0][1] * es21 - as[1][0] * es12);
  const QC c0 = as[0][0] * as[1][1] - as[0][1] * as[1][0];
  QC r = qsqrt(c1 * c1 - QC{4, 0} * c2 * c0);
  if (c1.re * r.re + c1.im * r.im < 0) r = QC{0, 0} - r;
  const QC h = QC{Q(-0.5), 0} * (c1 + r);
  QC t[2] = {qdiv(h, c2), qdiv(c0, h)};
  for (QC& x : t)
    for (int it = 0; it < 3; ++it) {  // polish
      const QC m11 = as[0][0] - x * es11, m12 = as[0][1] - x * es12, m21 = as[1][0] - x * es21,
               m22 = as[1][1] - x * es22;
      const QC p = m11 * m22 - m12 * m21;
      const QC dp = QC{0, 0} - (es11 * m22 + m11 * es22 - es12 * m21 - m12 * es21);
      x = x - qdiv(p, dp);
    }
  for (int n = 0; n < 2; ++n) ref.s[n] = wave_of(t[n]);
  return ref;
}

double rel(double x, Q y) { return static_cast<double>(fabsq((Q(x) - y) / y)); }

// Matches each returned wave with a distinct reference wave by velocity and
// compares velocity and 1000/Q.
template <int N>
void compare(const double (&v)[N], const double (&oq)[N], const Wave (&ref)[N], const char* what) {
  bool used[N] = {};
  for (int n = 0; n < N; ++n) {
    int best = -1;
    for (int i = 0; i < N; ++i)
      if (!used[i] && (best < 0 || rel(v[n], ref[i].v) < rel(v[n], ref[best].v))) best = i;
    used[best] = true;
    EXPECT_LT(rel(v[n], ref[best].v), 1e-10) << what << " wave " << n + 1;
    EXPECT_LT(rel(oq[n], ref[best].over_q), 1e-10) << what << " wave " << n + 1 << " 1000/Q " << oq[n];
  }
}

void check_cell(const waves::CellCoefficients& c, double omega) {
  const waves::PlaneWaves r = waves::cell_waves(c, omega).r;
  const Reference ref = reference(c, omega, r);
  ASSERT_TRUE(ref.ok) << "quadruple-precision roots not confirmed";
  compare<3>({r.vp1, r.vp2, r.vp3}, {r.over_qp1, r.over_qp2, r.over_qp3}, ref.p, "compressional");
  compare<2>({r.vs1, r.vs2}, {r.over_qs1, r.over_qs2}, ref.s, "shear");
  EXPECT_GE(r.vp1, r.vp2);
  EXPECT_GE(r.vs1, r.vs2);
}

// The same cell with a strong shear coupling between the solids; d3 keeps
// mu13 + d3 (the coupling of the compressional pencil) as it was plus half
// the new mu13, and the cell is kept only while E stays positive definite.
bool strong_coupling(waves::CellCoefficients& c) {
  const double mu13 = 0.5 * std::min(c.mu1, c.mu3);
  c.d3 -= 0.5 * (mu13 - c.mu13);
  c.mu13 = mu13;
  const double e11 = c.lambda1 + 2 * c.mu1, e44 = c.lambda3 + 2 * c.mu3, e14 = c.mu13 + c.d3;
  const double det = e11 * (c.m * e44 - c.b2 * c.b2) - c.b1 * (c.b1 * e44 - c.b2 * e14) + e14 * (c.b1 * c.b2 - c.m * e14);
  return det > 0 && e11 * c.m > c.b1 * c.b1;
}

void sweep(const core::Deck& base, const std::vector<double>& phis) {
  const double perm[] = {1e-15, 1e-12, 1e-10};
  for (double freq : {1.0, 1e5})
    for (double eta : {1e-4, 1e-1})
      for (double b13 : {0.0, 1e10, 1e14})
        for (double k1 : perm)
          for (double k3 : perm) {
            core::Deck d = base;
            d.eta(1) = eta;
            d.coef_b13(1) = b13;
            if (d.key_model == 0) {
              d.capa_1_0(1) = k1;
              d.capa_3_0(1) = k3;
            } else {  // permeability 2 rs^2 / (9 phi1), phi1 about 0.6
              d.rs1(1) = std::sqrt(4.5 * 0.6 * k1);
              d.rs3(1) = std::sqrt(4.5 * 0.6 * k3);
            }
            const double omega = freq * 6.283185307179586;
            const int nphi = static_cast<int>(phis.size());
            auto g = wavetest::model_grid(d, nphi, 1, omega, [&](int j, int) { return phis[j - 1]; });
            for (int j = 1; j <= nphi; ++j) {
              waves::CellCoefficients c = waves::cell_coefficients(g->coef, j, 1);
              SCOPED_TRACE(::testing::Message() << "model " << d.key_model << " freq " << freq << " eta " << eta
                                                << " b13 " << b13 << " k " << k1 << " " << k3 << " phiw "
                                                << phis[j - 1]);
              check_cell(c, omega);
              if (strong_coupling(c)) check_cell(c, omega);
              if (::testing::Test::HasFailure()) return;
            }
          }
}

TEST(Accuracy, BothModelsAgreeWithQuadruplePrecision) {
  sweep(wavetest::ice_deck(), {0.1, 0.02, 0.2, 0.38});  // cell (1,1) must keep lambda1 > 0
  for (double s3 : {0.1, 0.5}) {
    core::Deck d = wavetest::shale_deck();
    d.s3(1) = s3;
    sweep(d, {0.05, 0.15, 0.3});
  }
}

}  // namespace
