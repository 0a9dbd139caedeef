// The five velocities and five 1000/Q of a cell against the eigenvalues of
// the same double E and A, in the same (common, fluid, u3 - u1) coordinates,
// computed in quadruple precision: Newton's method on det(A' - lambda E')
// to convergence, to as many distinct roots as the pencil has. Cells from
// the rock-physics model over wide ranges of friction, frequency, viscosity
// and permeability, for both models, and a synthetic cell where every
// coefficient matters.
#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "tests/model/support.hpp"
#include "waves/plane_waves.hpp"

namespace {

using Q = __float128;
using QC = __complex128;  // GCC's complex arithmetic in quadruple precision

QC qc(Q re, Q im) {
  QC z = re;
  __imag__ z = im;
  return z;
}

template <int N>
using QM = QC[N][N];

template <int N>
QC det(const QM<N>& m) {
  if constexpr (N == 2)
    return m[0][0] * m[1][1] - m[0][1] * m[1][0];
  else
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// The roots of det(A - x E), by Newton's method from each starting value.
// True when each iteration converged and the N roots are distinct: then
// they are all the roots of the degree-N polynomial.
template <int N>
bool pencil_roots(const QM<N>& a, const QM<N>& e, QC (&x)[N]) {
  for (QC& r : x) {
    Q last = 1;
    for (int it = 0; it < 100 && !(last <= Q(1e-32)); ++it) {
      QM<N> m;
      for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) m[i][j] = a[i][j] - r * e[i][j];
      QC dp = 0;  // d/dx det: minus the determinants with one column of m taken from e
      for (int j = 0; j < N; ++j) {
        QM<N> mj;
        for (int i = 0; i < N; ++i)
          for (int k = 0; k < N; ++k) mj[i][k] = k == j ? e[i][k] : m[i][k];
        dp = dp - det<N>(mj);
      }
      const QC step = det<N>(m) / dp;
      r = r - step;
      last = cabsq(step) / cabsq(r);
    }
    if (!(last <= Q(1e-26))) return false;
  }
  for (int i = 0; i < N; ++i)
    for (int j = i + 1; j < N; ++j)
      if (cabsq(x[i] - x[j]) <= Q(1e-20) * cabsq(x[i])) return false;
  return true;
}

// T^t X T on the components idx of a 5 x 5 matrix, exactly: T the change
// to (c, ..., d) with the first component c and the last c + d.
template <int N>
void congruence(const waves::Mat5& x, const int (&idx)[N], QM<N>& y) {
  auto t = [](int k, int i) { return Q(k == i || (k == N - 1 && i == 0)); };
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) {
      y[i][j] = 0;
      for (int k = 0; k < N; ++k)
        for (int l = 0; l < N; ++l) y[i][j] += t(k, i) * t(l, j) * qc(x(idx[k], idx[l]).re, x(idx[k], idx[l]).im);
    }
}

// The squared slowness of a wave, slightly moved: Newton's starting value.
QC start(double v, double over_q) {
  const Q re = 1 / Q(v), im = -re * Q(over_q) / 1000;
  return qc(re, im) * qc(re, im) * qc(1 + Q(1e-9), Q(1e-9));
}

double rel(double x, Q y) { return static_cast<double>(fabsq((Q(x) - y) / y)); }

