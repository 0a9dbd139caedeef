// Minimum-degree ordering, symmetric reordering and symbolic factorisation.
#include <gtest/gtest.h>

#include "tests/yale/support.hpp"

namespace {

using namespace yale_test;
using yale::CIVec;
using yale::IVec;

struct Ordering {
  std::vector<int32_t> perm, iperm;
  int32_t flag = 0;
};

// md on arrays of exactly the sizes it is given (no workspace), so that the
// sanitizers see any access outside them.
Ordering run_md(const Pattern& p, int32_t nc) {
  Ordering o;
  o.perm.assign(static_cast<std::size_t>(p.n), 0);
  o.iperm.assign(static_cast<std::size_t>(p.n), 0);
  std::vector<int32_t> item(static_cast<std::size_t>(nc)), link(static_cast<std::size_t>(nc)),
      heads(static_cast<std::size_t>(p.n));
  const IVec item_v(item.data(), nc);
  yale::md(p.n, CIVec(p.ia.data(), p.n + 1), CIVec(p.ja.data(), p.nnz()), nc, item_v, IVec(link.data(), nc),
           IVec(heads.data(), p.n), IVec(o.perm.data(), p.n), IVec(o.iperm.data(), p.n), item_v, o.flag);
  return o;
}

int32_t entries_above_diagonal(const Pattern& p) {
  int32_t e = 0;
  for (int32_t i = 1; i <= p.n; ++i)
    for (int32_t q = p.ia[i - 1]; q < p.ia[i]; ++q) e += p.ja[q - 1] > i;
  return e;
}

Ordering order(const Pattern& p) { return run_md(p, p.n + 2 * entries_above_diagonal(p)); }

std::vector<int32_t> identity(int32_t n) {
  std::vector<int32_t> v(static_cast<std::size_t>(n));
  std::iota(v.begin(), v.end(), 1);
  return v;
}

struct Structure {
  std::vector<int32_t> l_start, l_col, u_start, u_col;
  int32_t flag = 0;
  int32_t size() const { return l_start.back() - 1 + u_start.back() - 1; }
};

Structure symbolic(const Pattern& p, const std::vector<int32_t>& rperm, const std::vector<int32_t>& icperm,
                   int32_t jlmax = -1, int32_t jumax = -1) {
  const int32_t n = p.n;
  const int32_t cap = n * (n - 1) / 2 + 1;
  if (jlmax < 0) jlmax = cap;
  if (jumax < 0) jumax = cap;
  Structure s;
  s.l_start.assign(static_cast<std::size_t>(n + 1), 0);
  s.u_start.assign(static_cast<std::size_t>(n + 1), 0);
  s.l_col.assign(static_cast<std::size_t>(std::max(jlmax, 1)), 0);
  s.u_col.assign(static_cast<std::size_t>(std::max(jumax, 1)), 0);
  std::vector<int32_t> link(static_cast<std::size_t>(n + 1)), prune(static_cast<std::size_t>(n));
  yale::znsf(n, CIVec(rperm.data(), n), CIVec(icperm.data(), n), CIVec(p.ia.data(), n + 1),
             CIVec(p.ja.data(), p.nnz()), IVec(s.l_start.data(), n + 1), IVec(s.l_col.data(), jlmax), jlmax,
             IVec(s.u_start.data(), n + 1), IVec(s.u_col.data(), jumax), jumax, IVec(link.data(), n + 1),
             IVec(prune.data(), n), s.flag);
  return s;
}

// Size of the factors of A(perm, perm) by elimination on a dense boolean matrix.
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

// ------------------------------------------------------------------ md

TEST(MinimumDegree, OrdersOfSmallPatterns) {
  // No edges: every vertex in bucket 1, taken last-inserted first.
  EXPECT_EQ(order(diagonal(5)).perm, (std::vector<int32_t>{5, 4, 3, 2, 1}));
  // Path 1-2-3: ends in bucket 2, 3 inserted last is taken first; then 2
  // (pushed back into bucket 2 in front of 1), then 1.
  EXPECT_EQ(order(banded(3, 1)).perm, (std::vector<int32_t>{3, 2, 1}));
  // Dense 4 x 4: 4 first, the rest interior to its element and numbered by
  // mass elimination in the order of 4's list.
  EXPECT_EQ(order(dense(4)).perm, (std::vector<int32_t>{4, 3, 2, 1}));
  // Arrow: leaves from the highest down; when 1 and 2 are left, 1 sits in
  // front of 2 in bucket 2 and 2 falls interior to it.
  EXPECT_EQ(order(arrow(5)).perm, (std::vector<int32_t>{5, 4, 3, 1, 2}));
  // Entries below the diagonal are not read: the same graph as no edges.
  EXPECT_EQ(order(from_entries(4, {{1, 1}, {2, 1}, {2, 2}, {3, 1}, {3, 2}, {3, 3}, {4, 3}, {4, 4}})).perm,
            (std::vector<int32_t>{4, 3, 2, 1}));
}

// On grids (rows in any order): a permutation, no more fill than the
// natural order, and the structure the size a dense elimination gives.
TEST(MinimumDegree, PermutationWithNoMoreFillThanNaturalOrderOnGrids) {
  uint32_t seed = 1;
  for (auto [nx, ny] : std::vector<std::pair<int32_t, int32_t>>{{1, 1}, {3, 2}, {4, 4}, {6, 3}, {8, 8}, {12, 7}}) {
    Pattern p = yale_bench::grid_pattern(nx, ny);
    shuffle_rows(p, seed++);
    const Ordering o = order(p);
    ASSERT_EQ(o.flag, 0);
    ASSERT_TRUE(is_permutation(o.perm, o.iperm));
    const auto id = identity(p.n);
    const Structure natural = symbolic(p, id, id), md = symbolic(p, o.perm, o.iperm);
    ASSERT_EQ(natural.flag, 0);
    ASSERT_EQ(md.flag, 0);
    EXPECT_LE(md.size(), natural.size()) << nx << " x " << ny;
    EXPECT_EQ(md.size(), dense_fill(p, o.iperm)) << nx << " x " << ny;
  }
}

// ------------------------------------------------------------------ nsf

TEST(Symbolic, ArrowFillsCompletelyUnlessTheHubComesLast) {
  const Pattern a = arrow(6);
  const auto id6 = identity(6);
  EXPECT_EQ(symbolic(a, id6, id6).size(), 30);
  EXPECT_EQ(symbolic(a, {2, 3, 4, 5, 6, 1}, {6, 1, 2, 3, 4, 5}).size(), 10);
}

TEST(Symbolic, ErrorCodes) {
  // Row 3 lists column 1 twice; found before anything of row 3 is stored
  // (in the new order row 3 comes first): 2n+r.
  Pattern dup;
  dup.n = 3;
  dup.ia = {1, 2, 3, 6};
  dup.ja = {1, 2, 3, 1, 1};
  const std::vector<int32_t> rev = {3, 2, 1};
  EXPECT_EQ(symbolic(dup, rev, rev).flag, 2 * 3 + 3);

  // Capacities: exact ones work, one short fails at the row that needs it.
  const Pattern p = random_symmetric(40, 6, 3);
  const Ordering o = order(p);
  const Structure full = symbolic(p, o.perm, o.iperm);
  ASSERT_EQ(full.flag, 0);
  const int32_t lc = full.l_start.back() - 1, uc = full.u_start.back() - 1;
  EXPECT_EQ(symbolic(p, o.perm, o.iperm, lc, uc).flag, 0);
  int32_t lrow = p.n;
  while (full.l_start[lrow - 1] > lc) --lrow;  // the row holding L's last entry
  EXPECT_EQ(symbolic(p, o.perm, o.iperm, lc - 1, uc).flag, 3 * p.n + lrow);
  int32_t urow = p.n;
  while (full.u_start[urow - 1] > uc) --urow;
  EXPECT_EQ(symbolic(p, o.perm, o.iperm, lc, uc - 1).flag, 6 * p.n + urow);
}

// ------------------------------------------------------------------ sro

struct Stored {
  std::vector<int32_t> ia, ja;
  std::vector<double> a;
};

// Upper triangle of a banded pattern, values encoding their (row, col).
Stored upper_band(int32_t n, int32_t bw) {
  Stored s;
  s.ia.push_back(1);
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = i; j <= std::min(n, i + bw); ++j) {
      s.ja.push_back(j);
      s.a.push_back(100.0 * i + j);
    }
    s.ia.push_back(static_cast<int32_t>(s.ja.size()) + 1);
  }
  return s;
}

