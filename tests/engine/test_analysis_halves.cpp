// The analysis with two threads (the permuted triangles made in halves side
// by side) against one thread: the same plan bit for bit, and the permuted
// triangle against the image of every entry under the permutation, counted
// one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>

#include "engine/analysis.hpp"
#include "tests/engine/support.hpp"

namespace {

using namespace engine_test;
using engine::detail::Fronts;
using engine::detail::Lower;

void expect_same_fronts(const Fronts& a, const Fronts& b) {
  EXPECT_EQ(a.nsuper, b.nsuper);
  EXPECT_EQ(a.first, b.first);
  EXPECT_EQ(a.parent, b.parent);
  EXPECT_EQ(a.rows_ptr, b.rows_ptr);
  EXPECT_EQ(a.rows, b.rows);
  EXPECT_EQ(a.up, b.up);
  EXPECT_EQ(a.factor_ptr, b.factor_ptr);
  EXPECT_EQ(a.entry_source, b.entry_source);
  EXPECT_EQ(a.entry_place, b.entry_place);
  EXPECT_EQ(a.entry_ptr, b.entry_ptr);
}

// A grid of 5,704 unknowns under its geometric order and under METIS's.
TEST(AnalysisHalves, PlanIsTheSameWithTwoThreads) {
  const auto g = ice_grid(30);
  ASSERT_TRUE(g);
  const Lower a = engine::detail::input_matrix(g->pattern).lower;
  ASSERT_GE(a.n, 4096);
  for (const auto& order : {engine::detail::grid_order(g->places, a.n), engine::detail::metis_order(a)}) {
    const engine::detail::Plan one = engine::detail::plan(a, order, 1), two = engine::detail::plan(a, order, 2);
    EXPECT_EQ(one.perm, two.perm);
    EXPECT_EQ(one.flops, two.flops);
    expect_same_fronts(one.fronts, two.fronts);
  }
}

// Each entry (i, j) of a random pattern lands at (max, min) of its new
// numbers, and the source of every result entry is the entry it came from.
TEST(AnalysisHalves, PermutedTriangleHoldsTheImageOfEveryEntry) {
  const Coo c = random_system(6000, 9000, 17);
  const Lower a = engine::detail::input_matrix(c.pattern).lower;
  std::vector<Index> inverse(static_cast<std::size_t>(a.n));
  std::iota(inverse.begin(), inverse.end(), 0);
  std::shuffle(inverse.begin(), inverse.end(), std::mt19937(5));
  std::set<std::pair<Index, Index>> expected;
  for (Index j = 0; j < a.n; ++j)
    for (Index e = a.ptr[j]; e < a.ptr[j + 1]; ++e)
      expected.insert({std::min(inverse[a.row[e]], inverse[j]), std::max(inverse[a.row[e]], inverse[j])});
  for (int threads : {1, 2}) {
    std::vector<Index> source;
    const Lower p = engine::detail::permuted_lower(a, inverse, &source, threads);
    ASSERT_EQ(p.ptr.size(), a.ptr.size());
    std::set<std::pair<Index, Index>> got;
    for (Index col = 0; col < p.n; ++col)
      for (Index e = p.ptr[col]; e < p.ptr[col + 1]; ++e) {
        got.insert({col, p.row[e]});
        if (e > p.ptr[col]) {
          EXPECT_LT(p.row[e - 1], p.row[e]) << "column " << col << ", " << threads << " threads";
        }
        const Index s = source[e];
        const Index from_col = std::upper_bound(a.ptr.begin(), a.ptr.end(), s) - a.ptr.begin() - 1;
        EXPECT_EQ(std::min(inverse[a.row[s]], inverse[from_col]), col);
        EXPECT_EQ(std::max(inverse[a.row[s]], inverse[from_col]), p.row[e]);
      }
    EXPECT_EQ(got, expected) << threads << " threads";
  }
}

}  // namespace
