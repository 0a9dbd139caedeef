// The drivers end to end, for every value type: residuals, repeated and
// transposed solves, and the error codes.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/yale/support.hpp"

namespace {

using namespace yale_test;
using core::ccomplex;
using core::zcomplex;

template <class V>
bool same_bits(const std::vector<V>& x, const std::vector<V>& y) {
  return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(V)) == 0;
}

template <class V>
class Solver : public ::testing::Test {};
using ValueTypes = ::testing::Types<float, double, ccomplex, zcomplex>;
TYPED_TEST_SUITE(Solver, ValueTypes);

TYPED_TEST(Solver, ResidualAtRoundingLevel) {
  using V = TypeParam;
  uint32_t seed = 1;
  for (auto [name, p] : std::vector<std::pair<const char*, Pattern>>{{"grid 1x1", yale_bench::grid_pattern(1, 1)},
                                                                      {"grid 5x5", yale_bench::grid_pattern(5, 5)},
                                                                      {"random 250", random_symmetric(250, 8, 12)},
                                                                      {"arrow 40", arrow(40)},
                                                                      {"dense 12", dense(12)}}) {
    shuffle_rows(p, seed);  // the factorisation reads rows in any order
    Solve<V> s(p, yale_bench::dominant_values<V>(p, seed));
    const auto b = random_vector<V>(p.n, seed + 100);
    std::vector<V> z(static_cast<std::size_t>(p.n));
    ASSERT_EQ(s.order(), 0) << name;
    ASSERT_EQ(s.factor(1, b, z), 0) << name;
    EXPECT_GE(s.esp, 0);
    EXPECT_LT(residual(s.p, s.a, z, b), 20 * unit_roundoff<V>()) << name;
    ++seed;
  }
}

TYPED_TEST(Solver, RepeatedTransposedAndSplitJobs) {
  using V = TypeParam;
  const Pattern p = yale_bench::grid_pattern(4, 3);
  Solve<V> s(p, yale_bench::dominant_values<V>(p, 5));
  ASSERT_EQ(s.order(), 0);
  const auto b1 = random_vector<V>(p.n, 1), b2 = random_vector<V>(p.n, 2);
  std::vector<V> z1(static_cast<std::size_t>(p.n)), z2 = z1, z3 = z1, z4 = z1, z5 = z1;
  ASSERT_EQ(s.factor(1, b1, z1), 0);

  // Job 5 then job 2 in another workspace: the same z as job 1, bit for bit,
  // and the same spare room.
  Solve<V> split(p, s.a);
  ASSERT_EQ(split.order(), 0);
  ASSERT_EQ(split.factor(5, b1, z5), 0);
  EXPECT_EQ(split.esp, s.esp);
  ASSERT_EQ(split.factor(2, b1, z5), 0);
  EXPECT_TRUE(same_bits(z1, z5));
  EXPECT_EQ(split.esp, s.esp);

  // Job 3: a new right-hand side with the stored factors gives what a full
  // factorisation gives, and leaves the flag alone.
  ASSERT_EQ(split.factor(1, b2, z2), 0);
  int32_t flag = 12345;
  yale::ndrv<V>(p.n, s.perm, s.perm, s.iperm, s.p.ia, s.p.ja, s.a, b2, z3, s.nwork, s.ws, s.esp, 3, flag);
  EXPECT_EQ(flag, 12345);
  EXPECT_TRUE(same_bits(z2, z3));

  // Job 4: the plain transpose.
  yale::ndrv<V>(p.n, s.perm, s.perm, s.iperm, s.p.ia, s.p.ja, s.a, b2, z4, s.nwork, s.ws, s.esp, 4, flag);
  EXPECT_LT(residual(s.p, s.a, z4, b2, true), 20 * unit_roundoff<V>());
  EXPECT_GT(residual(s.p, s.a, z4, b2, false), 1e3 * unit_roundoff<V>()) << "values are not symmetric";
}

// ------------------------------------------------------------------ error codes

struct Case {
  Pattern p;
  std::vector<zcomplex> a, b, z;
  std::vector<int32_t> perm, iperm;
  explicit Case(Pattern pat)
      : p(std::move(pat)),
        a(yale_bench::dominant_values<zcomplex>(p, 3)),
        b(random_vector<zcomplex>(p.n, 4)),
        z(static_cast<std::size_t>(p.n), zcomplex{-7, -7}),
        perm(static_cast<std::size_t>(p.n), -7),
        iperm(static_cast<std::size_t>(p.n), -7) {}
  int32_t order(int32_t nwork, int32_t job = 1) {
    yale::Workspace ws(nwork);
    int32_t flag = -1;
    yale::zodrv(p.n, p.ia, p.ja, a, perm, iperm, nwork, ws, job, flag);
    return flag;
  }
  int32_t solve(yale::Workspace& ws, int32_t nwork, int32_t job, int32_t& esp) {
    int32_t flag = 0;
    yale::zndrv(p.n, perm, perm, iperm, p.ia, p.ja, a, b, z, nwork, ws, esp, job, flag);
    return flag;
  }
};