void reorder(Stored& s, const std::vector<int32_t>& iperm, bool diag_first) {
  const auto n = static_cast<int32_t>(s.ia.size()) - 1;
  const auto nnz = static_cast<int32_t>(s.ja.size());
  std::vector<int32_t> count(static_cast<std::size_t>(n)), target(static_cast<std::size_t>(nnz));
  yale::dsro(n, CIVec(iperm.data(), n), IVec(s.ia.data(), n + 1), IVec(s.ja.data(), nnz),
             yale::Vec1<double>(s.a.data(), nnz), IVec(count.data(), n), IVec(target.data(), nnz), diag_first);
}

TEST(Reordering, ReversalMovesTheUpperTriangleBelow) {
  const int32_t n = 7;
  Stored s = upper_band(n, 3);
  std::vector<int32_t> rev(static_cast<std::size_t>(n));
  for (int32_t i = 1; i <= n; ++i) rev[i - 1] = n + 1 - i;
  reorder(s, rev, false);
  for (int32_t i = 1; i <= n; ++i) {
    // The lower triangle of the band, each value travelling with its entry:
    // (i, j) was stored as (j, i).
    std::vector<std::pair<int32_t, double>> got, want;
    for (int32_t q = s.ia[i - 1]; q < s.ia[i]; ++q) got.push_back({s.ja[q - 1], s.a[q - 1]});
    for (int32_t j = std::max(1, i - 3); j <= i; ++j) want.push_back({j, 100.0 * j + i});
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want) << "row " << i;
  }
}

