// A rank that holds only its band of a sample (its rows and the row above)
// computes its share of the system as from the whole sample: the cells'
// law of the band alone assembles the same entries, bit for bit, under
// sealed and periodic boundaries; the bands' shares of the plate forces, of
// the density and of the geometry's tallies add up to the whole sample's,
// and the least cells per diffusion length of the bands is the whole's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "support.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/geometry_resolution.hpp"
#include "tensor/grid_system.hpp"
#include "tensor/io.hpp"
#include "tensor/periodic_system.hpp"
#include "tensor/stiffness_accuracy.hpp"

namespace {

using core::zcomplex;

constexpr double kOmega = 6.283185307179586 * 300;
// Bands of 1, 0, 2, 3 and 1 rows of a 7-row grid: uneven, one empty, the top one alone.
const std::pair<int64_t, int64_t> kBands[] = {{1, 1}, {2, 1}, {2, 3}, {4, 6}, {7, 7}};

// Two materials and a water proportion of its own in every cell.
tensor::Sample patchy() { return tensor_test::patchy_map(6, 7, 20261208, 7); }
using tensor_test::band_of;

TEST(BandedLaw, TheBandsOwnLawAssemblesTheBandsEntries) {
  const tensor::Sample s = patchy();
  const std::vector<core::CellCoefficients> all = tensor::cell_coefficients(s, kOmega);
  const tensor::GridSystem whole(s.nx, s.ny, s.h);
  for (const auto& b : kBands) {
    const std::vector<core::CellCoefficients> mine = tensor::cell_coefficients(band_of(s, b), kOmega);
    ASSERT_EQ(mine.size(), static_cast<std::size_t>(s.nx * (std::min(s.ny, b.second + 1) - b.first + 1)));
    const tensor::GridSystem band(s.nx, s.ny, s.h, b.first, b.second);
    for (const auto& test : {tensor::biaxial_test(whole), tensor::shear_test(whole)}) {
      std::vector<zcomplex> v1, r1, v2, r2;
      tensor::assemble(band, test, all, kOmega, v1, r1);
      tensor::assemble(band, test, mine, kOmega, v2, r2);
      ASSERT_EQ(v1, v2);
      ASSERT_EQ(r1, r2);
    }
    const tensor::PeriodicGrid torus(s.nx, s.ny, s.h, b.first, b.second);
    tensor::PeriodicSystem p1, p2;
    tensor::assemble_periodic(torus, all, kOmega, p1);
    tensor::assemble_periodic(torus, mine, kOmega, p2);
    ASSERT_EQ(p1.values, p2.values);
    ASSERT_EQ(p1.rhs, p2.rhs);
    ASSERT_EQ(p1.affine, p2.affine);
  }
}

double size_of(zcomplex z) { return std::hypot(z.re, z.im); }

TEST(BandedLaw, PlateForcesOfTheBandsAddUpToTheWholeGrids) {
  const tensor::Sample s = patchy();
  const tensor::GridSystem whole(s.nx, s.ny, s.h);
  const tensor::TestSetup test = tensor::biaxial_test(whole);
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<zcomplex> u(static_cast<std::size_t>(whole.n));
  for (zcomplex& z : u) z = {d(rng), d(rng)};
  const tensor::PlateForces expected = tensor::plate_forces(whole, test, tensor::cell_coefficients(s, kOmega), kOmega, u);
  zcomplex right{0, 0}, top{0, 0};
  for (const auto& b : kBands) {
    const tensor::GridSystem band(s.nx, s.ny, s.h, b.first, b.second);
    const tensor::PlateForces f =
        tensor::plate_forces(band, test, tensor::cell_coefficients(band_of(s, b), kOmega), kOmega, u);
    right += f.right, top += f.top;
  }
  // The right plate's force sums one share a row: the bands regroup that
  // sum of ny terms. The top plate's comes from the top row, in one band.
  double rows = 0;
  for (int64_t k = 1; k <= s.ny; ++k) {
    const tensor::GridSystem row(s.nx, s.ny, s.h, k, k);
    rows += size_of(tensor::plate_forces(row, test, tensor::cell_coefficients(band_of(s, {k, k}), kOmega), kOmega, u).right);
  }
  EXPECT_LE(size_of(right - expected.right), 2 * static_cast<double>(s.ny) * DBL_EPSILON * rows);
  EXPECT_GT(size_of(expected.right), 0);
  EXPECT_EQ(top, expected.top);
}

TEST(BandedLaw, DensityGeometryAndDiffusionOfTheBandsAreTheWholeSamples) {
  const tensor::Sample s = patchy();
  EXPECT_THROW(tensor::mean_density(band_of(s, {2, 3})), std::logic_error);
  tensor::LawTally tally;
  double density = 0, least = INFINITY;
  for (const auto& b : kBands) {
    const tensor::Sample part = band_of(s, b);
    density += tensor::density_share(part);
    for (const auto& [law, c] : tensor::law_tally(part)) {
      tensor::LawCounts& to = tally[law];
      to.cells += c.cells, to.faces_x += c.faces_x, to.faces_z += c.faces_z;
    }
    least = std::min(least, tensor::cells_per_diffusion_length(tensor::cell_coefficients(part, kOmega), s.h, kOmega));
  }
  const double mean = tensor::mean_density(s);
  EXPECT_LE(std::fabs(density - mean), 2 * static_cast<double>(s.nx * s.ny) * DBL_EPSILON * mean);
  const tensor::LawTally expected = tensor::law_tally(s);
  ASSERT_EQ(tally.size(), expected.size());
  for (const auto& [law, c] : expected) {
    EXPECT_EQ(tally[law].cells, c.cells);
    EXPECT_EQ(tally[law].faces_x, c.faces_x);
    EXPECT_EQ(tally[law].faces_z, c.faces_z);
  }
  EXPECT_EQ(tensor::resolution_of(tally).cells_per_feature, tensor::geometry_resolution(s).cells_per_feature);
  EXPECT_EQ(least, tensor::cells_per_diffusion_length(tensor::cell_coefficients(s, kOmega), s.h, kOmega));
}

}  // namespace