// Each wave against the root Newton finds from it in quadruple precision;
// shear with the fluid eliminated from the (c, w, d) pencil. Given a
// tolerance, the closed route alone too (E^-1 A by bordering, its
// eigenvalues by Cardano), modes 1 and 2 of each kind exchanged by speed.
void check_cell(const core::CellCoefficients& c, double omega, double closed_tolerance = 0) {
  const waves::PlaneWaves r = waves::cell_waves(c, omega).r;
  waves::Mat5 e, a;
  waves::wave_matrices(c, omega, e, a);
  QM<3> at, et;
  QM<2> as, es;
  congruence<3>(a, {1, 3, 4}, at);
  congruence<3>(e, {1, 3, 4}, et);
  congruence<2>(e, {2, 5}, es);
  const int idx[2] = {0, 2};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) as[i][j] = at[idx[i]][idx[j]] - at[idx[i]][1] * at[1][idx[j]] / at[1][1];
  const double v[5] = {r.vp1, r.vp2, r.vp3, r.vs1, r.vs2},
               oq[5] = {r.over_qp1, r.over_qp2, r.over_qp3, r.over_qs1, r.over_qs2};
  QC lp[3], ls[2];
  for (int n = 0; n < 5; ++n) (n < 3 ? lp[n] : ls[n - 3]) = start(v[n], oq[n]);
  ASSERT_TRUE(pencil_roots<3>(at, et, lp) && pencil_roots<2>(as, es, ls)) << "quadruple-precision roots not confirmed";
  waves::Vec3 l;
  waves::Vec2 t;
  waves::direct_slownesses(e, a, l, t);
  auto vel = [](core::zcomplex x) { return 1 / core::csqrt(x).re; };
  const std::pair<double, double> p = std::minmax(vel(l.v[0]), vel(l.v[1])), sh = std::minmax(vel(t.v[0]), vel(t.v[1]));
  const double closed[5] = {p.second, p.first, vel(l.v[2]), sh.second, sh.first};
  for (int n = 0; n < 5; ++n) {
    const QC s = csqrtq(n < 3 ? lp[n] : ls[n - 3]);
    if (closed_tolerance > 0) {
      EXPECT_LT(rel(closed[n], 1 / crealq(s)), closed_tolerance) << "closed route, wave " << n + 1;
    }
    EXPECT_LT(rel(v[n], 1 / crealq(s)), 1e-10) << "wave " << n + 1 << " of vp1 vp2 vp3 vs1 vs2";
    EXPECT_LT(rel(oq[n], 1000 * fabsq(cimagq(s) / crealq(s))), 1e-10) << "wave " << n + 1 << " 1000/Q " << oq[n];
  }
  EXPECT_TRUE(r.vp1 >= r.vp2 && r.vs1 >= r.vs2) << "modes 1 and 2 exchanged by speed";
}

// Cells of material 1 at each water proportion, over friction, frequency,
// viscosity and permeability: among them strong solid friction at 1 Hz, and
// no solid friction with a viscous fluid and low permeability at 1 Hz.
void sweep(core::Deck d, const std::vector<double>& phis) {
  for (double freq : {1.0, 1e5})
    for (double eta : {1e-4, 1e-1})
      for (double b13 : {0.0, 1e10, 1e14})
        for (auto [k1, k3] : {std::pair{1e-15, 1e-15}, {1e-12, 1e-10}, {1e-10, 1e-15}}) {
          d.eta(1) = eta, d.coef_b13(1) = b13;
          d.capa_1_0(1) = k1, d.capa_3_0(1) = k3;  // the ice model's reference permeabilities
          // Shaley sand: permeability 2 rs^2 / (9 phi1), phi1 about 0.6.
          d.rs1(1) = std::sqrt(4.5 * 0.6 * k1), d.rs3(1) = std::sqrt(4.5 * 0.6 * k3);
          const double omega = freq * 6.283185307179586;
          const int nphi = static_cast<int>(phis.size());
          auto g = model_test::material_one(d, nphi, 1, omega, [&](int j, int) { return phis[j - 1]; });
          for (int j = 1; j <= nphi; ++j) {
            SCOPED_TRACE(::testing::Message() << "model " << d.key_model << " freq " << freq << " eta " << eta
                                              << " b13 " << b13 << " k " << k1 << " " << k3 << " phiw " << phis[j - 1]);
            check_cell(g->c.at(j, 1), omega);
            if (::testing::Test::HasFailure()) return;
          }
        }
}

// A coupled, lossy cell in which every coefficient matters (mu13 ~ 1e9 Pa,
// where the model's cells have it near 1 Pa).
TEST(Accuracy, SyntheticCellWhereEveryCoefficientMatters) {
  const core::CellCoefficients c{2e10, 5e9, 3e10, 3e9, 1e9, 5e9, 2e9, 8e9, 1e9,
                                 2000, 100, -50, 3000, 80, 800, 1e7, 3e6, 5e7};
  check_cell(c, 2.0 * M_PI * 100.0, 1e-8);
}

TEST(Accuracy, BothModelsAgreeWithQuadruplePrecision) {
  sweep(model_test::ice_deck(1, 2), {0.1, 0.02, 0.38});  // cell (1,1) must keep lambda1 > 0
  core::Deck shale = model_test::shale_deck(1, 2);
  shale.s3(1) = 0.5;
  sweep(shale, {0.05, 0.15, 0.3});
}

}  // namespace
