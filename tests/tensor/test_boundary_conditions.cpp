// The boundary conditions and loads of the grid system's shear test: as the
// programs' element routine applies it, cell by cell, and the resultants of
// its tractions. (The biaxial test's plates and rollers: the closed forms of
// one material and the layered limits of test_periodic.cpp and
// test_layered.cpp, which any misplaced constraint moves.)
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "core/coefficients.hpp"
#include "core/test_kind.hpp"
#include "fem/element.hpp"
#include "fem/local_unknowns.hpp"
#include "fem/test_conditions.hpp"
#include "tensor/grid_system.hpp"

namespace {

using core::zcomplex;
using enum fem::Vertex;

constexpr double kH = 0.25;  // a power of two: every sum of half sides is exact
constexpr std::pair<int64_t, int64_t> kGrids[] = {{1, 1}, {3, 1}, {1, 4}, {3, 4}};

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
  for (const auto& [nx, ny] : kGrids) {
    const tensor::GridSystem g(nx, ny, kH);
    const tensor::TestSetup t = tensor::shear_test(g);
    ASSERT_EQ(t.loads.size(), 2u);
    std::vector<bool> prescribed(at(g.n), false);
    std::vector<zcomplex> load(at(g.n), zcomplex{0, 0});
    fem::ElementMatrix ae;
    fem::ElementLoad be;
    for (int64_t k = 1; k <= ny; ++k)
      for (int64_t j = 1; j <= nx; ++j) {
        const fem::CellPlace place{static_cast<int32_t>(j), static_cast<int32_t>(k), static_cast<int32_t>(nx),
                                   static_cast<int32_t>(ny)};
        fem::element_system(core::TestKind::shear, place, kCell, 10.0, kH, ae, be);
        for (int a = 1; a <= fem::kLocalUnknowns; ++a) {
          bool alone = true;
          for (int b = 1; b <= fem::kLocalUnknowns; ++b) alone = alone && (b == a || ae(a, b) == zcomplex{0, 0});
          if (alone) prescribed[at(g.unknown(j, k, a))] = true;
          load[at(g.unknown(j, k, a))] += be(a);
        }
      }
    for (int64_t u = 0; u < g.n; ++u) {
      const bool held = t.constraint[at(u)] != tensor::kFree;
      ASSERT_EQ(held, prescribed[at(u)]) << nx << " x " << ny << ", unknown " << u;
      if (!held) {
        ASSERT_EQ(t.loads[0].force[at(u)], load[at(u)]) << nx << " x " << ny << ", unknown " << u;
      }
    }
    std::vector<bool> seen(at(g.n), false);
    double fx = 0, fy = 0;
    for (int64_t k = 1; k <= ny; ++k)
      for (int64_t j = 1; j <= nx; ++j)
        for (int a = fem::s1x(lower_left); a <= fem::s1y(upper_left); ++a) {
          const int64_t u = g.unknown(j, k, a);
          EXPECT_EQ(t.loads[1].force[at(g.unknown(j, k, fem::on_solid3(a)))], t.loads[0].force[at(u)]);
          EXPECT_EQ(t.loads[1].force[at(u)], (zcomplex{0, 0}));
          if (seen[at(u)] || t.constraint[at(u)] != tensor::kFree) continue;
          seen[at(u)] = true;
          (a <= fem::s1x(upper_left) ? fx : fy) += t.loads[0].force[at(u)].re;
        }
    EXPECT_EQ(fx, static_cast<double>(nx) * kH) << nx << " x " << ny;
    EXPECT_EQ(fy, 0.0) << nx << " x " << ny;
  }
}

}  // namespace
