// The error bars of the tensor: the adjoint bound of each modulus, sealed
// and periodic, against an error of known size and the resolution of one
// material (the bounds of a homogeneous sample's closed forms are checked
// with the periodic test).
#include "upscaling/tied_modulus.hpp"
#include "fem/local_unknowns.hpp"
#include "tensor/periodic_accuracy.hpp"
#include "tensor/stiffness_accuracy.hpp"
#include "tests/tensor/support.hpp"
#include "waves/diffusion_length.hpp"

namespace tensor_test {
namespace {

// A two-material sample with a slanted pattern, so that no displacement
// vanishes by symmetry.
tensor::Sample slanted() {
  return with_map(ice_materials(), 5, 4, 0.01, [](int64_t j, int64_t k) { return (j + 2 * k) % 3 == 0 ? 2 : 1; });
}

// Load l of the n-row loads x raised by eps max|b_l| in row `row`: the
// solution of the raised loads has the residual -eps max|b_l| e_row for the
// system of b, so each modulus moves by exactly what its adjoint bound must
// cover (to first order and up to rounding). One row per load, because the
// bound adds the loads' contributions in magnitude.
void raise(std::vector<zcomplex>& x, std::size_t l, std::size_t n, std::size_t row, double eps) {
  double largest = 0;
  for (std::size_t i = 0; i < n; ++i) largest = std::max(largest, core::cabs(x[l * n + i]));
  x[l * n + row] += zcomplex{eps * largest, 0};
}

// One sealed test of the slanted sample factorised, with its exact loads b
// and the loads raised in local unknown local[l] of the interior cell (3, 2)
// (none for 0).
struct KnownError {
  tensor::Sample s = slanted();
  tensor::GridSystem g{s.nx, s.ny, s.h};
  double omega = kTwoPi * 30;
  std::vector<core::CellCoefficients> cells = tensor::cell_coefficients(s, omega);
  std::unique_ptr<engine::SparseSolver> solver = engine::make_solver(engine::Backend::own);
  std::vector<zcomplex> values, rhs, x, raw_off, x_off;

