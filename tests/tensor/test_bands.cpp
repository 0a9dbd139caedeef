// A rank of an MPI job holds only its band of cell rows (and the row above)
// and assembles its share of the system from the law of those cells alone.
// The shares of every band, summed where the same (row, col) comes from two
// bands, are the whole grid's system under sealed and periodic boundaries
// (the shear test's nodal forces once, not once a band); so are the plate
// forces, the density and the geometry's tallies, and the least cells per
// diffusion length of the bands is the whole's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <map>
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
using Entries = std::map<std::pair<int64_t, int64_t>, zcomplex>;

constexpr double kOmega = tensor_test::kTwoPi * 300;
// Bands of 1, 0, 2, 3 and 1 rows of a 7-row grid: uneven, one empty, the top one alone.
const std::pair<int64_t, int64_t> kBands[] = {{1, 1}, {2, 1}, {2, 3}, {4, 6}, {7, 7}};

// Two materials and a water proportion of its own in every cell.
tensor::Sample patchy() {
  tensor::Sample s = tensor_test::random_map(6, 7, 20261208);
  std::mt19937 rng(7);
  for (std::size_t c = 0; c < s.material_of_cell.size(); ++c)
    s.water_of_cell.push_back(0.05 + 0.01 * static_cast<double>(rng() % 4));
  return s;
}

tensor::Sample band_of(const tensor::Sample& s, std::pair<int64_t, int64_t> b) {
  tensor::Sample part = s;
  tensor::keep_band(part, {b.first, b.second});
  return part;
}

double size_of(zcomplex z) { return std::hypot(z.re, z.im); }

// Values summed by (row, col), or by index without a pattern, with the
// largest part or partial sum seen: the scale of the rounding of the sums.
struct Sum {
  Entries e;
  double largest = 0;
  void add(const std::vector<zcomplex>& v, const engine::Pattern* p = nullptr) {
    for (std::size_t i = 0; i < v.size(); ++i) {
      zcomplex& to = e[p ? std::pair{p->row[i], p->col[i]} : std::pair{static_cast<int64_t>(i), int64_t{0}}];
      to += v[i];
      largest = std::max({largest, size_of(v[i]), size_of(to)});
    }
  }
};

// Each value sums at most `terms` cells' terms (4 a node; every cell for the
// energies of the affine fields), here in another order: within a few
// roundings of the largest part.
void expect_same(const Sum& whole, const Sum& bands, double terms = 4) {
  ASSERT_EQ(whole.e.size(), bands.e.size());
  const double scale = std::max(whole.largest, bands.largest);
  ASSERT_GT(scale, 0);
  for (const auto& [at, z] : whole.e)
    EXPECT_LE(size_of(z - bands.e.at(at)), 2 * terms * DBL_EPSILON * scale) << at.first << "," << at.second;
}

std::vector<zcomplex> flat(const tensor::PeriodicSystem& p) {
  std::vector<zcomplex> v;
  for (const auto& row : p.affine) v.insert(v.end(), row.begin(), row.end());
  return v;
}

TEST(Bands, TheBandsSharesFromTheirOwnCellsAddUpToTheWholeSystem) {
  const tensor::Sample s = patchy();
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
    expect_same(expected, got);
    expect_same(expected_rhs, got_rhs);
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
  expect_same(expected, got);
  expect_same(expected_rhs, got_rhs);
  expect_same(expected_affine, got_affine, static_cast<double>(s.nx * s.ny));
}

TEST(Bands, PlateForcesDensityAndGeometryOfTheBandsAreTheWholeSamples) {
  const tensor::Sample s = patchy();
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
    right_terms += size_of(tensor::plate_forces(row, test, tensor::cell_coefficients(band_of(s, {k, k}), kOmega), kOmega, u).right);
  }
  EXPECT_LE(size_of(right - expected.right), 2 * static_cast<double>(s.ny) * DBL_EPSILON * right_terms);
  EXPECT_GT(size_of(expected.right), 0);
  EXPECT_EQ(top, expected.top);
  EXPECT_THROW(tensor::mean_density(band_of(s, {2, 3})), std::logic_error);
  const double mean = tensor::mean_density(s);
  EXPECT_LE(std::fabs(density - mean), 2 * static_cast<double>(s.nx * s.ny) * DBL_EPSILON * mean);
  const tensor::LawTally want = tensor::law_tally(s);
  ASSERT_EQ(tally.size(), want.size());
  for (const auto& [law, c] : want) {
    EXPECT_EQ(tally[law].cells, c.cells);
    EXPECT_EQ(tally[law].faces_x, c.faces_x);
    EXPECT_EQ(tally[law].faces_z, c.faces_z);
  }
  EXPECT_EQ(tensor::resolution_of(tally).cells_per_feature, tensor::geometry_resolution(s).cells_per_feature);
  EXPECT_EQ(least, tensor::cells_per_diffusion_length(tensor::cell_coefficients(s, kOmega), s.h, kOmega));
  EXPECT_THROW(tensor::GridSystem(4, 6, 0.01, 0, 3), std::invalid_argument);
  EXPECT_THROW(tensor::PeriodicGrid(4, 6, 0.01, 5, 3), std::invalid_argument);
}

}  // namespace
