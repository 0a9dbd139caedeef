// The grid system of the tensor's tests. The shear test's boundary
// conditions and loads as the programs' element routine applies them, cell
// by cell, and the resultants of its tractions (the biaxial test's plates
// and rollers: the closed forms of one material and the layered limits of
// test_periodic.cpp and test_layered.cpp, which any misplaced constraint
// moves). A rank of an MPI job holds only its band of cell rows (and the
// row above) and assembles its share of the system from the law of those
// cells alone: the shares of every band, summed where the same (row, col)
// comes from two bands, are the whole grid's system under sealed and
// periodic boundaries (the shear test's nodal forces once, not once a
// band); so are the plate forces, the density and the geometry's tallies,
// and the least cells per diffusion length of the bands is the whole's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "core/test_kind.hpp"
#include "fem/element.hpp"
#include "fem/local_unknowns.hpp"
#include "fem/test_conditions.hpp"
#include "support.hpp"
#include "tensor/geometry_resolution.hpp"
#include "tensor/grid_system.hpp"
#include "tensor/periodic_system.hpp"
#include "tensor/stiffness_accuracy.hpp"

namespace {

using core::zcomplex;
using enum fem::Vertex;

constexpr double kH = 0.25;  // a power of two: every sum of half sides is exact

// Any law whose element matrix has no zero off the diagonal of a free row.
constexpr core::CellCoefficients kCell{3e9, 2e9, 1.5e9, 1e9, 0.4e9, 0.7e9, 0.6e9, 2.5e9, 0.3e9,
                                       0,   0,   0,     0,   0,     0,     2e7,   1e7,   3e7};

std::size_t at(int64_t u) { return static_cast<std::size_t>(u); }

// The grid system holds what the element routine prescribes (a row with its
// diagonal alone), and load 1 on the free unknowns is the element loads
// summed over the cells; load 2 is load 1 moved onto solid 3. Resultant of
// the shear tractions on the free unknowns of solid 1: the width along x
// (the top), nothing along y (down the left, up the right, each less the
// clamped bottom corner's half side).
TEST(GridTests, ShearTestIsTheProgramsShearTest) {
  for (const auto& [nx, ny] : {std::pair<int64_t, int64_t>{1, 1}, {3, 1}, {1, 4}, {3, 4}}) {
    const tensor::GridSystem g(nx, ny, kH);
    const tensor::TestSetup t = tensor::shear_test(g);
    ASSERT_EQ(t.loads.size(), 2u);
    std::vector<int> prescribed(at(g.n), 0), seen(at(g.n), 0);
    std::vector<zcomplex> load(at(g.n), zcomplex{0, 0});
    fem::ElementMatrix ae;
    fem::ElementLoad be;
    double fx = 0, fy = 0;
    for (int64_t k = 1; k <= ny; ++k)
      for (int64_t j = 1; j <= nx; ++j) {
        const fem::CellPlace place{static_cast<int32_t>(j), static_cast<int32_t>(k), static_cast<int32_t>(nx),
                                   static_cast<int32_t>(ny)};
        fem::element_system(core::TestKind::shear, place, kCell, 10.0, kH, ae, be);
        for (int a = 1; a <= fem::kLocalUnknowns; ++a) {
          bool alone = true;
          for (int b = 1; b <= fem::kLocalUnknowns; ++b) alone = alone && (b == a || ae(a, b) == zcomplex{0, 0});
          const std::size_t u = at(g.unknown(j, k, a));
          prescribed[u] |= alone;
          load[u] += be(a);
          if (a <= fem::s1y(upper_left)) {
            EXPECT_EQ(t.loads[1].force[at(g.unknown(j, k, fem::on_solid3(a)))], t.loads[0].force[u]);
            EXPECT_EQ(t.loads[1].force[u], (zcomplex{0, 0}));
            if (t.constraint[u] == tensor::kFree && !seen[u]++) (a <= fem::s1x(upper_left) ? fx : fy) += t.loads[0].force[u].re;
          }
        }
      }
    for (int64_t u = 0; u < g.n; ++u) {
      const bool held = t.constraint[at(u)] != tensor::kFree;
      ASSERT_EQ(held, prescribed[at(u)] != 0) << nx << " x " << ny << ", unknown " << u;
      if (!held) {
        ASSERT_EQ(t.loads[0].force[at(u)], load[at(u)]) << nx << " x " << ny << ", unknown " << u;
      }
    }
    EXPECT_EQ(fx, static_cast<double>(nx) * kH) << nx << " x " << ny;
    EXPECT_EQ(fy, 0.0) << nx << " x " << ny;
  }
}

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
