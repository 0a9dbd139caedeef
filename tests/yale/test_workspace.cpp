// The workspace partition at the programs' size, and what a run touches.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/capacities.hpp"
#include "tests/yale/support.hpp"

namespace {

using namespace yale_test;
using core::kMaxUnknowns;
using core::kNwork;
using core::zcomplex;

TEST(Partition, LargestSystemFitsBothPartitions) {
  const int32_t n = kMaxUnknowns;
  const auto op = yale::order_partition(n, kNwork);
  EXPECT_TRUE(op.fits);
  // The bucket heads end exactly at the last integer word the ordering may use.
  EXPECT_EQ(op.deg_head + n - 1, kNwork);

  const auto sp = yale::symbolic_partition(n, kNwork, 4);
  EXPECT_TRUE(sp.fits);
  EXPECT_GT(sp.jlmax, 0);
  EXPECT_GT(sp.jumax, 0);
  EXPECT_EQ(sp.jt + sp.jumax - 1, 4 * kNwork) << "the temporary u_col ends at the last integer word";
}

TEST(Partition, GridOfTheProgramsFactorsInTheirWorkspace) {
  // The 60 x 60 grid: order it and build its structure in the programs'
  // workspace; the values then have room to spare.
  Pattern p = yale_bench::grid_pattern(60, 60);
  ASSERT_EQ(p.n, kMaxUnknowns);
  ASSERT_EQ(p.nnz(), 254 * 3600 + 65 * 60 + 65 * 60 + 16);
  std::vector<zcomplex> a(static_cast<std::size_t>(p.nnz()));
  std::vector<int32_t> perm(static_cast<std::size_t>(p.n)), iperm(static_cast<std::size_t>(p.n));
  yale::Workspace ws(kNwork);
  int32_t flag = -1, esp = 0;
  yale::zodrv(p.n, p.ia, p.ja, a, perm, iperm, kNwork, ws, 1, flag);
  ASSERT_EQ(flag, 0);
  ASSERT_TRUE(is_permutation(perm, iperm));
  std::vector<zcomplex> b(static_cast<std::size_t>(p.n)), z(b);
  yale::zndrv(p.n, perm, perm, iperm, p.ia, p.ja, a, b, z, kNwork, ws, esp, 5, flag);
  ASSERT_EQ(flag, 0);
  const int32_t lcount = ws.iword(p.n + 1) - 1, ucount = ws.iword(2 * p.n + 2) - 1;
  EXPECT_EQ(lcount, ucount) << "structurally symmetric";
  const auto vp = yale::value_partition(p.n, kNwork, 4, lcount, ucount);
  EXPECT_EQ(esp, vp.esp);
  EXPECT_GT(vp.umax, ucount);
}

long resident_kib() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

TEST(Partition, SmallRunTouchesOnlyItsRegionsOfALargeWorkspace) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer maps its own shadow pages";
#endif
  Pattern p = yale_bench::grid_pattern(10, 10);
  auto a = yale_bench::dominant_values<zcomplex>(p, 1);
  const auto b = random_vector<zcomplex>(p.n, 2);
  std::vector<zcomplex> z(static_cast<std::size_t>(p.n));
  std::vector<int32_t> perm(static_cast<std::size_t>(p.n)), iperm(static_cast<std::size_t>(p.n));
  const long before = resident_kib();
  yale::Workspace ws(kNwork);  // 177 MB
  int32_t flag = -1, esp = 0;
  yale::zodrv(p.n, p.ia, p.ja, a, perm, iperm, kNwork, ws, 1, flag);
  ASSERT_EQ(flag, 0);
  yale::zndrv(p.n, perm, perm, iperm, p.ia, p.ja, a, b, z, kNwork, ws, esp, 1, flag);
  ASSERT_EQ(flag, 0);
  EXPECT_LT(residual(p, a, z, b), 1e-14);
  const long grown = resident_kib() - before;
  EXPECT_LT(grown, 16 * 1024) << "KiB resident after the run";
}

}  // namespace
