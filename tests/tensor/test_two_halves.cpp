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
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(zcomplex)) == 0;
}

// A grid of more than 4096 unknowns, where the pattern is built in halves.
TEST(TwoHalves, GridPatternIsTheSame) {
  for (auto [nx, ny] : {std::pair<int64_t, int64_t>{30, 24}, {23, 31}}) {
    const GridSystem one(nx, ny, 0.1, PatternLayout::engine_lower, 1);
    const GridSystem two(nx, ny, 0.1, PatternLayout::engine_lower, 2);
    ASSERT_GE(one.n, 4096);
    EXPECT_EQ(one.lower->ptr, two.lower->ptr) << nx << " x " << ny;
    EXPECT_EQ(one.lower->row, two.lower->row) << nx << " x " << ny;
  }
}

struct Assembled {
  std::vector<zcomplex> values, rhs;
};

Assembled assembled(const GridSystem& g, const tensor::TestSetup& t, const tensor::Sample& s, int threads) {
  Assembled a;
  const std::vector<core::CellCoefficients> cells = tensor::cell_coefficients(s, 2 * 3.14159 * 37.0);
  tensor::assemble(g, t, cells, 2 * 3.14159 * 37.0, a.values, a.rhs, threads);
  return a;
}

// Both tests (the biaxial one with plate loads on the line where the halves
// meet for an odd count of rows), the whole grid in both layouts and a band
// of rows.
TEST(TwoHalves, AssemblyIsTheSameBits) {
  for (auto [nx, ny] : {std::pair<int64_t, int64_t>{9, 12}, {6, 17}, {4, 8}}) {
    const tensor::Sample s = tensor_test::random_map(nx, ny, static_cast<unsigned>(nx * 100 + ny));
    std::vector<GridSystem> grids;
    grids.emplace_back(nx, ny, s.h, PatternLayout::engine_lower);
    grids.emplace_back(nx, ny, s.h);
    for (const GridSystem& g : grids)
      for (const tensor::TestSetup& t : {tensor::biaxial_test(g), tensor::shear_test(g)}) {
        const Assembled one = assembled(g, t, s, 1), two = assembled(g, t, s, 2);
        EXPECT_TRUE(same_bits(one.values, two.values)) << nx << " x " << ny;
        EXPECT_TRUE(same_bits(one.rhs, two.rhs)) << nx << " x " << ny;
      }
  }
}

// A band of rows in the middle of the grid (a rank's share) is split at its
// own middle, not the grid's.
TEST(TwoHalves, BandAssemblyIsTheSameBits) {
  const tensor::Sample s = tensor_test::random_map(7, 30, 11);
  const GridSystem band(7, 30, s.h, 9, 25);
  for (const tensor::TestSetup& t : {tensor::biaxial_test(band), tensor::shear_test(band)}) {
    const Assembled one = assembled(band, t, s, 1), two = assembled(band, t, s, 2);
    EXPECT_TRUE(same_bits(one.values, two.values));
    EXPECT_TRUE(same_bits(one.rhs, two.rhs));
  }
}

}  // namespace
