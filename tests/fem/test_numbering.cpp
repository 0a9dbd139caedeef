// Numbering of the unknowns, checked against the geometry of the grid.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "core/capacities.hpp"
#include "fem/numbering.hpp"

namespace {

// The physical place of a local unknown: a vertex with a solid component
// (0..3: solid-1 x, solid-1 y, solid-3 x, solid-3 y), or an edge (component
// 4 for a horizontal edge, 5 for a vertical one) named by its lower-left vertex.
std::tuple<int, int, int> place_of(int j, int k, int a) {
  const int vj[4] = {j, j + 1, j + 1, j}, vk[4] = {k, k, k + 1, k + 1};
  if (a == 9 || a == 10) return {j + a - 9, k, 5};
  if (a == 11 || a == 12) return {j, k + a - 11, 4};
  const int v = (a > 12 ? a - 4 : a) - 1;  // 0..15: component v / 4 of vertex v % 4
  return {vj[v % 4], vk[v % 4], v / 4};
}

TEST(GlobalNumbering, SingleCellTable) {
  auto xnod = std::make_unique<fem::XnodTable>();
  fem::global_numbering(1, 1, *xnod);
  const int expected[20] = {1, 6, 17, 12, 2, 7, 18, 13, 10, 11, 5, 16, 3, 8, 19, 14, 4, 9, 20, 15};
  for (int a = 1; a <= 20; ++a) EXPECT_EQ((*xnod)(1, a), expected[a - 1]) << "local " << a;
}

// Every place of the grid gets one number, distinct places distinct numbers,
// and the numbers are exactly 1..n: shared vertices and edges agree between
// neighbouring cells and nothing is numbered twice.
TEST(GlobalNumbering, IsABijectionBetweenPlacesAndUnknowns) {
  auto xnod = std::make_unique<fem::XnodTable>();
  const int grids[][2] = {{1, 1}, {2, 1}, {1, 3}, {2, 2}, {4, 3}, {60, 60}};
  for (auto [nx, ny] : grids) {
    fem::global_numbering(nx, ny, *xnod);
    const int n = core::unknowns_of(nx, ny);
    std::map<std::tuple<int, int, int>, int> number_of;
    std::vector<int> hits(n + 1, 0);
    for (int k = 1; k <= ny; ++k)
      for (int j = 1; j <= nx; ++j)
        for (int a = 1; a <= 20; ++a) {
          const int g = (*xnod)(fem::cell_serial(j, k, nx), a);
          ASSERT_TRUE(g >= 1 && g <= n) << g;
          auto [it, inserted] = number_of.emplace(place_of(j, k, a), g);
          if (inserted) ++hits[g];
          else ASSERT_EQ(it->second, g) << nx << "x" << ny << " cell (" << j << "," << k << ") local " << a;
        }
    // Places: 4 per vertex, one per edge.
    EXPECT_EQ(static_cast<int>(number_of.size()), 4 * (nx + 1) * (ny + 1) + nx * (ny + 1) + (nx + 1) * ny);
    EXPECT_EQ(static_cast<int>(number_of.size()), n);
    for (int g = 1; g <= n; ++g) ASSERT_EQ(hits[g], 1) << nx << "x" << ny << " unknown " << g;
  }
}

}  // namespace
