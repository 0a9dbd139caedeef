// Solves with the stored factors for several vectors in one sweep: each
// solution must be the one-vector solve's bit for bit, in any number of
// sweeps and with any room left behind the factors, and the refusals must
// leave the vectors alone.
#include "tests/yale/support.hpp"
#include "yale/several_solves.hpp"

namespace {

using namespace yale_test;
using core::zcomplex;

template <class V>
class SeveralSolves : public ::testing::Test {};
TYPED_TEST_SUITE(SeveralSolves, ValueTypes);

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

// 11 vectors: a full sweep of kMaxSolvesAtOnce and a partial one, or with
// room for fewer, sweeps of that many, or one at a time; the transposed
// solutions also solve the transposed system (the one-vector solve's own check).
TYPED_TEST(SeveralSolves, EachSolutionIsTheOneVectorSolveBitForBit) {
  using V = TypeParam;
  uint32_t seed = 3;
  for (const Pattern& p : {grid_pattern(4, 3), banded(37, 5), arrow(30)}) {
    Solve<V> roomy(p, seed);
    const auto b = random_vector<V>(p.n, seed);
    std::vector<V> z(static_cast<std::size_t>(p.n)), one = z;
    ASSERT_EQ(roomy.order_and_factor(b, z), 0);
    for (const int32_t spare_vectors : {yale::kMaxSolvesAtOnce, 3, 1, 0}) {
      // The same factors in a workspace with room for 2n words per vector.
      Solve<V> s(p, roomy.a, roomy.nwork - roomy.esp + 2 * p.n * spare_vectors);
      s.perm = roomy.perm, s.iperm = roomy.iperm;
      ASSERT_EQ(s.factor(1, b, z), 0);
      for (const int32_t job : {3, 4}) {
        SCOPED_TRACE(testing::Message() << "n " << p.n << " room " << spare_vectors << " job " << job);
        auto vs = random_vectors<V>(11, p.n, seed + 10);
        const auto bs = vs;
        ASSERT_EQ(solve_vectors(s, job, vs, s.nwork), 0);
        for (std::size_t r = 0; r < vs.size(); ++r) {
          s.factor(job, bs[r], one);
          EXPECT_TRUE(same_bits(vs[r], one)) << "vector " << r;
          EXPECT_LT(residual(p, s.a, vs[r], bs[r], job == 4), 20 * unit_roundoff<V>()) << "vector " << r;
        }
      }
    }
    ++seed;
  }
}

// Other jobs, a vector shorter than n: 11 n + 1; nwork beyond the
// workspace, or a partition whose value storage cannot hold the factors
// of U: 10 n + 1; the vectors untouched; no vector: nothing to do.
TEST(SeveralSolvesRefused, OtherJobsShortVectorsAndNoFactors) {
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

}  // namespace
