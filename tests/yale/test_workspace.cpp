// The workspace partition at the programs' size.
#include <gtest/gtest.h>

#include "core/capacities.hpp"
#include "tests/yale/support.hpp"

namespace {

using namespace yale_test;
using core::kMaxUnknowns;
using core::kNwork;
using core::zcomplex;

TEST(Partition, LargestGridOrdersAndFactorsInTheProgramsWorkspace) {
  const int32_t n = kMaxUnknowns;
  const auto op = yale::order_partition(n, kNwork);
  EXPECT_TRUE(op.fits);
  // The bucket heads end exactly at the last integer word the ordering may use.
  EXPECT_EQ(op.deg_head + n - 1, kNwork);
  const auto sp = yale::symbolic_partition(n, kNwork, 4);
  EXPECT_TRUE(sp.fits);
  EXPECT_GT(sp.jlmax, 0);
  EXPECT_EQ(sp.jt + sp.jumax - 1, 4 * kNwork) << "the temporary u_col ends at the last integer word";

  // The 60 x 60 grid: its structure in the programs' workspace, and the
  // values then have room to spare.
  Pattern p = yale_bench::grid_pattern(60, 60);
  ASSERT_EQ(p.n, n);
  ASSERT_EQ(p.nnz(), 254 * 3600 + 65 * 60 + 65 * 60 + 16);
  std::vector<zcomplex> a(static_cast<std::size_t>(p.nnz()));
  std::vector<int32_t> perm(static_cast<std::size_t>(n)), iperm(static_cast<std::size_t>(n));
  yale::Workspace ws(kNwork);
  int32_t flag = -1, esp = 0;
  yale::zodrv(n, p.ia, p.ja, a, perm, iperm, kNwork, ws, 1, flag);
  ASSERT_EQ(flag, 0);
  ASSERT_TRUE(is_permutation(perm, iperm));
  std::vector<zcomplex> b(static_cast<std::size_t>(n)), z(b);
  yale::zndrv(n, perm, perm, iperm, p.ia, p.ja, a, b, z, kNwork, ws, esp, 5, flag);
  ASSERT_EQ(flag, 0);
  const int32_t lcount = ws.iword(n + 1) - 1, ucount = ws.iword(2 * n + 2) - 1;
  EXPECT_EQ(lcount, ucount) << "structurally symmetric";
  const auto vp = yale::value_partition(n, kNwork, 4, lcount, ucount);
  EXPECT_EQ(esp, vp.esp);
  EXPECT_GT(vp.umax, ucount);
}

}  // namespace