TEST(Reordering, DiagonalFirstKeepsTheRestInOrder) {
  // The diagonal at the end of each row (the order within a row is free); a
  // random order moves entries around.
  const int32_t n = 8;
  Stored s = upper_band(n, 3);
  for (int32_t i = 1; i <= n; ++i) {
    std::rotate(s.ja.begin() + (s.ia[i - 1] - 1), s.ja.begin() + s.ia[i - 1], s.ja.begin() + (s.ia[i] - 1));
    std::rotate(s.a.begin() + (s.ia[i - 1] - 1), s.a.begin() + s.ia[i - 1], s.a.begin() + (s.ia[i] - 1));
  }
  std::vector<int32_t> perm = identity(n);
  std::shuffle(perm.begin(), perm.end(), std::mt19937(5));
  std::vector<int32_t> iperm(static_cast<std::size_t>(n));
  for (int32_t k = 1; k <= n; ++k) iperm[perm[k - 1] - 1] = k;

  Stored plain = s, first = s;
  reorder(plain, iperm, false);
  reorder(first, iperm, true);
  EXPECT_EQ(plain.ia, first.ia);
  for (int32_t i = 1; i <= n; ++i) {
    ASSERT_GT(first.ia[i], first.ia[i - 1]);
    EXPECT_EQ(first.ja[first.ia[i - 1] - 1], i) << "row " << i;
    std::vector<int32_t> rest_plain, rest_first;
    for (int32_t q = plain.ia[i - 1]; q < plain.ia[i]; ++q)
      if (plain.ja[q - 1] != i) rest_plain.push_back(plain.ja[q - 1]);
    for (int32_t q = first.ia[i - 1] + 1; q < first.ia[i]; ++q) rest_first.push_back(first.ja[q - 1]);
    EXPECT_EQ(rest_first, rest_plain);
    // Every entry now lies on or above the diagonal in the new order.
    for (int32_t q = first.ia[i - 1]; q < first.ia[i]; ++q) EXPECT_GE(iperm[first.ja[q - 1] - 1], iperm[i - 1]);
  }
}

}  // namespace
