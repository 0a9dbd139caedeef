// The loads and the bounds' first solves in one block: the solutions, the
// adjoints and the bounds are the bits of the separate solves, on one
// thread and on two, and the adjoints solve the transposed system.
#include <cstring>

#include "tensor/stiffness_accuracy.hpp"
#include "tests/tensor/support.hpp"

namespace tensor_test {
namespace {

bool same(const std::vector<zcomplex>& a, const std::vector<zcomplex>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(zcomplex)) == 0);
}

bool same(const tensor::StiffnessBounds& a, const tensor::StiffnessBounds& b) {
  const double x[6] = {a.condition, a.c11, a.c13, a.c33, a.c55, a.cells_per_diffusion_length};
  const double y[6] = {b.condition, b.c11, b.c13, b.c33, b.c55, b.cells_per_diffusion_length};
  return std::memcmp(x, y, sizeof x) == 0;
}

// One sealed test of a two-material sample, factorised on `threads`.
struct Solved {
  tensor::Sample s = with_map(ice_materials(), 5, 4, 0.01, [](int64_t j, int64_t k) { return (j + 2 * k) % 3 == 0 ? 2 : 1; });
  tensor::GridSystem g{s.nx, s.ny, s.h};
  double omega = kTwoPi * 30;
  std::vector<core::CellCoefficients> cells = tensor::cell_coefficients(s, omega);
  std::unique_ptr<engine::SparseSolver> solver = engine::make_solver(engine::Backend::own);
  tensor::TestSetup t;
  std::vector<zcomplex> values, rhs;

  Solved(bool biaxial, int threads) : t(biaxial ? tensor::biaxial_test(g) : tensor::shear_test(g)) {
    engine::Options o;
    o.threads = threads, o.grid = &g.places;
    solver->analyse(g.pattern, o);
    tensor::assemble(g, t, cells, omega, values, rhs);
    solver->factorise(values);
  }
  // The bounds of the loads' solutions x, raw before the prescribed values.
  tensor::StiffnessBounds bounds(bool biaxial, const std::vector<zcomplex>& raw, const tensor::TestFunctionals* f) {
    std::vector<zcomplex> x = raw;
    const std::size_t n = static_cast<std::size_t>(g.n);
    for (int l = 0; l < 2; ++l) tensor::impose(t, l, std::span<zcomplex>(x).subspan(l * n, n));
    const tensor::SolvedLoads loads{values, rhs, raw, x};
    tensor::StiffnessBounds b;
    if (biaxial) {
      if (f) tensor::bound_biaxial(g, *f, loads, *solver, b);
      else bound_biaxial_alone(g, t, cells, omega, loads, *solver, b);
    } else {
      if (f) tensor::bound_shear(g, *f, loads, *solver, b);
      else bound_shear_alone(g, t, loads, *solver, b);
    }
    return b;
  }
};

// A^T y = l's free part (A symmetric), componentwise: |A y - l|_i within a
// few roundings of (|A||y| + |l|)_i, from an independent sum of the entries.
double adjoint_backward_error(const Solved& k, const std::vector<zcomplex>& y, const std::vector<zcomplex>& l) {
  const std::size_t n = y.size();
  std::vector<std::complex<long double>> r(n);
  std::vector<long double> scale(n);
  for (std::size_t i = 0; i < n; ++i) r[i] = {l[i].re, l[i].im}, scale[i] = core::cabs(l[i]);
  const engine::Pattern& p = k.g.pattern;
  for (std::size_t e = 0; e < k.values.size(); ++e) {
    const std::size_t i = static_cast<std::size_t>(p.row[e]), j = static_cast<std::size_t>(p.col[e]);
    const std::complex<long double> a(k.values[e].re, k.values[e].im);
    r[i] -= a * std::complex<long double>(y[j].re, y[j].im), scale[i] += core::cabs(k.values[e]) * core::cabs(y[j]);
    if (i == j) continue;
    r[j] -= a * std::complex<long double>(y[i].re, y[i].im), scale[j] += core::cabs(k.values[e]) * core::cabs(y[i]);
  }
  long double worst = 0;
  for (std::size_t i = 0; i < n; ++i) worst = std::max(worst, std::abs(r[i]) / std::max(scale[i], 1e-300L));
  return static_cast<double>(worst);
}

TEST(BoundSolves, OneBlockGivesTheBitsOfTheSeparateSolvesOnAnyThreads) {
  for (const bool biaxial : {true, false}) {
    SCOPED_TRACE(biaxial ? "biaxial" : "shear");
    Solved apart(biaxial, 1);
    std::vector<zcomplex> x_apart = apart.rhs;
    apart.solver->solve(x_apart, 2);
    const std::vector<double> omega_apart = apart.solver->backward_errors();
    const tensor::StiffnessBounds b_apart = apart.bounds(biaxial, x_apart, nullptr);
    for (const int threads : {1, 2}) {
      SCOPED_TRACE(threads);
      Solved joint(biaxial, threads);
      std::vector<zcomplex> x;
      tensor::TestFunctionals f = tensor::test_functionals(joint.g, joint.t, joint.cells, joint.omega, biaxial);
      const double worst = tensor::solve_with_bounds(*joint.solver, joint.t, joint.rhs, x, f);
      EXPECT_TRUE(same(x, x_apart));
      EXPECT_EQ(worst, std::max(omega_apart[0], omega_apart[1]));
      EXPECT_TRUE(same(joint.bounds(biaxial, x, &f), b_apart));
      // Refined adjoints: backward errors of a few unit roundoffs, whatever
      // the condition (the engine's refinement stops at the roundoff).
      for (int k = 0; k < 2; ++k) EXPECT_LT(adjoint_backward_error(joint, f.y[k], tensor::free_part(f.l[k], joint.t)), 1e-14);
      ASSERT_EQ(f.start.size(), 2u);
      // The estimator's starts are plain solves of the uniform and the
      // alternating vectors.
      const auto v = upscaling::bounds::estimator_start(joint.g.n);
      for (int k = 0; k < 2; ++k) {
        std::vector<zcomplex> plain = v[static_cast<std::size_t>(k)];
        joint.solver->solve(plain, 1, false);
        EXPECT_TRUE(same(plain, f.start[static_cast<std::size_t>(k)])) << k;
      }
    }
  }
}

}  // namespace
}  // namespace tensor_test