TEST(SolverErrors, JobOutOfRangeTouchesNothing) {
  Case c(yale_bench::grid_pattern(2, 1));
  const Case before = c;
  for (int32_t job : {0, 6}) {
    EXPECT_EQ(c.order(1000, job), 11 * c.p.n + 1);
    yale::Workspace ws(1000);
    int32_t esp = -99;
    EXPECT_EQ(c.solve(ws, 1000, job, esp), 11 * c.p.n + 1);
    EXPECT_EQ(esp, -99);
  }
  EXPECT_EQ(c.perm, before.perm);
  EXPECT_TRUE(same_bits(c.z, before.z));
}

TEST(SolverErrors, OrderingWorkspace) {
  Case c(yale_bench::grid_pattern(2, 2));
  const int32_t n = c.p.n;
  EXPECT_EQ(c.order(3 * n - 1), 10 * n + 1);  // nc < n
  EXPECT_EQ(c.order(3 * n), 9 * n + 1);       // nc = n: no room for row 1's first edge

  // The pool needs n + 2e cells for e entries above the diagonal, and the
  // ordering counts the workspace as nwork integer words.
  int32_t e = 0, last = 0;
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t q = c.p.ia[i - 1]; q < c.p.ia[i]; ++q)
      if (c.p.ja[q - 1] > i) ++e, last = i;
  const int32_t exact = n + 2 * (n + 2 * e);
  EXPECT_EQ(c.order(exact), 0);
  EXPECT_TRUE(is_permutation(c.perm, c.iperm));
  EXPECT_EQ(c.order(exact - 1), 9 * n + last);

  // Reordering needs n + nnz integer words.
  EXPECT_EQ(c.order(n + c.p.nnz() - 1, 3), 10 * n + 1);
  EXPECT_EQ(c.order(n + c.p.nnz(), 3), 0);
}

TEST(SolverErrors, ValueStorageShortfallIsEsp) {
  Case c(yale_bench::grid_pattern(2, 2));
  const int32_t n = c.p.n;
  ASSERT_EQ(c.order(100000), 0);
  int32_t esp = 0;
  auto run = [&](int32_t nwork, int32_t job) {
    yale::Workspace ws(nwork);
    return c.solve(ws, nwork, job, esp);
  };
  ASSERT_EQ(run(100000, 1), 0);
  // The smallest workspace that holds the factors: esp words less.
  const int32_t tight = 100000 - esp;
  yale::Workspace ws(tight);
  ASSERT_EQ(c.solve(ws, tight, 1, esp), 0);
  EXPECT_EQ(esp, 0);
  const int32_t ucount = ws.iword(2 * n + 2) - 1;
  EXPECT_LT(residual(c.p, c.a, c.z, c.b), 1e-14);
  // Jobs 3 and 4 read the factors from the partition: refused when it could
  // not hold them.
  EXPECT_EQ(c.solve(ws, tight, 3, esp), 0);
  EXPECT_EQ(c.solve(ws, tight - 1, 3, esp), 10 * n + 1);
  EXPECT_EQ(c.solve(ws, tight - 1, 4, esp), 10 * n + 1);

  EXPECT_EQ(run(tight - 1, 1), 7 * n + 1);
  EXPECT_EQ(esp, -1);
  EXPECT_EQ(run(tight - ucount + 1, 1), 7 * n + 1);  // one word left for u_val
  EXPECT_EQ(esp, 1 - ucount);
  EXPECT_EQ(run(tight - ucount, 1), 10 * n + 1);  // none left
  EXPECT_EQ(run(tight - ucount, 5), 0) << "the structure alone still fits";

  // Too small for the structure: 3n+k or 6n+k, 1 <= k <= n.
  int32_t nwork = tight - ucount, flag = 0;
  while ((flag = run(nwork, 1)) == 10 * n + 1) --nwork;
  EXPECT_TRUE((flag - 1) / n == 3 || (flag - 1) / n == 6) << flag;
}

TEST(SolverErrors, ZeroPivotMissingDiagonalAndEmptyRow) {
  std::vector<int32_t> id = {1, 2};
  yale::Workspace ws(200);
  int32_t esp = 0;
  const std::vector<zcomplex> b = {{1, 0}, {1, 0}}, one = {{1, 0}, {1, 0}};
  std::vector<zcomplex> z = {{-7, 0}, {-7, 0}};
  auto solve = [&](const Pattern& p, const std::vector<zcomplex>& a) {
    int32_t flag = 0;
    yale::zndrv(2, id, id, id, p.ia, p.ja, a, b, z, 200, ws, esp, 1, flag);
    return flag;
  };
  // All four entries stored, zero diagonal values: 8n+1, z not written.
  EXPECT_EQ(solve(dense(2), {{0, 0}, {1, 0}, {1, 0}, {0, 0}}), 17);
  EXPECT_EQ(z[0].re, -7);
  // Without the diagonal entries: rejected by the structure, 5n+1.
  EXPECT_EQ(solve(from_entries(2, {{1, 2}, {2, 1}}), one), 11);
  // An empty row 2: n+k.
  Pattern hole;
  hole.n = 2;
  hole.ia = {1, 2, 2};
  hole.ja = {1};
  EXPECT_EQ(solve(hole, one), 2 + 2);
}

}  // namespace