  KnownError(const tensor::TestSetup& t, double eps, const int local[2]) {
    engine::Options o;
    o.threads = 1, o.grid = &g.places;
    solver->analyse(g.pattern, o);
    tensor::assemble(g, t, cells, omega, values, rhs);
    solver->factorise(values);
    const std::size_t n = static_cast<std::size_t>(g.n);
    x = rhs, x_off = rhs;
    for (std::size_t l = 0; l < 2; ++l) {
      if (local[l] == 0) continue;
      const auto row = static_cast<std::size_t>(g.unknown(3, 2, local[l]));
      EXPECT_EQ(t.constraint[row], tensor::kFree);
      raise(x_off, l, n, row, eps);
    }
    solver->solve(x, 2), solver->solve(x_off, 2);
    raw_off = x_off;
    for (int l = 0; l < 2; ++l) {
      tensor::impose(t, l, std::span<zcomplex>(x).subspan(l * n, n));
      tensor::impose(t, l, std::span<zcomplex>(x_off).subspan(l * n, n));
    }
  }
  std::span<const zcomplex> load(const std::vector<zcomplex>& v, int l) const {
    return std::span<const zcomplex>(v).subspan(static_cast<std::size_t>(l * g.n), static_cast<std::size_t>(g.n));
  }
};

// The bound takes |Re y| + |Im y| for |y| (upscaling/error_bounds.cpp), so
// it may exceed a single residual's effect by up to sqrt(2); 1 % more for
// the first order (C55) and the shift of the modulus itself.
void expect_covered(double bound, double error, const char* what) {
  EXPECT_GT(error, 1e-12) << what;  // the known error dominates rounding
  EXPECT_GE(bound, error) << what;
  EXPECT_LE(bound, 1.01 * std::sqrt(2.0) * error) << what;
}

// Each sealed test with its loads raised in one or two free rows.
TEST(ErrorBounds, SealedModuliCoverAKnownError) {
  const tensor::GridSystem g0(5, 4, 0.01);
  const int rows[2] = {fem::s1x(fem::Vertex::upper_right), fem::s1y(fem::Vertex::upper_right)};
  KnownError k(tensor::biaxial_test(g0), 1e-2, rows);
  const tensor::TestSetup t = tensor::biaxial_test(k.g);
  tensor::StiffnessBounds b;
  tensor::bound_biaxial(k.g, t, k.cells, k.omega, {k.values, k.rhs, k.raw_off, k.x_off}, *k.solver, b);
  auto force = [&](const std::vector<zcomplex>& x, int l) { return tensor::plate_forces(k.g, t, k.cells, k.omega, k.load(x, l)); };
  expect_covered(b.c11, rel(force(k.x_off, 0).right, force(k.x, 0).right), "C11");
  expect_covered(b.c13, rel(force(k.x_off, 1).right, force(k.x, 1).right), "C13");
  expect_covered(b.c33, rel(force(k.x_off, 1).top, force(k.x, 1).top), "C33");
  EXPECT_GE(b.condition, 1.0);
  EXPECT_LT(b.condition, 1e12);

  const int row[2] = {fem::s1x(fem::Vertex::upper_right), 0};
  KnownError s(tensor::shear_test(g0), 1e-5, row);
  const tensor::TestSetup st = tensor::shear_test(s.g);
  tensor::bound_shear(s.g, st, {s.values, s.rhs, s.raw_off, s.x_off}, *s.solver, b);
  auto c55 = [&](const std::vector<zcomplex>& x) {
    const tensor::SolidShear on1 = tensor::mean_shear_strains(s.g, s.load(x, 0));
    const tensor::SolidShear on3 = tensor::mean_shear_strains(s.g, s.load(x, 1));
    return upscaling::tied_modulus({on1.solid1, on3.solid1, on1.solid3, on3.solid3});
  };
  expect_covered(b.c55, rel(c55(s.x_off), c55(s.x)), "C55");
}

// The periodic test's three strains, each raised in one free row; each
// diagonal modulus is a functional of one strain's solution.
TEST(ErrorBounds, PeriodicDiagonalModuliCoverAKnownError) {
  const tensor::Sample s = slanted();
  const tensor::PeriodicGrid g(s.nx, s.ny, s.h);
  const double omega = kTwoPi * 30;
  const std::vector<core::CellCoefficients> cells = tensor::cell_coefficients(s, omega);
  const std::unique_ptr<engine::SparseSolver> solver = engine::make_solver(engine::Backend::own);
  engine::Options o;
  o.threads = 1;
  solver->analyse(g.pattern, o);
  tensor::PeriodicSystem sys;
  tensor::assemble_periodic(g, cells, omega, sys);
  solver->factorise(sys.values);
  const std::size_t n = static_cast<std::size_t>(g.n);
  std::vector<zcomplex> x = sys.rhs, x_off = sys.rhs;
  const int rows[3] = {fem::s1x(fem::Vertex::upper_right), fem::s1y(fem::Vertex::upper_right),
                       fem::s3x(fem::Vertex::upper_left)};
  for (std::size_t t = 0; t < 3; ++t) {
    const auto row = static_cast<std::size_t>(g.unknown(3, 2, rows[t]));
    ASSERT_FALSE(g.is_held(static_cast<int64_t>(row)));
    raise(x_off, t, n, row, 1e-4);
  }
  solver->solve(x, 3), solver->solve(x_off, 3);
  const tensor::Tensor3 c = tensor::periodic_tensor(g, sys, x), c_off = tensor::periodic_tensor(g, sys, x_off);
  tensor::StiffnessBounds b;
  tensor::bound_periodic(g, sys, x_off, c_off, *solver, b);
  const double bounds[3] = {b.c11, b.c33, b.c55};
  for (int t = 0; t < 3; ++t) expect_covered(bounds[t], rel(c_off[t][t], c[t][t]), "diagonal");
  EXPECT_GE(b.c13, rel(c_off[0][1], c[0][1]));
  EXPECT_GE(b.c15 * std::max({core::cabs(c[0][0]), core::cabs(c[1][1]), core::cabs(c[2][2])}),
            core::cabs(c_off[0][2] - c[0][2]));
  EXPECT_GT(b.condition, 1.0);
}

// One material: the smallest diffusion length over the cell side, and
// l_p ~ 1 / sqrt(omega) for the diffusive waves at low frequency.
TEST(Resolution, OneMaterialIsItsDiffusionLengthOverTheCellSide) {
  const tensor::Sample s = with_map(ice_materials(), 3, 3, 0.02, [](int64_t, int64_t) { return 1; });
  const std::vector<double> freqs = {1e-2, 4e-2};
  const std::vector<tensor::Stiffness> c = tensor_at(s, freqs);
  for (std::size_t i = 0; i < freqs.size(); ++i) {
    const double omega = kTwoPi * freqs[i];
    const double lp = waves::diffusion_length(tensor::cell_coefficients(s, omega)[0], omega);
    EXPECT_NEAR(c[i].bounds.cells_per_diffusion_length / (lp / s.h), 1.0, 1e-12);
  }
  EXPECT_NEAR(c[0].bounds.cells_per_diffusion_length / c[1].bounds.cells_per_diffusion_length, 2.0, 0.02);
}

}  // namespace
}  // namespace tensor_test
