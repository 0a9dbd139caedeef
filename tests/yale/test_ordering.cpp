// Minimum-degree ordering, the structure of the factors, symmetric reordering.
#include <numeric>

#include "tests/yale/support.hpp"

namespace {

using namespace yale_test;

// Entries of L and U of A(perm, perm), by elimination on a dense boolean matrix.
int32_t dense_fill(const Pattern& p, const std::vector<int32_t>& iperm) {
  const int32_t n = p.n;
  std::vector<std::vector<char>> m(static_cast<std::size_t>(n), std::vector<char>(static_cast<std::size_t>(n), 0));
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t q = p.ia[i - 1]; q < p.ia[i]; ++q) m[iperm[i - 1] - 1][iperm[p.ja[q - 1] - 1] - 1] = 1;
  int32_t count = 0;
  for (int32_t k = 0; k < n; ++k) {
    for (int32_t i = k + 1; i < n; ++i)
      if (m[i][k])
        for (int32_t j = k + 1; j < n; ++j) m[i][j] |= m[k][j];
    for (int32_t j = 0; j < n; ++j) count += (j != k) && m[k][j];
  }
  return count;
}

// The structure alone (job 5) under a given order: its size, or the flag.
int32_t structure_size(Solve<double>& s, const std::vector<int32_t>& perm) {
  s.perm = perm;
  for (int32_t k = 1; k <= s.p.n; ++k) s.iperm[perm[k - 1] - 1] = k;
  std::vector<double> none(static_cast<std::size_t>(s.p.n));
  const int32_t flag = s.factor(5, none, none);
  return flag != 0 ? -flag : s.l_count() + s.u_count();
}

TEST(MinimumDegree, OrdersOfSmallPatternsAsTheBucketsDictate) {
  // No edges: every vertex in bucket 1, the last inserted taken first.  A
  // path ends in bucket 2.  An arrow: leaves from the highest down; 2 falls
  // interior to 1.  Entries below the diagonal are not read.
  for (auto [p, want] : std::vector<std::pair<Pattern, std::vector<int32_t>>>{
           {banded(5, 0), {5, 4, 3, 2, 1}}, {banded(3, 1), {3, 2, 1}}, {banded(4, 4), {4, 3, 2, 1}},
           {arrow(5), {5, 4, 3, 1, 2}}, {from_entries(4, {{1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}, {4, 4}}), {4, 3, 2, 1}}}) {
    Solve<double> s(p, std::vector<double>(static_cast<std::size_t>(p.nnz()), 1.0));
    ASSERT_EQ(s.order(), 0);
    EXPECT_EQ(s.perm, want);
  }
}

// On grids with rows in any order: the structure is what a dense elimination
// in that order gives, and no larger than in the natural order.
TEST(MinimumDegree, FillOfGridsAsDenseEliminationAndNoMoreThanNaturalOrder) {
  for (auto [nx, ny] : std::vector<std::pair<int32_t, int32_t>>{{1, 1}, {3, 2}, {4, 4}, {8, 8}, {12, 7}}) {
    Pattern p = yale_bench::grid_pattern(nx, ny);
    for (int32_t i = 1; i <= p.n; ++i)
      std::shuffle(p.ja.begin() + (p.ia[i - 1] - 1), p.ja.begin() + (p.ia[i] - 1), std::mt19937(i));
    Solve<double> s(p, std::vector<double>(static_cast<std::size_t>(p.nnz())));
    ASSERT_EQ(s.order(), 0);
    const std::vector<int32_t> md = s.perm, md_inverse = s.iperm;
    std::vector<int32_t> natural(static_cast<std::size_t>(p.n));
    std::iota(natural.begin(), natural.end(), 1);
    EXPECT_EQ(structure_size(s, md), dense_fill(p, md_inverse)) << nx << " x " << ny;
    EXPECT_LE(structure_size(s, md), structure_size(s, natural)) << nx << " x " << ny;
  }
}

TEST(Reordering, UpperTriangleUnderAnOrderWithTheDiagonalFirst) {
  // The upper band of width 3, values naming their (row, col), each row's
  // diagonal stored last; a random order.
  const int32_t n = 8;
  yale_bench::Pattern up{n, {1}, {}};
  std::vector<double> a;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = i + 1; j <= std::min(n, i + 3); ++j) up.ja.push_back(j), a.push_back(100.0 * i + j);
    up.ja.push_back(i), a.push_back(101.0 * i);
    up.ia.push_back(static_cast<int32_t>(up.ja.size()) + 1);
  }
  std::vector<int32_t> perm(static_cast<std::size_t>(n));
  std::iota(perm.begin(), perm.end(), 1);
  std::shuffle(perm.begin(), perm.end(), std::mt19937(5));
  for (int32_t job : {3, 5}) {
    Solve<double> s(up, a, 4 * n * n);
    s.perm = perm;
    for (int32_t k = 1; k <= n; ++k) s.iperm[perm[k - 1] - 1] = k;
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
