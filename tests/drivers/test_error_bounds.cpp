// The error bounds against systems whose exact solution is known: integer
// matrices and integer solutions, so that b = A x* holds exactly in double
// and x* is the exact solution of the stored system. An ill-conditioned
// one (2 x 2 blocks of determinant 1 and entries near 2^22, cond ~ 1e13),
// a well-conditioned one (a complex grid operator), and the same operator
// with rows scaled by 2^0 ... 2^44: normwise cond above 1e13, solved to full
// accuracy, which the componentwise bound must not flag. Each bound must lie
// above the true error (honest) and within a factor of it (useful).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "drivers/error_bounds.hpp"
#include "yale/yale.hpp"

using core::zcomplex;
namespace bounds = drivers::bounds;

namespace {

// A matrix in Yale storage with its factors and the callbacks on them.
struct Factored {
  int32_t n = 0;
  std::vector<int32_t> ia{1}, ja;
  std::vector<zcomplex> a;
  std::vector<int32_t> c, ic;
  int32_t nwork = 0;
  std::unique_ptr<yale::Workspace> ws;

  void add(int32_t col, zcomplex v) { ja.push_back(col), a.push_back(v); }
  void end_row() { ia.push_back(static_cast<int32_t>(ja.size()) + 1), ++n; }

  // Orders and factorises; solves A x = b into x.
  std::vector<zcomplex> factor_and_solve(const std::vector<zcomplex>& b) {
    c.resize(n), ic.resize(n);
    nwork = 500 * n + 1000;
    ws = std::make_unique<yale::Workspace>(nwork);
    int32_t flag = 0, esp = 0;
    yale::zodrv(n, ia, ja, a, c, ic, nwork, *ws, 1, flag);
    EXPECT_EQ(flag, 0);
    std::vector<zcomplex> x(n);
    yale::zndrv(n, c, c, ic, ia, ja, a, b, x, nwork, *ws, esp, 1, flag);
    EXPECT_EQ(flag, 0);
    return x;
  }
  void solve(std::span<zcomplex> v, int job) {
    int32_t flag = 0, esp = 0;
    yale::zndrv(n, c, c, ic, ia, ja, a, std::span<const zcomplex>(v), v, nwork, *ws, esp, job, flag);
  }
  bounds::SolveCallbacks callbacks() {
    return {[this](std::span<zcomplex> v) { solve(v, 3); }, [this](std::span<zcomplex> v) { solve(v, 4); }};
  }
  bounds::MatrixView view() const { return bounds::CsrView{n, ia, ja, a, 1}; }
  std::vector<zcomplex> times(const std::vector<zcomplex>& x) const {  // exact for the integer cases
    std::vector<zcomplex> b(n, zcomplex{0, 0});
    for (int32_t i = 0; i < n; ++i)
      for (int32_t e = ia[i] - 1; e < ia[i + 1] - 1; ++e) b[i] += a[e] * x[ja[e] - 1];
    return b;
  }
};

// An nx x nx grid operator, complex, diagonally dominant; row i scaled by
// 2^(shift * (i % 12)).
Factored grid_operator(int nx, int shift) {
  Factored m;
  for (int i = 0; i < nx * nx; ++i) {
    const double s = std::ldexp(1.0, shift * (i % 12));
    const int r = i / nx, q = i % nx;
    for (const int d : {-nx, -1, 0, 1, nx}) {
      const int j = i + d;
      if (j < 0 || j >= nx * nx || (d == -1 && q == 0) || (d == 1 && q == nx - 1)) continue;
      m.add(j + 1, d == 0 ? zcomplex{5 * s, 2 * s} : zcomplex{-s, (r + q) % 3 == 0 ? s : 0});
    }
    m.end_row();
  }
  return m;
}

// Blocks [[M, M - 1], [M + 1, M]]: determinant 1, inverse [[M, 1 - M],
// [-M - 1, M]], cond ~ 4 M^2.
Factored near_singular_blocks(int blocks, double big) {
  Factored m;
  for (int b = 0; b < blocks; ++b) {
    const int i = 2 * b + 1;
    const double mb = big + 2 * b;
    m.add(i, {mb, 0}), m.add(i + 1, {mb - 1, 0}), m.end_row();
    m.add(i, {mb + 1, 0}), m.add(i + 1, {mb, 0}), m.end_row();
  }
  return m;
}

std::vector<zcomplex> integer_solution(int n) {
  std::vector<zcomplex> x(n);
  for (int i = 0; i < n; ++i) x[i] = {static_cast<double>((7 * i) % 11 - 5), static_cast<double>((3 * i) % 5 - 2)};
  return x;
}

double relative_error(const std::vector<zcomplex>& x, const std::vector<zcomplex>& exact) {
  double e = 0, m = 0;
  for (std::size_t i = 0; i < x.size(); ++i) e = std::max(e, core::cabs(x[i] - exact[i])), m = std::max(m, core::cabs(exact[i]));
  return e / m;
}

struct Case {
  const char* name;
  Factored m;
  double cond_at_least, cond_at_most;  // of the componentwise condition number
};

}  // namespace

