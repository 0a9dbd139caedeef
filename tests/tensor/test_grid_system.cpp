// The grid system of the tensor's tests in bands (its tests' boundary
// conditions and loads: the closed forms of one material and the layered
// limits of test_periodic.cpp and test_layered.cpp, which any misplaced
// constraint or load moves). A rank of an MPI job holds only its band of
// cell rows (and the row above) and assembles its share of the system from
// the law of those cells alone: the shares of every band, summed where the
// same (row, col) comes from two bands, are the whole grid's system under
// sealed and periodic boundaries (the shear test's nodal forces once, not
// once a band); so are the plate forces, the density and the geometry's
// tallies, and the least cells per diffusion length of the bands is the whole's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "support.hpp"
#include "tensor/geometry_resolution.hpp"
#include "tensor/grid_system.hpp"
#include "tensor/periodic_system.hpp"
#include "tensor/stiffness_accuracy.hpp"

namespace {

using core::zcomplex;
constexpr double kOmega = tensor_test::kTwoPi * 300;
using tensor_test::band_of, tensor_test::kBands, tensor_test::Sum;

std::vector<zcomplex> flat(const tensor::PeriodicSystem& p) {
  std::vector<zcomplex> v;
  for (const auto& row : p.affine) v.insert(v.end(), row.begin(), row.end());
  return v;
}

// Each value sums at most 4 cells' terms (a node's), the energies of the
// affine fields every cell's.
TEST(Bands, TheBandsSharesFromTheirOwnCellsAddUpToTheWholeSystem) {
  const tensor::Sample s = tensor_test::patchy();
  const std::vector<core::CellCoefficients> all = tensor::cell_coefficients(s, kOmega);
  const tensor::GridSystem whole(s.nx, s.ny, s.h);
  for (const auto& test : {tensor::biaxial_test(whole), tensor::shear_test(whole)}) {
    std::vector<zcomplex> values, rhs;
    tensor::assemble(whole, test, all, kOmega, values, rhs);
    Sum expected, got, expected_rhs, got_rhs;
    expected.add(values, &whole.pattern), expected_rhs.add(rhs);
    for (const auto& b : kBands) {
      const std::vector<core::CellCoefficients> mine = tensor::cell_coefficients(band_of(s, b), kOmega);
      ASSERT_EQ(mine.size(), static_cast<std::size_t>(s.nx * (std::min(s.ny, b.second + 1) - b.first + 1)));
      const tensor::GridSystem band(s.nx, s.ny, s.h, b.first, b.second);
      tensor::assemble(band, test, mine, kOmega, values, rhs);
      got.add(values, &band.pattern), got_rhs.add(rhs);
    }
    tensor_test::expect_same_sums(expected, got, 4, "matrix");
    tensor_test::expect_same_sums(expected_rhs, got_rhs, 4, "loads");
  }
  const tensor::PeriodicGrid torus(s.nx, s.ny, s.h);
  tensor::PeriodicSystem p;
  tensor::assemble_periodic(torus, all, kOmega, p);
  Sum expected, got, expected_rhs, got_rhs, expected_affine, got_affine;
  expected.add(p.values, &torus.pattern), expected_rhs.add(p.rhs), expected_affine.add(flat(p));
  for (const auto& b : kBands) {
    const tensor::PeriodicGrid part(s.nx, s.ny, s.h, b.first, b.second);
    tensor::assemble_periodic(part, tensor::cell_coefficients(band_of(s, b), kOmega), kOmega, p);
    got.add(p.values, &part.pattern), got_rhs.add(p.rhs), got_affine.add(flat(p));
  }
  tensor_test::expect_same_sums(expected, got, 4, "torus matrix");
  tensor_test::expect_same_sums(expected_rhs, got_rhs, 4, "torus loads");
  tensor_test::expect_same_sums(expected_affine, got_affine, static_cast<double>(s.nx * s.ny), "affine energies");
}

TEST(Bands, PlateForcesDensityAndGeometryOfTheBandsAreTheWholeSamples) {
  const tensor::Sample s = tensor_test::patchy();
  const tensor::GridSystem whole(s.nx, s.ny, s.h);
  const tensor::TestSetup test = tensor::biaxial_test(whole);
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<zcomplex> u(static_cast<std::size_t>(whole.n));
  for (zcomplex& z : u) z = {d(rng), d(rng)};
  const tensor::PlateForces expected = tensor::plate_forces(whole, test, tensor::cell_coefficients(s, kOmega), kOmega, u);
  zcomplex right{0, 0}, top{0, 0};
  double right_terms = 0, density = 0, least = INFINITY;
  tensor::LawTally tally;
  for (const auto& b : kBands) {
    const tensor::Sample part = band_of(s, b);
    const std::vector<core::CellCoefficients> mine = tensor::cell_coefficients(part, kOmega);
    const tensor::GridSystem band(s.nx, s.ny, s.h, b.first, b.second);
    const tensor::PlateForces f = tensor::plate_forces(band, test, mine, kOmega, u);
    right += f.right, top += f.top;
    density += tensor::density_share(part);
    for (const auto& [law, c] : tensor::law_tally(part)) {
      tensor::LawCounts& to = tally[law];
      to.cells += c.cells, to.faces_x += c.faces_x, to.faces_z += c.faces_z;
    }
    least = std::min(least, tensor::cells_per_diffusion_length(mine, s.h, kOmega));
  }
  // The right plate's force sums one share a row, regrouped by the bands;
  // the top plate's comes from the top row, in one band.
  for (int64_t k = 1; k <= s.ny; ++k) {
    const tensor::GridSystem row(s.nx, s.ny, s.h, k, k);
    right_terms += core::cabs(tensor::plate_forces(row, test, tensor::cell_coefficients(band_of(s, {k, k}), kOmega), kOmega, u).right);
  }
  EXPECT_LE(core::cabs(right - expected.right), 2 * static_cast<double>(s.ny) * DBL_EPSILON * right_terms);
  EXPECT_GT(core::cabs(expected.right), 0);
  EXPECT_EQ(top, expected.top);
  EXPECT_THROW(tensor::mean_density(band_of(s, {2, 3})), std::logic_error);
  const double mean = tensor::mean_density(s);
  EXPECT_LE(std::fabs(density - mean), 2 * static_cast<double>(s.nx * s.ny) * DBL_EPSILON * mean);
  const tensor::LawTally want = tensor::law_tally(s);
  ASSERT_EQ(tally.size(), want.size());
  for (const auto& [law, c] : want)
    EXPECT_TRUE(tally[law].cells == c.cells && tally[law].faces_x == c.faces_x && tally[law].faces_z == c.faces_z);
  EXPECT_EQ(tensor::resolution_of(tally).cells_per_feature, tensor::geometry_resolution(s).cells_per_feature);
  EXPECT_EQ(least, tensor::cells_per_diffusion_length(tensor::cell_coefficients(s, kOmega), s.h, kOmega));
  EXPECT_THROW(tensor::GridSystem(4, 6, 0.01, 0, 3), std::invalid_argument);
  EXPECT_THROW(tensor::PeriodicGrid(4, 6, 0.01, 5, 3), std::invalid_argument);
}

}  // namespace
