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
#include <random>
#include <vector>

#include "core/backward_error.hpp"
#include "core/capacities.hpp"
#include "upscaling/error_bounds.hpp"
#include "upscaling/solution_accuracy.hpp"
#include "tests/fixtures/solved_test.hpp"
#include "tests/yale/support.hpp"
#include "run_program.hpp"
#include "yale/several_solves.hpp"

using core::zcomplex;
namespace bounds = upscaling::bounds;

namespace {

// A matrix built row by row and factorised by the solver tests' harness;
// the callbacks solve with its factors in place, with `sweeps` the
// transposed ones several at a time in one sweep of the factors (counted).
struct Factored {
  yale_test::Pattern p{0, {1}, {}};
  std::vector<zcomplex> a;
  std::unique_ptr<yale_test::Solve<zcomplex>> f;

  void add(int32_t col, zcomplex v) { p.ja.push_back(col), a.push_back(v); }
  void end_row() { p.ia.push_back(static_cast<int32_t>(p.ja.size()) + 1), ++p.n; }
  std::vector<zcomplex> factor_and_solve(const std::vector<zcomplex>& b) {  // A x = b
    f = std::make_unique<yale_test::Solve<zcomplex>>(p, a);
    std::vector<zcomplex> x(p.n);
    EXPECT_TRUE(f->order() == 0 && f->factor(1, b, x) == 0);
    return x;
  }
  int solves[2] = {0, 0};  // plain and transposed
  void solve(std::span<zcomplex> v, int job) {
    int32_t flag = 0;
    ++solves[job == 4];
    yale::zndrv(p.n, f->perm, f->perm, f->iperm, p.ia, p.ja, a, std::span<const zcomplex>(v), v, f->nwork, f->ws, f->esp, job, flag);
  }
  bounds::SolveCallbacks callbacks(int* sweeps = nullptr, bool both_ways = false) {
    bounds::SolveCallbacks s{[this](std::span<zcomplex> v) { solve(v, 3); }, [this](std::span<zcomplex> v) { solve(v, 4); }};
    if (!sweeps) return s;
    auto in_one_sweep = [this, sweeps](int job) {
      return [this, sweeps, job](std::span<const std::span<zcomplex>> vs) {
        int32_t flag = 0;
        yale::zndrv_vectors(p.n, f->perm, f->perm, f->nwork, f->ws, job, vs, flag);
        EXPECT_EQ(flag, 0);
        ++*sweeps;
      };
    };
    s.solve_transpose_several = in_one_sweep(4);
    if (both_ways) s.solve_several = in_one_sweep(3);
    return s;
  }
  bounds::MatrixView view() const { return bounds::CsrView{p.n, p.ia, p.ja, a, 1}; }
  std::vector<zcomplex> times(const std::vector<zcomplex>& x) const {  // exact for the integer cases
    std::vector<zcomplex> b(p.n, zcomplex{0, 0});
    for (int32_t i = 0; i < p.n; ++i)
      for (int32_t e = p.ia[i] - 1; e < p.ia[i + 1] - 1; ++e) b[i] += a[e] * x[p.ja[e] - 1];
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

}  // namespace

TEST(ErrorBounds, HonestAndUsefulOnSystemsWithAKnownExactSolution) {
  // The componentwise condition number's range of each.
  struct {
    const char* name;
    Factored m;
    double cond_at_least, cond_at_most;
  } cases[] = {{"well conditioned", grid_operator(12, 0), 1, 10},
               {"rows scaled by up to 2^44", grid_operator(12, 4), 1, 10},
               {"near singular", near_singular_blocks(40, 4194304.0), 1e12, 1e15}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<zcomplex> exact = integer_solution(c.m.p.n);
    const std::vector<zcomplex> b = c.m.times(exact);
    const std::vector<zcomplex> x = c.m.factor_and_solve(b);
    int sweeps = 0;
    const bounds::SolveCallbacks s = c.m.callbacks(), swept = c.m.callbacks(&sweeps);
    const bounds::ResidualBound r = bounds::residual_bound(c.m.view(), b, x);
    const bounds::SolutionBounds sb = bounds::solution_bounds(r, x, s), in_sweeps = bounds::solution_bounds(r, x, swept);
    // The transposed solves of the estimator's fixed vectors in one sweep: the very numbers of one after the other.
    EXPECT_TRUE(in_sweeps.condition == sb.condition && in_sweeps.forward_error == sb.forward_error && sweeps == 1);
    {
      // Two solutions' estimates in lockstep, every step's vectors of both
      // in one sweep: the very numbers of each estimate alone, in at most
      // the sweeps of one (1 + 1 + 2 per further step).
      const std::vector<zcomplex> b2 = c.m.times(std::vector<zcomplex>(exact.rbegin(), exact.rend()));
      const std::vector<zcomplex> x2 = c.m.factor_and_solve(b2);
      const bounds::ResidualBound r2 = bounds::residual_bound(c.m.view(), b2, x2);
      int both = 0;
      const bounds::ResidualBound rs[2] = {r, r2};
      const std::span<const zcomplex> xs[2] = {x, x2};
      const std::vector<bounds::SolutionBounds> lockstep = bounds::solution_bounds(rs, xs, c.m.callbacks(&both, true));
      const bounds::SolutionBounds alone2 = bounds::solution_bounds(r2, x2, s);
      ASSERT_EQ(lockstep.size(), 2u);
      EXPECT_TRUE(lockstep[0].condition == sb.condition && lockstep[0].forward_error == sb.forward_error);
      EXPECT_TRUE(lockstep[1].condition == alone2.condition && lockstep[1].forward_error == alone2.forward_error);
      EXPECT_TRUE(both >= 2 && both <= 6) << both;
    }
    EXPECT_TRUE(sb.condition >= c.cond_at_least && sb.condition <= c.cond_at_most) << sb.condition;
    const double true_error = relative_error(x, exact);
    EXPECT_TRUE(sb.forward_error >= true_error && sb.forward_error <= 100 * std::max(true_error, 1e-15)) << true_error;
    // Two functionals, each bounded by one transposed solve: a weighted sum
    // of every unknown, and the plain sum, which the near-singular blocks
    // determine well ((1, 1) A^-1 = (-1, 1) on each block): its relative
    // error is near 1e-10 while cond(A, x) is near 1e14.
    std::vector<std::vector<zcomplex>> ls(2, std::vector<zcomplex>(x.size(), zcomplex{1, 0}));
    for (std::size_t i = 0; i < x.size(); ++i) ls[0][i] = {1.0 + static_cast<double>(i % 3), i % 2 ? 0.5 : -0.25};
    const std::vector<std::span<const zcomplex>> views(ls.begin(), ls.end());
    // Several functionals' adjoints in one sweep of the factors: the bits of one solve after the other.
    const std::vector<std::vector<zcomplex>> ys = bounds::adjoints(views, swept);
    ASSERT_EQ(ys.size(), 2u);
    EXPECT_TRUE(sweeps == 2 && ys == bounds::adjoints(views, s));
    for (const bool plain : {false, true}) {
      const std::vector<zcomplex>& l = ls[plain];
      EXPECT_EQ(ys[plain], bounds::adjoint(l, s));
      zcomplex fx{0, 0}, fe{0, 0};
      for (std::size_t i = 0; i < l.size(); ++i) fx += l[i] * x[i], fe += l[i] * exact[i];
      const double bound = bounds::functional_bound(ys[plain], r.w) / core::cabs(fe);
      const double error = core::cabs(fx - fe) / core::cabs(fe);
      EXPECT_TRUE(bound >= error && bound <= 100 * std::max(error, 1e-15)) << plain << " " << bound << " " << error;
      if (c.cond_at_least > 1e3) {
        if (plain) EXPECT_LT(bound, 1e-8);  // not flagged: far below 1e-3
        else EXPECT_GT(bound, 1e-3);
      }
    }
  }
}

// || |A^-1| g ||_inf against the explicit inverse (columns A^-1 e_j) on
// random nonsymmetric matrices: a lower bound always (the estimate is the
// norm of B v for some v of norm 1, up to the rounding of the solves:
// relative n u cond, cond below 100 here), near it in practice; and no
// solve is spent on an index that no further step uses (at most 2 + (k - 1)
// transposed and k - 1 plain solves in k steps).
TEST(ErrorBounds, EstimatorAgainstTheExplicitInverseAndItsSolves) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int trial = 0; trial < 6; ++trial) {
    const int n = 8 + trial;
    Factored a;
    for (int i = 0; i < n; ++i, a.end_row())
      for (int j = 0; j < n; ++j) a.add(j + 1, zcomplex{u(gen) + (i == j ? (trial % 2 ? 2.0 : 0.5) : 0), u(gen)});
    std::vector<double> g(n);
    for (double& v : g) v = std::ldexp(1 + u(gen), static_cast<int>(gen() % 9) - 4);
    a.factor_and_solve(std::vector<zcomplex>(n));
    std::vector<double> row_sums(n, 0.0);  // (|A^-1| g)_i
    for (int j = 0; j < n; ++j) {
      std::vector<zcomplex> e(n, zcomplex{0, 0});
      e[j] = {1, 0};
      a.solve(e, 3);
      for (int i = 0; i < n; ++i) row_sums[i] += core::cabs(e[i]) * g[j];
    }
    const double exact = *std::max_element(row_sums.begin(), row_sums.end());
    for (const int steps : {1, 2, 3, 5}) {
      SCOPED_TRACE(::testing::Message() << "trial " << trial << ", steps " << steps);
      a.solves[0] = a.solves[1] = 0;
      const double est = bounds::inverse_weighted_norm(g, a.callbacks(), steps);
      EXPECT_LE(est, exact * (1 + 1e4 * n * core::kUnitRoundoff));
      EXPECT_GE(est, exact / (steps == 1 ? 20 : 3));
      EXPECT_TRUE(a.solves[0] <= steps - 1 && a.solves[1] <= 2 + steps - 1) << a.solves[0] << " " << a.solves[1];
    }
    // Two estimates in lockstep solve their common start vectors once, and
    // not at all when those solves are handed over; each gives the bits of
    // its estimate alone, also with the estimates' work on two threads.
    const std::vector<double> g2(g.rbegin(), g.rend());
    const std::span<const double> gs[2] = {g, g2};
    const double alone[2] = {bounds::inverse_weighted_norm(g, a.callbacks()), bounds::inverse_weighted_norm(g2, a.callbacks())};
    a.solves[0] = a.solves[1] = 0;
    const std::vector<double> both = bounds::inverse_weighted_norms(gs, a.callbacks());
    EXPECT_LE(a.solves[1], 2 + 2 * 2);
    std::vector<std::vector<zcomplex>> starts = bounds::estimator_start(n);
    ASSERT_EQ(starts.size(), 2u);
    for (std::vector<zcomplex>& v : starts) a.solve(v, 4);
    const bounds::StartSolves ahead{starts[0], starts[1]};
    a.solves[0] = a.solves[1] = 0;
    const std::vector<double> given = bounds::inverse_weighted_norms(gs, a.callbacks(), 3, &ahead);
    EXPECT_LE(a.solves[1], 2 * 2);
    bounds::SolveCallbacks side_by_side = a.callbacks();
    side_by_side.two_threads = true;
    const std::vector<double> two = bounds::inverse_weighted_norms(gs, side_by_side, 3, &ahead);
    for (int k = 0; k < 2; ++k) EXPECT_TRUE(both[k] == alone[k] && given[k] == alone[k] && two[k] == alone[k]) << k;
    // One step is the start vectors' alone (later steps may reach the same
    // maximum from any start).
    const double first = bounds::inverse_weighted_norm(g, a.callbacks(), 1);
    EXPECT_EQ(bounds::inverse_weighted_norms(gs, a.callbacks(), 1, &ahead)[0], first);
  }
}

