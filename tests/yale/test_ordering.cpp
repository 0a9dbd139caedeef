// Minimum-degree ordering, the structure of the factors, symmetric reordering.
#include "tests/yale/support.hpp"

namespace {

using namespace yale_test;

// Entries of L and U of A(perm, perm), by elimination on a dense boolean matrix.
int32_t dense_fill(const Pattern& p, const std::vector<int32_t>& iperm) {
  const std::size_t n = static_cast<std::size_t>(p.n);
  std::vector<std::vector<char>> m(n, std::vector<char>(n, 0));
  for (int32_t i = 1; i <= p.n; ++i)
    for (int32_t q = p.ia[i - 1]; q < p.ia[i]; ++q) m[iperm[i - 1] - 1][iperm[p.ja[q - 1] - 1] - 1] = 1;
  int32_t count = 0;
  for (std::size_t k = 0; k < n; ++k) {
    for (std::size_t i = k + 1; i < n; ++i)
      for (std::size_t j = k + 1; j < n && m[i][k]; ++j) m[i][j] |= m[k][j];
    for (std::size_t j = 0; j < n; ++j) count += (j != k) && m[k][j];
  }
  return count;
}

// The structure alone (job 5) under the natural order or a given one: its size.
int32_t structure_size(Solve<double>& s, const std::vector<int32_t>& perm = {}) {
  std::vector<double> none(static_cast<std::size_t>(s.p.n));
  s.set_order(perm);
  EXPECT_EQ(s.factor(5, none, none), 0);
  return s.l_count() + s.u_count();
}

TEST(MinimumDegree, OrdersOfSmallPatternsAsTheBucketsDictate) {
  // No edges: every vertex in bucket 1, the last inserted taken first.  A
  // path ends in bucket 2.  An arrow: leaves from the highest down; 2 falls
  // interior to 1.  Entries below the diagonal are not read.
  for (auto [p, want] : std::vector<std::pair<Pattern, std::vector<int32_t>>>{
           {banded(5, 0), {5, 4, 3, 2, 1}}, {banded(3, 1), {3, 2, 1}}, {banded(4, 4), {4, 3, 2, 1}},
           {arrow(5), {5, 4, 3, 1, 2}}, {from_entries(4, {{1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}, {4, 4}}), {4, 3, 2, 1}}}) {
    Solve<double> s(p, 1u);
    ASSERT_EQ(s.order(), 0);
    EXPECT_EQ(s.perm, want);
  }
}

// On grids with rows in any order: the structure is what a dense elimination
// in that order gives, and no larger than in the natural order.
TEST(MinimumDegree, FillOfGridsAsDenseEliminationAndNoMoreThanNaturalOrder) {
  for (auto [nx, ny] : std::vector<std::pair<int32_t, int32_t>>{{1, 1}, {3, 2}, {4, 4}, {8, 8}, {12, 7}}) {
    Solve<double> s(shuffled(grid_pattern(nx, ny), 0), 1u);
    ASSERT_EQ(s.order(), 0);
    const std::vector<int32_t> md = s.perm;
    EXPECT_EQ(structure_size(s, md), dense_fill(s.p, s.iperm)) << nx << " x " << ny;
    EXPECT_LE(structure_size(s, md), structure_size(s)) << nx << " x " << ny;
  }
}

// The upper band of width 3, values naming their (row, col), each row's
// diagonal stored last, under a random order: every entry moves on or above
// the new diagonal with its value; job 5 also puts each row's diagonal first.
TEST(Reordering, UpperTriangleUnderAnOrderWithTheDiagonalFirst) {
  const int32_t n = 8;
  Pattern up{n, {1}, {}};
  std::vector<double> a;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = i + 1; j <= std::min(n, i + 3); ++j) up.ja.push_back(j), a.push_back(100.0 * i + j);
    up.ja.push_back(i), a.push_back(101.0 * i);
    up.ia.push_back(static_cast<int32_t>(up.ja.size()) + 1);
  }
  for (int32_t job : {3, 5}) {
    Solve<double> s(up, a, 4 * n * n);
    s.set_order({3, 7, 1, 8, 5, 2, 6, 4});
    ASSERT_EQ(s.order(job), 0);
    for (int32_t i = 1; i <= n; ++i) {
      for (int32_t q = s.p.ia[i - 1]; q < s.p.ia[i]; ++q) {
        const int32_t j = s.p.ja[q - 1];
        EXPECT_GE(s.iperm[j - 1], s.iperm[i - 1]) << "on or above the diagonal in the new order";
        EXPECT_EQ(s.a[q - 1], 100.0 * std::min(i, j) + std::max(i, j)) << "the value travels with its entry";
      }
      EXPECT_TRUE(job != 5 || s.p.ja[s.p.ia[i - 1] - 1] == i) << "diagonal first in row " << i;
    }
  }
}

}  // namespace
