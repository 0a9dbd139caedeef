// The grid's pattern and a test's values and loads made in two halves side
// by side (two threads) against one thread: the same pattern and the same
// bits, where the halves meet too. The cells differ at random so that the
// shares of the cells on both sides of the line where the halves meet
// differ, and summed in another order they would round otherwise.
#include <gtest/gtest.h>

#include <cstring>

#include "support.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/grid_system.hpp"

namespace {

using tensor::GridSystem;
using tensor::PatternLayout;
using tensor_test::zcomplex;

bool same_bits(const std::vector<zcomplex>& a, const std::vector<zcomplex>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(zcomplex)) == 0);
}

// Grids of more than 4096 unknowns (where the pattern is built in halves),
// even and odd counts of rows (the biaxial test's plate loads on the line
// where the halves meet), both layouts and a band of rows in the middle (a
// rank's share, split at its own middle, not the grid's).
TEST(TwoHalves, PatternAndAssemblyAreTheSameBitsAsOneThread) {
  for (auto [nx, ny] : {std::pair<int64_t, int64_t>{30, 24}, {23, 31}}) {
    const GridSystem one(nx, ny, 0.1, PatternLayout::engine_lower, 1), two(nx, ny, 0.1, PatternLayout::engine_lower, 2);
    ASSERT_GE(one.n, 4096);
    EXPECT_EQ(one.lower->ptr, two.lower->ptr) << nx << " x " << ny;
    EXPECT_EQ(one.lower->row, two.lower->row) << nx << " x " << ny;
  }
  const tensor::Sample s = tensor_test::random_map(7, 30, 11);
  const double omega = 2 * 3.14159 * 37.0;
  const std::vector<core::CellCoefficients> cells = tensor::cell_coefficients(s, omega);
  std::vector<GridSystem> grids;
  grids.emplace_back(7, 17, s.h, PatternLayout::engine_lower);
  grids.emplace_back(7, 12, s.h);
  grids.emplace_back(7, 30, s.h, 9, 25);
  for (const GridSystem& g : grids)
    for (const tensor::TestSetup& t : {tensor::biaxial_test(g), tensor::shear_test(g)}) {
      std::vector<zcomplex> v1, b1, v2, b2;
      tensor::assemble(g, t, cells, omega, v1, b1, 1);
      tensor::assemble(g, t, cells, omega, v2, b2, 2);
      EXPECT_TRUE(same_bits(v1, v2) && same_bits(b1, b2)) << g.ny << " rows from " << g.first_row;
    }
}

}  // namespace