namespace {

// The right-looking row elimination written out plainly, one row of U after
// the other, on the structure the symbolic step left in the workspace.
template <class V>
std::vector<V> plain_elimination(Solve<V>& s, const std::vector<V>& b) {
  const int32_t n = s.p.n;
  auto iw = [&](int32_t w) { return s.ws.iword(w); };
  auto l_start = [&](int32_t k) { return iw(k); };
  auto u_start = [&](int32_t k) { return iw(n + 1 + k); };
  const int32_t lcount = l_start(n + 1) - 1;
  auto l_col = [&](int32_t p) { return iw(2 * n + 2 + p); };
  auto u_col = [&](int32_t p) { return iw(2 * n + 2 + lcount + p); };
  std::vector<V> acc(n + 1), y(n + 1), d(n + 1), u_val(u_start(n + 1));
  std::vector<int32_t> icol(n + 1);
  for (int32_t k = 1; k <= n; ++k) icol[s.perm[k - 1]] = k;
  for (int32_t k = 1; k <= n; ++k) {
    for (int32_t p = l_start(k); p < l_start(k + 1); ++p) acc[l_col(p)] = V{};
    acc[k] = V{};
    for (int32_t p = u_start(k); p < u_start(k + 1); ++p) acc[u_col(p)] = V{};
    const int32_t r = s.perm[k - 1];
    for (int32_t e = s.p.ia[r - 1]; e < s.p.ia[r]; ++e) acc[icol[s.p.ja[e - 1]]] = s.a[e - 1];
    V sum = b[r - 1];
    for (int32_t p = l_start(k); p < l_start(k + 1); ++p) {
      const int32_t i = l_col(p);
      const V x = acc[i];
      sum = sum - x * y[i];
      for (int32_t q = u_start(i); q < u_start(i + 1); ++q) acc[u_col(q)] = acc[u_col(q)] - x * u_val[q];
    }
    if constexpr (std::is_floating_point_v<V>)
      d[k] = V(1) / acc[k];
    else
      d[k] = core::crecip(acc[k]);
    y[k] = sum * d[k];
    for (int32_t p = u_start(k); p < u_start(k + 1); ++p) u_val[p] = acc[u_col(p)] * d[k];
  }
  std::vector<V> z(n);
  for (int32_t i = n; i >= 1; --i) {
    V v = y[i];
    for (int32_t p = u_start(i); p < u_start(i + 1); ++p) v = v - u_val[p] * y[u_col(p)];
    y[i] = v;
    z[s.perm[i - 1] - 1] = v;
  }
  return z;
}

template <class V>
class Elimination : public ::testing::Test {};
using EliminationTypes = ::testing::Types<double, zcomplex>;
TYPED_TEST_SUITE(Elimination, EliminationTypes);

// The factorisation subtracts the nested rows of a supernode as one block,
// with fused multiply-adds in the widest lanes the processor has: not the
// same roundings as the plain elimination, but as accurate.  Its backward
// error stays within a small multiple of the plain one, and the two
// solutions agree to what the conditioning allows.
TYPED_TEST(Elimination, AsAccurateAsThePlainRowByRowElimination) {
  using V = TypeParam;
  uint32_t seed = 7;
  for (auto& [name, p] : std::vector<std::pair<const char*, Pattern>>{{"grid 8x6", yale_bench::grid_pattern(8, 6)},
                                                                       {"dense 40", dense(40)},
                                                                       {"random 200", random_symmetric(200, 6, 5)}}) {
    Solve<V> s(p, yale_bench::dominant_values<V>(p, seed));
    const auto b = random_vector<V>(p.n, seed + 1);
    std::vector<V> z(static_cast<std::size_t>(p.n));
    ASSERT_EQ(s.order(), 0);
    ASSERT_EQ(s.factor(1, b, z), 0);
    const std::vector<V> want = plain_elimination(s, b);
    const double plain = residual(s.p, s.a, want, b), blocked = residual(s.p, s.a, z, b);
    EXPECT_LE(blocked, 4 * plain + unit_roundoff<V>()) << name;
    long double diff = 0, size = 0;
    for (int32_t i = 0; i < p.n; ++i) {
      diff = std::max(diff, std::abs(to_c(z[i]) - to_c(want[i])));
      size = std::max(size, std::abs(to_c(want[i])));
    }
    EXPECT_LT(diff / size, 100 * unit_roundoff<V>()) << name << ": diagonally dominant, well conditioned";
    ++seed;
  }
}

}  // namespace
