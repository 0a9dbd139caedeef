// One backward error, three storages: the Yale solver's full rows, the
// engine's lower triangle and the bounds' coordinate view of one symmetric
// complex matrix give the same residual and the same omega, and omega has
// its closed form on a diagonal system.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/backward_error.hpp"
#include "engine/analysis.hpp"
#include "engine/numeric.hpp"
#include "upscaling/error_bounds.hpp"
#include "yale/refinement.hpp"

namespace {

using core::zcomplex;

// A random symmetric complex matrix of order n with about `per_row`
// off-diagonal entries a row, held both ways.
struct Symmetric {
  int n = 0;
  std::vector<int32_t> ia, ja;  // full rows, 1-based
  std::vector<zcomplex> a;
  engine::detail::Lower lower;  // lower triangle by columns, 0-based
  std::vector<zcomplex> lower_values;
  std::vector<engine::Index> coo_row, coo_col;
};

Symmetric random_symmetric(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<std::vector<zcomplex>> dense(n, std::vector<zcomplex>(n, zcomplex{0, 0}));
  for (int i = 0; i < n; ++i) {
    dense[i][i] = {4 + u(gen), u(gen)};
    for (int j = 0; j < i; ++j)
      if (gen() % 3 == 0) dense[i][j] = dense[j][i] = {u(gen), u(gen)};
  }
  Symmetric s;
  s.n = n;
  s.ia.push_back(1);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j)
      if (dense[i][j].re != 0 || dense[i][j].im != 0) s.ja.push_back(j + 1), s.a.push_back(dense[i][j]);
    s.ia.push_back(static_cast<int32_t>(s.ja.size()) + 1);
  }
  s.lower.n = n;
  s.lower.ptr.push_back(0);
  for (int j = 0; j < n; ++j) {
    for (int i = j; i < n; ++i)
      if (dense[i][j].re != 0 || dense[i][j].im != 0) {
        s.lower.row.push_back(i), s.lower_values.push_back(dense[i][j]);
        s.coo_row.push_back(i), s.coo_col.push_back(j);
      }
    s.lower.ptr.push_back(static_cast<engine::Index>(s.lower.row.size()));
  }
  return s;
}

TEST(BackwardError, TheSolverTheEngineAndTheBoundsMeasureAlike) {
  for (unsigned seed : {1u, 2u, 3u}) {
    const Symmetric s = random_symmetric(40, seed);
    std::mt19937 gen(seed + 100);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<zcomplex> x(s.n), b(s.n);
    for (int i = 0; i < s.n; ++i) x[i] = {u(gen), u(gen)}, b[i] = {u(gen), u(gen)};

    std::vector<zcomplex> r_yale(s.n), r_engine(s.n);
    const yale::YaleMatrix A{s.n, yale::CIVec(s.ia.data(), s.n + 1),
                             yale::CIVec(s.ja.data(), static_cast<int32_t>(s.ja.size())),
                             yale::Vec1<const zcomplex>(s.a.data(), static_cast<int32_t>(s.a.size()))};
    const double w_yale = yale::residual_and_backward_error(
        A, yale::Vec1<const zcomplex>(b.data(), s.n), yale::Vec1<const zcomplex>(x.data(), s.n),
        yale::Vec1<zcomplex>(r_yale.data(), s.n));
    const double w_engine = engine::detail::residual(s.lower, s.lower_values.data(), x.data(), b.data(), r_engine.data());
    const upscaling::bounds::CooView coo{s.n, s.coo_row, s.coo_col, s.lower_values, true};
    const upscaling::bounds::ResidualBound rb = upscaling::bounds::residual_bound(coo, b, x);

    // The residuals are not small against their scale here (x is no
    // solution), so the extended sums, taken in different orders, round to
    // doubles within a few units of the last place.
    const double tol = 8 * core::kUnitRoundoff;
    EXPECT_NEAR(w_engine, w_yale, tol * w_yale) << seed;
    EXPECT_NEAR(rb.backward_error, w_yale, tol * w_yale) << seed;
    for (int i = 0; i < s.n; ++i) {
      EXPECT_NEAR(r_engine[i].re, r_yale[i].re, tol * rb.scale[i]) << i;
      EXPECT_NEAR(r_engine[i].im, r_yale[i].im, tol * rb.scale[i]) << i;
      EXPECT_LE(core::magnitude(r_yale[i]), rb.w[i]) << i;  // the bound holds the residual
    }
  }
}

// On a diagonal system d x = b with x = x* (1 + e), omega is |d x* e| /
// (|d| |x| + |b|) row by row, in the |re| + |im| magnitude.
TEST(BackwardError, DiagonalSystemHasItsClosedForm) {
  const zcomplex d{3, -1}, xs{0.5, 0.25}, e{1e-6, 0};
  const zcomplex b = d * xs, x = xs * (zcomplex{1, 0} + e);
  core::ResidualRow row(b);
  row.subtract(d, x);
  EXPECT_EQ(row.entries(), 1);
  EXPECT_DOUBLE_EQ(row.scale(), core::magnitude(d) * core::magnitude(x) + core::magnitude(b));
  const zcomplex exact = zcomplex{-1, 0} * d * xs * e;
  // The residual is formed in extended precision from the rounded x: its
  // error is that of x's rounding, u |x|, times |d|.
  const double slack = 4 * core::kUnitRoundoff * core::magnitude(d) * core::magnitude(x);
  EXPECT_NEAR(row.value().re, exact.re, slack);
  EXPECT_NEAR(row.value().im, exact.im, slack);
  const double omega = core::backward_ratio(row.value(), row.scale());
  EXPECT_NEAR(omega, core::magnitude(exact) / row.scale(), slack / row.scale());
  // Zero residual, and a residual that nothing scales.
  EXPECT_EQ(core::backward_ratio({0, 0}, 0), 0);
  EXPECT_TRUE(std::isinf(core::backward_ratio({1e-300, 0}, 0)));
  EXPECT_TRUE(std::isinf(core::backward_ratio({std::nan(""), 0}, 1)));
}

}  // namespace