TEST(ErrorBounds, HonestAndUsefulOnSystemsWithAKnownExactSolution) {
  Case cases[] = {{"well conditioned", grid_operator(12, 0), 1, 10},
                  {"rows scaled by up to 2^44", grid_operator(12, 4), 1, 10},
                  {"near singular", near_singular_blocks(40, 4194304.0), 1e12, 1e15}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<zcomplex> exact = integer_solution(static_cast<int>(c.m.ia.size()) - 1);
    const std::vector<zcomplex> b = c.m.times(exact);
    const std::vector<zcomplex> x = c.m.factor_and_solve(b);
    const bounds::SolveCallbacks s = c.m.callbacks();
    const bounds::ResidualBound r = bounds::residual_bound(c.m.view(), b, x);
    const bounds::SolutionBounds sb = bounds::solution_bounds(r, x, s);
    EXPECT_GE(sb.condition, c.cond_at_least);
    EXPECT_LE(sb.condition, c.cond_at_most);
    const double true_error = relative_error(x, exact);
    EXPECT_GE(sb.forward_error, true_error);
    EXPECT_LE(sb.forward_error, 100 * std::max(true_error, 1e-15));
    // Two functionals, each bounded by one transposed solve: a weighted sum
    // of every unknown, and the plain sum, which the near-singular blocks
    // determine well ((1, 1) A^-1 = (-1, 1) on each block): its relative
    // error is near 1e-10 while cond(A, x) is near 1e14.
    for (const bool plain : {false, true}) {
      std::vector<zcomplex> l(x.size(), zcomplex{1, 0});
      if (!plain)
        for (std::size_t i = 0; i < l.size(); ++i) l[i] = {1.0 + static_cast<double>(i % 3), i % 2 ? 0.5 : -0.25};
      zcomplex fx{0, 0}, fe{0, 0};
      for (std::size_t i = 0; i < l.size(); ++i) fx += l[i] * x[i], fe += l[i] * exact[i];
      const double bound = bounds::functional_bound(bounds::adjoint(l, s), r.w) / core::cabs(fe);
      const double error = core::cabs(fx - fe) / core::cabs(fe);
      EXPECT_GE(bound, error) << plain;
      EXPECT_LE(bound, 100 * std::max(error, 1e-15)) << plain;
      if (c.cond_at_least > 1e3) {
        if (plain) EXPECT_LT(bound, 1e-8);  // not flagged: far below 1e-3
        else EXPECT_GT(bound, 1e-3);
      }
    }
  }
}

// The near-singular case's bound is near its true error, well above 1e-6;
// the estimator finds the norm of |A^-1| on a diagonal inverse exactly.
TEST(ErrorBounds, EstimatorExactOnADiagonalAndCooViewAgreesWithCsr) {
  Factored m;
  for (int i = 1; i <= 6; ++i) m.add(i, {static_cast<double>(i), 1}), m.end_row();
  const std::vector<zcomplex> b(6, zcomplex{1, 0});
  const std::vector<zcomplex> x = m.factor_and_solve(b);
  const std::vector<double> g = {1, 2, 3, 4, 50, 6};
  // || |A^-1| g ||_inf = max_i g_i / |a_ii| = 50 / |5 + i|
  EXPECT_NEAR(bounds::inverse_weighted_norm(g, m.callbacks()), 50 / std::sqrt(26.0), 1e-13);
  // The same matrix as coordinate entries of its lower triangle.
  const std::vector<bounds::Index> rc = {0, 1, 2, 3, 4, 5};
  const bounds::ResidualBound csr = bounds::residual_bound(m.view(), b, x);
  const bounds::ResidualBound coo = bounds::residual_bound(bounds::CooView{6, rc, rc, m.a, true}, b, x);
  EXPECT_EQ(csr.w, coo.w);
  EXPECT_EQ(csr.scale, coo.scale);
}
