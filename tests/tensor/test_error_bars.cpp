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

using enum fem::Vertex;

// A two-material sample with a slanted pattern, so that no displacement
// vanishes by symmetry, at 30 Hz.
const tensor::Sample& slanted() {
  static const tensor::Sample s =
      with_map(ice_materials(), 5, 4, 0.01, [](int64_t j, int64_t k) { return (j + 2 * k) % 3 == 0 ? 2 : 1; });
  return s;
}
const double kOmega = kTwoPi * 30;

// Load l of the n-row loads x raised by eps max|b_l| in the row of local
// unknown `local` of the interior cell (3, 2): the solution of the raised
// loads has the residual -eps max|b_l| e_row for the system of b, so each
// modulus moves by exactly what its adjoint bound must cover (to first
// order and up to rounding). One row per load, because the bound adds the
// loads' contributions in magnitude.
template <class Grid>
void raise(const Grid& g, std::vector<zcomplex>& x, std::size_t l, int local, double eps) {
  const std::size_t n = static_cast<std::size_t>(g.n), row = static_cast<std::size_t>(g.unknown(3, 2, local));
  double largest = 0;
  for (std::size_t i = 0; i < n; ++i) largest = std::max(largest, core::cabs(x[l * n + i]));
  x[l * n + row] += zcomplex{eps * largest, 0};
}

// One sealed test of the slanted sample factorised, the solutions of its
// exact loads (x) and of the loads raised in local unknowns `rows` (x_off;
// raw_off before the prescribed values are put in).
struct KnownError {
  tensor::GridSystem g{slanted().nx, slanted().ny, slanted().h};
  tensor::TestSetup t;
  std::vector<core::CellCoefficients> cells = tensor::cell_coefficients(slanted(), kOmega);
  std::unique_ptr<engine::SparseSolver> solver = engine::make_solver(engine::Backend::own);
  std::vector<zcomplex> values, rhs, x, raw_off, x_off;

  KnownError(bool shear, double eps, std::vector<int> rows) : t(shear ? tensor::shear_test(g) : tensor::biaxial_test(g)) {
    engine::Options o;
    o.threads = 1, o.grid = &g.places;
    solver->analyse(g.pattern, o);
    tensor::assemble(g, t, cells, kOmega, values, rhs);
    solver->factorise(values);
    x = x_off = rhs;
    for (std::size_t l = 0; l < rows.size(); ++l) raise(g, x_off, l, rows[l], eps);
    solver->solve(x, 2), solver->solve(x_off, 2);
    raw_off = x_off;
    for (int l = 0; l < 2; ++l) tensor::impose(t, l, load(x, l)), tensor::impose(t, l, load(x_off, l));
  }
  std::span<zcomplex> load(std::vector<zcomplex>& v, int l) const {
    return std::span<zcomplex>(v).subspan(static_cast<std::size_t>(l * g.n), static_cast<std::size_t>(g.n));
  }
  tensor::SolvedLoads solved() const { return {values, rhs, raw_off, x_off}; }
};

// The bound takes |Re y| + |Im y| for |y| (the shared error bounds), so it
// may exceed a single residual's effect by up to sqrt(2); 1 % more for the
// first order (C55) and the shift of the modulus itself.
void expect_covered(double bound, double error, const char* what) {
  EXPECT_GT(error, 1e-12) << what;  // the known error dominates rounding
  EXPECT_GE(bound, error) << what;
  EXPECT_LE(bound, 1.01 * std::sqrt(2.0) * error) << what;
}

// Each sealed test with its loads raised in one or two free rows.
TEST(ErrorBounds, SealedModuliCoverAKnownError) {
  KnownError k(false, 1e-2, {fem::s1x(upper_right), fem::s1y(upper_right)});
  tensor::StiffnessBounds b;
  bound_biaxial_alone(k.g, k.t, k.cells, kOmega, k.solved(), *k.solver, b);
  auto force = [&](std::vector<zcomplex>& x, int l) { return tensor::plate_forces(k.g, k.t, k.cells, kOmega, k.load(x, l)); };
  expect_covered(b.c11, rel(force(k.x_off, 0).right, force(k.x, 0).right), "C11");
  expect_covered(b.c13, rel(force(k.x_off, 1).right, force(k.x, 1).right), "C13");
  expect_covered(b.c33, rel(force(k.x_off, 1).top, force(k.x, 1).top), "C33");
  EXPECT_GE(b.condition, 1.0);
  EXPECT_LT(b.condition, 1e12);

  KnownError s(true, 1e-5, {fem::s1x(upper_right)});
  bound_shear_alone(s.g, s.t, s.solved(), *s.solver, b);
  auto c55 = [&](std::vector<zcomplex>& x) {
    const tensor::SolidShear on1 = tensor::mean_shear_strains(s.g, s.load(x, 0)), on3 = tensor::mean_shear_strains(s.g, s.load(x, 1));
    return upscaling::tied_modulus({on1.solid1, on3.solid1, on1.solid3, on3.solid3});
  };
  expect_covered(b.c55, rel(c55(s.x_off), c55(s.x)), "C55");
}

// The periodic test's three strains, each raised in one free row; each
// diagonal modulus is a functional of one strain's solution.
TEST(ErrorBounds, PeriodicDiagonalModuliCoverAKnownError) {
  const tensor::PeriodicGrid g(slanted().nx, slanted().ny, slanted().h);
  const std::unique_ptr<engine::SparseSolver> solver = engine::make_solver(engine::Backend::own);
  engine::Options o;
  o.threads = 1;
  solver->analyse(g.pattern, o);
  tensor::PeriodicSystem sys;
  tensor::assemble_periodic(g, tensor::cell_coefficients(slanted(), kOmega), kOmega, sys);
  solver->factorise(sys.values);
  std::vector<zcomplex> x = sys.rhs, x_off = sys.rhs;
  const int rows[3] = {fem::s1x(upper_right), fem::s1y(upper_right), fem::s3x(upper_left)};
  for (std::size_t t = 0; t < 3; ++t) raise(g, x_off, t, rows[t], 1e-4);
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
