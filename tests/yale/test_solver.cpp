// The drivers end to end, for every value type: residuals, repeated and
// transposed solves, several vectors in one sweep, accuracy against a dense
// elimination, error codes.
#include <cstdio>

#include "tests/fixtures/dense_solve.hpp"
#include "tests/yale/support.hpp"
#include "yale/elimination_kernel.hpp"
#include "yale/several_solves.hpp"

namespace {

using namespace yale_test;
using core::zcomplex;

template <class V>
class Solver : public ::testing::Test {};
TYPED_TEST_SUITE(Solver, ValueTypes);

// The relative error of z against the exact solution of the stored system
// or of its plain transpose: a pivoted dense elimination in long double,
// sharing nothing with the sparse solver.
template <class V>
double error_against_dense(const Pattern& p, const std::vector<V>& a, const std::vector<V>& b, const std::vector<V>& z,
                           bool transpose = false) {
  std::vector<std::complex<long double>> m(static_cast<std::size_t>(p.n) * p.n), x;
  for (int32_t i = 1; i <= p.n; ++i)
    for (int32_t e = p.ia[i - 1]; e < p.ia[i]; ++e) {
      const std::size_t r = transpose ? p.ja[e - 1] - 1 : i - 1, c = transpose ? i - 1 : p.ja[e - 1] - 1;
      m[r * static_cast<std::size_t>(p.n) + c] += to_c(a[e - 1]);
    }
  for (const V& v : b) x.push_back(to_c(v));
  x = fixtures::dense_solve(std::move(m), std::move(x), p.n);
  long double diff = 0, size = 0;
  for (int32_t i = 0; i < p.n; ++i) diff = std::max(diff, std::abs(to_c(z[i]) - x[i])), size = std::max(size, std::abs(x[i]));
  return static_cast<double>(diff / size);
}

template <class V>
std::vector<std::vector<V>> random_vectors(int count, int32_t n, uint32_t seed) {
  std::vector<std::vector<V>> vs;
  for (int r = 0; r < count; ++r) vs.push_back(random_vector<V>(n, seed + static_cast<uint32_t>(r)));
  return vs;
}

template <class V>
int32_t solve_vectors(Solve<V>& s, int32_t job, std::vector<std::vector<V>>& vs, int32_t nwork) {
  std::vector<std::span<V>> views(vs.begin(), vs.end());
  int32_t flag = 0;
  yale::ndrv_vectors<V>(s.p.n, s.perm, s.perm, nwork, s.ws, job, views, flag);
  return flag;
}

// The factorisation subtracts the nested rows of U as blocks (in double
// complex four target rows at a time where they form a chain, with fused
// multiply-adds in vector lanes): the exact solution to what the
// conditioning allows (these matrices are diagonally dominant). Rows stored
// in any order; the grids and the dense pattern take the blocked paths
// (chains of nested rows), the arrow the row by row one. With the stored
// factors: job 3, a new right-hand side as a whole factorisation would give,
// the flag untouched; job 4, the plain transpose; job 5 then
// job 2 in another workspace, the same z and spare room. Several vectors in
// one sweep (11: a full sweep of kMaxSolvesAtOnce and a partial one, or
// with room for fewer, sweeps of that many, or one at a time): each the
// one-vector solve's bit for bit.
template <class V>
void check_against_dense_elimination() {
  uint32_t seed = 7;
  for (const Pattern& q : {grid_pattern(1, 1), grid_pattern(5, 5), grid_pattern(8, 6), banded(40, 40), arrow(50)}) {
    const Pattern p = shuffled(q, seed);
    Solve<V> s(p, seed);
    const auto b = random_vector<V>(p.n, seed + 1), b2 = random_vector<V>(p.n, seed + 2);
    std::vector<V> z(static_cast<std::size_t>(p.n)), z2 = z, z3 = z, z4 = z;
    ASSERT_EQ(s.order_and_factor(b, z), 0);
    EXPECT_LT(error_against_dense(p, s.a, b, z), 100 * unit_roundoff<V>()) << p.n;
    EXPECT_EQ(s.factor(3, b2, z3, 12345), 12345);
    s.factor(4, b2, z4);
    EXPECT_LT(error_against_dense(p, s.a, b2, z4, true), 100 * unit_roundoff<V>()) << p.n;
    Solve<V> split(s.p, s.a);
    split.perm = s.perm, split.iperm = s.iperm;
    EXPECT_TRUE(split.factor(5, b, z2) == 0 && split.factor(2, b2, z2) == 0 && same_bits(z2, z3) && split.esp == s.esp);
    for (const int32_t spare_vectors : {yale::kMaxSolvesAtOnce, 3, 1, 0}) {
      // The same factors in a workspace with room for 2n words per vector.
      Solve<V> t(p, s.a, s.nwork - s.esp + 2 * p.n * spare_vectors);
      t.perm = s.perm, t.iperm = s.iperm;
      ASSERT_EQ(t.factor(1, b, z2), 0);
      for (const int32_t job : {3, 4}) {
        auto vs = random_vectors<V>(11, p.n, seed + 10);
        const auto bs = vs;
        ASSERT_EQ(solve_vectors(t, job, vs, t.nwork), 0);
        for (std::size_t r = 0; r < vs.size(); ++r)
          EXPECT_TRUE(t.factor(job, bs[r], z2) == 0 && same_bits(vs[r], z2)) << "room " << spare_vectors << " job " << job << " vector " << r;
      }
    }
    ++seed;
  }
}

TYPED_TEST(Solver, TheExactSolutionToTheConditioning) { check_against_dense_elimination<TypeParam>(); }

// The same for each kernel of the double-complex update that the processor
// has: plain arithmetic (what a processor without AVX2 runs), 256 and 512
// bits. The 256-bit kernels do in each lane the very operations of the
// 512-bit ones (the same rows of U per pass, the same split sums, the same
// column tails), so both give the same solutions bit for bit: on grids whose
// chains of nested rows fill blocks of every height and panels, with column
// counts of every remainder.
TEST(BlockKernels, EachWidthAccurateAndAvx2TheBitsOfAvx512) {
  struct BestAfterwards {
    ~BestAfterwards() { yale::use_block_kernel("best"); }
  } restore;
  for (const char* kernel : {"plain", "avx2", "avx512"}) {
    if (!yale::use_block_kernel(kernel)) {
      std::printf("skipped: this processor has no %s kernel\n", kernel);
      continue;
    }
    SCOPED_TRACE(kernel);
    EXPECT_STREQ(yale::block_kernel_name(), kernel);
    check_against_dense_elimination<zcomplex>();
  }
  if (!yale::use_block_kernel("avx2") || !yale::use_block_kernel("avx512")) return;
  uint32_t seed = 11;
  for (const Pattern& p : {grid_pattern(9, 7), grid_pattern(14, 13), banded(61, 23)}) {
    const auto b = random_vector<zcomplex>(p.n, seed + 1);
    std::vector<zcomplex> z[2], zt[2];
    for (int k = 0; k < 2; ++k) {
      ASSERT_TRUE(yale::use_block_kernel(k == 0 ? "avx512" : "avx2"));
      Solve<zcomplex> s(p, seed);
      z[k].resize(static_cast<std::size_t>(p.n)), zt[k] = z[k];
      ASSERT_EQ(s.order_and_factor(b, z[k]), 0);
      s.factor(4, b, zt[k]);
    }
    EXPECT_TRUE(same_bits(z[0], z[1]) && same_bits(zt[0], zt[1])) << p.n;
    ++seed;
  }
}

// ------------------------------------------------------------------ error codes

// Several vectors: other jobs, a vector shorter than n: 11 n + 1; nwork
// beyond the workspace, or a partition whose value storage cannot hold the
// factors of U: 10 n + 1; the vectors untouched; no vector: nothing to do.
TEST(SolverErrors, SeveralVectorsRefused) {
  const Pattern p = grid_pattern(2, 2);
  const int32_t n = p.n;
  Solve<zcomplex> s(p, 5u);
  std::vector<zcomplex> z(static_cast<std::size_t>(n));
  ASSERT_EQ(s.order_and_factor(random_vector<zcomplex>(n, 6), z), 0);
  auto vs = random_vectors<zcomplex>(2, n, 7);
  const auto before = vs;
  for (const int32_t job : {1, 2, 5, 0}) EXPECT_EQ(solve_vectors(s, job, vs, s.nwork), 11 * n + 1) << job;
  EXPECT_TRUE(solve_vectors(s, 3, vs, s.nwork + 1) == 10 * n + 1 && solve_vectors(s, 4, vs, s.nwork - s.esp - 1) == 10 * n + 1);
  EXPECT_TRUE(same_bits(vs[0], before[0]) && same_bits(vs[1], before[1]));
  vs[1].pop_back();
  EXPECT_EQ(solve_vectors(s, 3, vs, s.nwork), 11 * n + 1);
  std::vector<std::vector<zcomplex>> none;
  EXPECT_EQ(solve_vectors(s, 4, none, s.nwork), 0);
}

// Flags k n + row: unknown jobs (11), a pool or store too small (10), the
// pool run out at the last row with an entry above the diagonal (9), no
// room for the factors (7), the structure of L or U (3 or 6).
TEST(SolverErrors, WorkspaceShortfallsInEachStep) {
  const Pattern p = grid_pattern(2, 2);
  const int32_t n = p.n;
  const auto b = random_vector<zcomplex>(n, 4);
  std::vector<zcomplex> z(static_cast<std::size_t>(n));
  auto order = [&](int32_t nwork, int32_t job = 1) { return Solve<zcomplex>(p, 3, nwork).order(job); };
  EXPECT_TRUE(order(1000, 0) == 11 * n + 1 && order(1000, 6) == 11 * n + 1);
  EXPECT_EQ(order(3 * n - 1), 10 * n + 1);  // a pool of fewer than n cells
  // The pool holds n + 2e cells for e entries above the diagonal.
  int32_t e = 0, last = 0;
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t q = p.ia[i - 1]; q < p.ia[i]; ++q)
      if (p.ja[q - 1] > i) ++e, last = i;
  EXPECT_TRUE(order(n + 2 * (n + 2 * e)) == 0 && order(n + 2 * (n + 2 * e) - 1) == 9 * n + last);
  EXPECT_TRUE(order(n + p.nnz() - 1, 3) == 10 * n + 1 && order(n + p.nnz(), 3) == 0);  // reordering: n + nnz words
  // The smallest workspace for the factors is esp words less than a roomy one.
  Solve<zcomplex> roomy(p, 3, 100000);
  ASSERT_EQ(roomy.order_and_factor(b, z), 0);
  EXPECT_EQ(roomy.factor(0, b, z), 11 * n + 1);
  auto factor = [&](int32_t nwork, int32_t job, int32_t& esp) {
    Solve<zcomplex> s(p, 3, nwork);
    s.perm = roomy.perm, s.iperm = roomy.iperm;
    const int32_t flag = job == 3 ? (s.factor(1, b, z), s.factor(3, b, z, 0)) : s.factor(job, b, z);
    esp = s.esp;
    return flag;
  };
  const int32_t tight = 100000 - roomy.esp, ucount = roomy.u_count();
  int32_t esp = 0;
  EXPECT_TRUE(factor(tight, 1, esp) == 0 && esp == 0 && error_against_dense(p, roomy.a, b, z) < 100 * unit_roundoff<zcomplex>());
  EXPECT_TRUE(factor(tight - 1, 1, esp) == 7 * n + 1 && esp == -1);
  EXPECT_EQ(factor(tight - 1, 3, esp), 10 * n + 1) << "no stored factors to solve with";
  EXPECT_EQ(factor(tight - ucount, 1, esp), 10 * n + 1);  // no word left for u_val
  EXPECT_EQ(factor(tight - ucount, 5, esp), 0) << "the structure alone still fits";
  int32_t nwork = tight - ucount, flag = 0;
  while ((flag = factor(nwork, 1, esp)) == 10 * n + 1) --nwork;
  EXPECT_TRUE((flag - 1) / n == 3 || (flag - 1) / n == 6) << "structure storage of L or U, " << flag;
}

TEST(SolverErrors, ZeroPivotMissingDiagonalEmptyRowAndRepeatedColumn) {
  const std::vector<zcomplex> one(3, zcomplex{1, 0});
  for (auto [p, a, want] : std::vector<std::tuple<Pattern, std::vector<zcomplex>, int32_t>>{
           {banded(2, 2), {{0, 0}, {1, 0}, {1, 0}, {0, 0}}, 8 * 2 + 1},  // zero pivot values
           {from_entries(2, {{1, 2}, {2, 1}}), one, 5 * 2 + 1},          // no diagonal in the structure
           {Pattern{2, {1, 2, 2}, {1}}, one, 2 + 2},                      // row 2 empty
           {Pattern{3, {1, 2, 3, 6}, {1, 2, 3, 1, 1}}, one, 2 * 3 + 3}}) { // row 3 holds column 1 twice
    Solve<zcomplex> s(p, a, 200);
    s.set_order();
    std::vector<zcomplex> z(static_cast<std::size_t>(p.n), zcomplex{-7, 0});
    EXPECT_EQ(s.factor(1, one, z), want);
    EXPECT_EQ(z[0].re, -7) << "z not written";
  }
}

}  // namespace