// ---------------------------------------------------------------- the programs' systems

namespace {

// x for b with the factors, then refined: x in long double, r = b - A x in
// quadruple precision.
void refined_solve(fixtures::SolvedTest& sol, std::span<const zcomplex> b, std::span<zcomplex> x) {
  using Quad = __float128;
  sol.solve(b, x);
  std::vector<long double> re(sol.n), im(sol.n);
  for (int32_t i = 0; i < sol.n; ++i) re[i] = x[i].re, im[i] = x[i].im;
  std::vector<zcomplex> r(sol.n);
  for (int step = 0; step < 12; ++step) {
    for (int32_t i = 0; i < sol.n; ++i) {
      Quad rr = b[i].re, ri = b[i].im;
      for (int32_t e = sol.ia[i] - 1; e < sol.ia[i + 1] - 1; ++e) {
        const int32_t j = sol.ja[e] - 1;
        rr -= Quad(sol.a[e].re) * Quad(re[j]) - Quad(sol.a[e].im) * Quad(im[j]);
        ri -= Quad(sol.a[e].re) * Quad(im[j]) + Quad(sol.a[e].im) * Quad(re[j]);
      }
      r[i] = {static_cast<double>(rr), static_cast<double>(ri)};
    }
    sol.solve(r, r);
    for (int32_t i = 0; i < sol.n; ++i) re[i] += r[i].re, im[i] += r[i].im;
  }
  for (int32_t i = 0; i < sol.n; ++i) x[i] = {static_cast<double>(re[i]), static_cast<double>(im[i])};
}

zcomplex dot(const std::vector<zcomplex>& l, std::span<const zcomplex> v) {
  zcomplex s{0, 0};
  for (std::size_t i = 0; i < l.size(); ++i) s += l[i] * v[i];
  return s;
}

}  // namespace

