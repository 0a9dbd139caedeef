// The error bars of the tensor: the adjoint bound of each modulus against
// an error of known size and the resolution of one material (the bounds of
// a homogeneous sample's closed forms are checked with the periodic test).
#include "upscaling/tied_modulus.hpp"
#include "fem/local_unknowns.hpp"
#include "tensor/stiffness_accuracy.hpp"
#include "tests/tensor/support.hpp"
#include "waves/diffusion_length.hpp"

namespace tensor_test {
namespace {

constexpr double kTwoPi = 6.283185307179586;

// One test of a two-material sample (a slanted pattern, so that no
// displacement vanishes by symmetry) factorised, with its exact loads b and
// the loads with one free row per load raised by eps max|b| (local unknown
// local[l] of the interior cell (3, 2), none for 0): the solution of the
// latter has the residual -eps max|b| e_i for the system of b, so each
// modulus moves by exactly what its adjoint bound must cover (to first
// order and up to rounding). One row per load, because the bound adds the
// loads' contributions in magnitude.
struct KnownError {
  tensor::Sample s = with_map(ice_materials(), 5, 4, 0.01, [](int64_t j, int64_t k) { return (j + 2 * k) % 3 == 0 ? 2 : 1; });
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
      double largest = 0;
      for (std::size_t i = 0; i < n; ++i) largest = std::max(largest, core::cabs(rhs[l * n + i]));
      x_off[l * n + row] += zcomplex{eps * largest, 0};
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

TEST(ErrorBounds, BiaxialModuliCoverAKnownError) {
  const tensor::GridSystem g0(5, 4, 0.01);
  const int rows[2] = {fem::s1x(fem::Vertex::upper_right), fem::s1y(fem::Vertex::upper_right)};
  KnownError k(tensor::biaxial_test(g0), 1e-2, rows);
  const tensor::TestSetup t = tensor::biaxial_test(k.g);
  tensor::StiffnessBounds b;
  tensor::bound_biaxial(k.g, t, k.cells, k.omega, {k.values, k.rhs, k.raw_off, k.x_off}, *k.solver, b);
  const tensor::PlateForces f1 = tensor::plate_forces(k.g, t, k.cells, k.omega, k.load(k.x, 0));
  const tensor::PlateForces f2 = tensor::plate_forces(k.g, t, k.cells, k.omega, k.load(k.x, 1));
  const tensor::PlateForces o1 = tensor::plate_forces(k.g, t, k.cells, k.omega, k.load(k.x_off, 0));
  const tensor::PlateForces o2 = tensor::plate_forces(k.g, t, k.cells, k.omega, k.load(k.x_off, 1));
  expect_covered(b.c11, rel(o1.right, f1.right), "C11");
  expect_covered(b.c13, rel(o2.right, f2.right), "C13");
  expect_covered(b.c33, rel(o2.top, f2.top), "C33");
  EXPECT_GE(b.condition, 1.0);
  EXPECT_LT(b.condition, 1e12);
}

TEST(ErrorBounds, ShearModulusCoversAKnownError) {
  const tensor::GridSystem g0(5, 4, 0.01);
  const int rows[2] = {fem::s1x(fem::Vertex::upper_right), 0};
  KnownError k(tensor::shear_test(g0), 1e-5, rows);
  const tensor::TestSetup t = tensor::shear_test(k.g);
  tensor::StiffnessBounds b;
  tensor::bound_shear(k.g, t, {k.values, k.rhs, k.raw_off, k.x_off}, *k.solver, b);
  auto c55 = [&](const std::vector<zcomplex>& x) {
    const tensor::SolidShear on1 = tensor::mean_shear_strains(k.g, k.load(x, 0));
    const tensor::SolidShear on3 = tensor::mean_shear_strains(k.g, k.load(x, 1));
    return upscaling::tied_modulus({on1.solid1, on3.solid1, on1.solid3, on3.solid3});
  };
  expect_covered(b.c55, rel(c55(k.x_off), c55(k.x)), "C55");
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
