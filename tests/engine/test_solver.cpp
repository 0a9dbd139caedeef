// The own backend against a pivoted dense elimination in long double, on
// random systems with positive semidefinite real and imaginary parts: plain
// and refined solves, blocks of right-hand sides, refactorisation with new
// values, and the memory guard. (Orderings and thread counts on a grid
// system: test_schedule.cpp.)
#include <gtest/gtest.h>

#include <limits>

#include "core/backward_error.hpp"
#include "tests/engine/support.hpp"

namespace {

using namespace engine_test;

std::unique_ptr<engine::SparseSolver> factorised(const Coo& a, engine::Options o = {}) {
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(a.pattern, o);
  s->factorise(a.values);
  return s;
}

// Three right-hand sides at once, then new values on the same pattern (the
// dissipation growing with the frequency); the statistics of the factor.
TEST(EngineSolve, MatchesDenseEliminationAndRefinesToRoundoff) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    const Index n = 150;
    Coo a = random_system(n, 260, seed);
    auto s = factorised(a);
    const std::vector<zcomplex> b = random_block(n, 3, seed + 10);
    std::vector<zcomplex> x = b;
    s->solve(x, 3, true);
    for (Index c = 0; c < 3; ++c) {
      const std::vector<zcomplex> bc(b.begin() + c * n, b.begin() + (c + 1) * n);
      EXPECT_LT(relative_difference(x.data() + c * n, dense_solve(a, bc)), 1e-10) << "seed " << seed;
    }
    EXPECT_LE(s->statistics().backward_error, 1e-14);
    ASSERT_EQ(s->backward_errors().size(), 3U);
    for (double w : s->backward_errors()) EXPECT_LE(w, 1e-14);
    // A column solved alone equals that column of the block.
    std::vector<zcomplex> one(b.begin() + n, b.begin() + 2 * n);
    s->solve(one, 1, true);
    std::vector<zcomplex> mid(x.begin() + n, x.begin() + 2 * n);
    EXPECT_LT(relative_difference(one, mid), 1e-14);
    // The factor holds at least the matrix's lower triangle and at most a dense one.
    const engine::Statistics& st = s->statistics();
    EXPECT_TRUE(st.n == n && st.factor_entries >= st.matrix_entries && st.factor_entries <= n * (n + 1) / 2);
    EXPECT_TRUE(st.flops > 0 && st.memory_bytes > 16 * st.factor_entries && st.memory_bytes == s->memory_needed());
    EXPECT_TRUE(st.perturbed_pivots == 0 && !st.ordering.empty());
    for (auto& v : a.values) v.im *= 2.0;
    s->factorise(a.values);
    std::vector<zcomplex> y(b.begin(), b.begin() + n);
    s->solve(y, 1, true);
    EXPECT_LT(relative_difference(y.data(), dense_solve(a, std::vector<zcomplex>(b.begin(), b.begin() + n))), 1e-10);
  }
}

TEST(EngineSolve, SmallPivotsArePerturbedAndRefinementRecovers) {
  // A semidefinite real part with a null vector, and a tiny imaginary part:
  // the sum is definite but the last pivot almost vanishes. The guard's
  // perturbation is 1e4 times that pivot: refinement alone would stall, the
  // low-rank correction removes it.
  Coo a;
  const Index n = 40;
  a.pattern.n = n;
  for (Index i = 0; i + 1 < n; ++i) {
    a.add(i, i, {1, 0}), a.add(i + 1, i + 1, {1, 0}), a.add(i + 1, i, {-1, 0});
  }
  for (Index i = 0; i < n; ++i) a.add(i, i, {0, 1e-12 * (1 + i % 3)});
  engine::Options o;
  o.threads = 1;
  auto s = factorised(a, o);
  EXPECT_GE(s->statistics().perturbed_pivots, 1);
  const std::vector<zcomplex> b = random_block(n, 1, 9);
  std::vector<zcomplex> x = b;
  s->solve(x, 1, true);
  const double omega = s->statistics().backward_error;
  EXPECT_LE(omega, 1e-14);
  // The answer is as good as its backward error and the condition allow
  // (about 1e12: ||A||_inf = 4 times ||A^-1||_inf, the largest row sum of
  // the inverse, from the long double elimination).
  long double inverse_norm = 0;
  std::vector<long double> row_sums(static_cast<std::size_t>(n), 0);
  for (Index j = 0; j < n; ++j) {
    std::vector<zcomplex> e(static_cast<std::size_t>(n), zcomplex{0, 0});
    e[j] = {1, 0};
    const std::vector<cld> column = dense_solve(a, e);
    for (Index i = 0; i < n; ++i) row_sums[i] += std::abs(column[i]);
  }
  for (long double r : row_sums) inverse_norm = std::max(inverse_norm, r);
  const double condition = 4.0 * static_cast<double>(inverse_norm);
  EXPECT_GT(condition, 1e11);
  EXPECT_LT(relative_difference(x.data(), dense_solve(a, b)), 4 * condition * std::max(omega, core::kUnitRoundoff));
}

TEST(EngineMemory, ATinyLimitStopsTheFactorisationBeforeItAllocates) {
  const Coo a = random_system(200, 300, 10);
  engine::Options o;
  o.memory_limit = 1000;
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(a.pattern, o);
  const std::int64_t need = s->memory_needed();
  EXPECT_GT(need, 1000);
  try {
    s->factorise(a.values);
    FAIL() << "no OutOfMemory";
  } catch (const engine::OutOfMemory& e) {
    EXPECT_EQ(e.needed_bytes, need);
    EXPECT_EQ(e.available_bytes, 1000);
    const std::string what = e.what();
    EXPECT_NE(what.find(std::to_string(need)), std::string::npos) << what;
    EXPECT_NE(what.find("1000 bytes"), std::string::npos) << what;
  }
  std::vector<zcomplex> b(200);
  EXPECT_THROW(s->solve(b, 1), std::logic_error);
}

TEST(EngineBackends, MumpsNamedWhenAbsent) {
#ifndef UPSCALE_HAVE_MUMPS
  try {
    engine::make_solver(engine::Backend::mumps);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("mumps"), std::string::npos);
  }
#endif
}

}  // namespace