// Both tests on two layers of the fixture's materials (3 x 8 cells, 0.2 m,
// 10 Hz) with ordinary friction and with friction 1e-14 times smaller (the
// fluid nearly free: cond(A, z) beyond 1e12 while the moduli stay
// accurate): every headline bound (M_T, then the two original estimates)
// lies above the true error of its modulus against refined solutions,
// within a factor 100 of it where the error is above the rounding level of
// the system (u cond(A, z)), and below the refusal level. The functionals
// probed from the cell formulas are the strains the programs sum cell by cell.
TEST(ErrorBounds, HeadlineModuliOfTheProgramsSystemsAgainstRefinedSolutions) {
  static core::Coefficients coef;
  for (const core::TestKind kind : {core::TestKind::compressional, core::TestKind::shear})
    for (const double friction : {1.0, 1e-14}) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(kind) << " friction " << friction);
      fixtures::two_layers(coef, 3, 8, fixtures::kTwoMaterials, friction);
      fixtures::SolvedTest sol(kind, coef, 3, 8, 10);
      const upscaling::SolvedTest t = sol.test();
      const upscaling::TiedWorkModuli tied = sol.moduli();
      const bounds::SolveCallbacks s{[&](std::span<zcomplex> v) { sol.solve(v, v, 3); },
                                     [&](std::span<zcomplex> v) { sol.solve(v, v, 4); }};
      const upscaling::RunAccuracy acc =
          upscaling::run_accuracy(t, coef, tied, bounds::CsrView{sol.n, sol.ia, sol.ja, sol.a, 1}, s, 0.0, sol.omega);
      const auto refined = [&](std::span<const zcomplex> b, std::span<zcomplex> x) { refined_solve(sol, b, x); };
      std::vector<zcomplex> zr(sol.n);
      refined(sol.load, zr);
      const upscaling::ResultFunctionals f = upscaling::result_functionals(t, coef);
      const upscaling::SolidStrains eps =
          upscaling::mean_work_strains(kind, upscaling::SolutionView(sol.z.data(), sol.xnod, 3), 3, 8, 0.2 / 8);
      EXPECT_TRUE(support::rel(dot(f.strain1, sol.z), eps.solid1) < 1e-12 && support::rel(dot(f.strain3, sol.z), eps.solid3) < 1e-12);
      const double error[3] = {
          support::rel(tied.tied, upscaling::tied_and_work_moduli(sol.test(zr), refined).tied),
          support::rel(core::crecip(dot(f.boundary, sol.z)), core::crecip(dot(f.boundary, zr))),
          support::rel(core::cdiv(dot(f.stress, sol.z), dot(f.strain1, sol.z)), core::cdiv(dot(f.stress, zr), dot(f.strain1, zr)))};
      ASSERT_EQ(acc.moduli.size(), 3u);
      // A bound cannot be tight below the rounding its system allows: the
      // rounding of a backward-stable solve, u times the condition, is as
      // large as the error may be, whatever the machine's kernels make of it.
      const double rounding_level = std::max(acc.condition, 1.0) * core::kUnitRoundoff;
      for (int i = 0; i < 3; ++i) {
        const double bound = acc.moduli[i].relative;
        EXPECT_TRUE(bound >= error[i] && bound <= 100 * std::max(error[i], rounding_level)) << acc.moduli[i].name << " " << bound << " " << error[i];
        EXPECT_LT(bound, upscaling::kLargestRelativeError);
      }
      EXPECT_TRUE(friction == 1 || acc.condition > 1e12) << acc.condition;
    }
}
