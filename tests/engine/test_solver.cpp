// The own backend against a pivoted dense elimination in long double, on
// random systems with positive semidefinite real and imaginary parts and on
// patterns that stress the symbolic phase (an arrow, disconnected blocks,
// unknowns coupled to nothing, order one, repeated entries): plain and
// refined solves of a block, each vector alone, one and two threads,
// refactorisation with new values, small pivots, the memory guard and bad
// input. (Orderings and thread counts on a grid system: test_schedule.cpp.)
#include <gtest/gtest.h>

#include <initializer_list>
#include <limits>
#include <tuple>

#include "core/backward_error.hpp"
#include "tests/engine/support.hpp"
#include "tests/support/refusal.hpp"

namespace {

using namespace engine_test;

std::unique_ptr<engine::SparseSolver> factorised(const Coo& a, engine::Options o = {}) {
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(a.pattern, o);
  s->factorise(a.values);
  return s;
}

// An arrow with its hub first or last.
Coo arrow(bool head_first) {
  Coo a;
  const Index n = 60, hub = head_first ? 0 : n - 1;
  a.pattern.n = n;
  for (Index i = 0; i < n; ++i) a.add(i, i, {4.0 + i, 1.0});
  for (Index i = 0; i < n; ++i)
    if (i != hub) a.add(i, hub, {0.5, -0.25});
  a.add(hub, hub, {double(n), 0});
  return a;
}

// Unknowns 0..89 one system, 90..99 coupled to nothing, 100..149 a second system.
Coo disconnected() {
  Coo a = random_system(90, 120, 11);
  const Coo b = random_system(50, 90, 12);
  a.pattern.n = 150;
  for (Index i = 90; i < 100; ++i) a.add(i, i, {1.0 + i, 2.0});
  for (std::size_t k = 0; k < b.values.size(); ++k) a.add(b.pattern.row[k] + 100, b.pattern.col[k] + 100, b.values[k]);
  return a;
}

// Entries given as (row, col, value) in the lower triangle.
Coo of(Index n, std::initializer_list<std::tuple<Index, Index, zcomplex>> entries) {
  Coo a;
  a.pattern.n = n;
  for (const auto& [i, j, v] : entries) a.add(i, j, v);
  return a;
}

// Three right-hand sides at once, plain and refined: each column agrees
// with the dense route and has the bits of its solve alone (with two
// threads the block is solved in two halves side by side); then new values
// on the same pattern (the dissipation growing with the frequency). Order
// one with a repeated entry (summed to 3 + 2i); entry (1,1) of the order-3
// matrix is not in the pattern: its pivot is filled in by the elimination of
// unknown 0, a zero pivot, not a hole.
TEST(EngineSolve, EveryPatternMatchesDenseEliminationAloneOrInABlockOnAnyThreads) {
  const Coo cases[] = {random_system(150, 260, 1), random_system(150, 260, 2), arrow(true), arrow(false), disconnected(),
                       of(1, {{0, 0, {2, 3}}, {0, 0, {1, -1}}}), of(2, {{1, 0, {1, 1}}, {0, 0, {3, 0}}, {1, 1, {2, 1}}}),
                       of(3, {{0, 0, {2, 1}}, {1, 0, {1, 0}}, {2, 2, {1, 0}}, {2, 1, {0, 1}}})};
  for (Coo a : cases)
    for (const int threads : {1, 2}) {
      const Index n = a.pattern.n;
      SCOPED_TRACE(testing::Message() << "order " << n << ", threads " << threads);
      engine::Options o;
      o.threads = threads;
      auto s = factorised(a, o);
      const std::vector<zcomplex> b = random_block(n, 3, static_cast<std::uint32_t>(n));
      for (const bool refine : {false, true}) {
        std::vector<zcomplex> x = b;
        s->solve(x, 3, refine);
        for (Index c = 0; c < 3; ++c) {
          std::vector<zcomplex> one(b.begin() + c * n, b.begin() + (c + 1) * n);
          EXPECT_LT(relative_difference(x.data() + c * n, dense_solve(a, one)), 1e-10) << c;
          s->solve(one, 1, refine);
          EXPECT_TRUE(same_bits(one, std::vector<zcomplex>(x.begin() + c * n, x.begin() + (c + 1) * n))) << c;
        }
      }
      EXPECT_LE(s->statistics().backward_error, 1e-14);
      for (double w : s->backward_errors()) EXPECT_LE(w, 1e-14);
      // The factor holds at least the matrix's lower triangle and at most a dense one.
      const engine::Statistics& st = s->statistics();
      EXPECT_TRUE(st.n == n && st.factor_entries >= st.matrix_entries && st.factor_entries <= n * (n + 1) / 2);
      EXPECT_TRUE((st.flops > 0 || n == 1) && st.memory_bytes > 16 * st.factor_entries && st.memory_bytes == s->memory_needed());
      EXPECT_TRUE(st.perturbed_pivots == 0 && !st.ordering.empty());
      for (auto& v : a.values) v.im *= 2.0;
      s->factorise(a.values);
      std::vector<zcomplex> y(b.begin(), b.begin() + n);
      s->solve(y, 1, true);
      EXPECT_LT(relative_difference(y.data(), dense_solve(a, std::vector<zcomplex>(b.begin(), b.begin() + n))), 1e-10);
    }
}

// A backend without a block solve of its own: the contract's split of a
// partly refined block into its plain and its refined columns.
class Forwarding final : public engine::SparseSolver {
 public:
  explicit Forwarding(engine::SparseSolver& s) : s_(s) {}
  void analyse(const engine::Pattern& p, const engine::Options& o) override { s_.analyse(p, o); }
  std::int64_t memory_needed() const override { return s_.memory_needed(); }
  void factorise(std::span<const zcomplex> v) override { s_.factorise(v); }
  void solve(std::span<zcomplex> b, Index nrhs, bool refine) override { s_.solve(b, nrhs, refine); }
  const engine::Statistics& statistics() const override { return s_.statistics(); }
  std::vector<double> backward_errors() const override { return s_.backward_errors(); }

 private:
  engine::SparseSolver& s_;
};

// Four columns, the first two refined and the last two plain: each has the
// bits of its solve alone, refined or plain, on one thread and two and
// through the contract's split; the refined ones agree with the dense
// route, and the backward errors are the refined columns'.
TEST(EngineSolve, APartlyRefinedBlockGivesEachColumnItsOwnSolve) {
  const Coo a = random_system(150, 260, 3);
  const Index n = a.pattern.n;
  const std::vector<zcomplex> b = random_block(n, 4, 5);
  for (const int threads : {1, 2}) {
    engine::Options o;
    o.threads = threads;
    auto s = factorised(a, o);
    Forwarding split(*s);
    for (engine::SparseSolver* on : {static_cast<engine::SparseSolver*>(s.get()), static_cast<engine::SparseSolver*>(&split)}) {
      SCOPED_TRACE(testing::Message() << "threads " << threads << (on == &split ? ", split" : ""));
      std::vector<zcomplex> x = b;
      on->solve_partly_refined(x, 4, 2);
      EXPECT_EQ(on->backward_errors().size(), 2u);
      for (double w : on->backward_errors()) EXPECT_LE(w, 1e-14);
      for (Index c = 0; c < 4; ++c) {
        std::vector<zcomplex> one(b.begin() + c * n, b.begin() + (c + 1) * n);
        const std::vector<cld> dense = dense_solve(a, one);
        s->solve(one, 1, c < 2);
        EXPECT_TRUE(same_bits(one, std::vector<zcomplex>(x.begin() + c * n, x.begin() + (c + 1) * n))) << c;
        if (c < 2) {
          EXPECT_LT(relative_difference(x.data() + c * n, dense), 1e-10) << c;
        }
      }
    }
    std::vector<zcomplex> x = b;
    EXPECT_THROW(s->solve_partly_refined(x, 4, 5), std::invalid_argument);
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
  std::vector<long double> row_sums(static_cast<std::size_t>(n), 0);
  for (Index j = 0; j < n; ++j) {
    std::vector<zcomplex> e(static_cast<std::size_t>(n), zcomplex{0, 0});
    e[j] = {1, 0};
    const std::vector<cld> column = dense_solve(a, e);
    for (Index i = 0; i < n; ++i) row_sums[i] += std::abs(column[i]);
  }
  const double condition = 4.0 * static_cast<double>(*std::max_element(row_sums.begin(), row_sums.end()));
  EXPECT_GT(condition, 1e11);
  EXPECT_LT(relative_difference(x.data(), dense_solve(a, b)), 4 * condition * std::max(omega, core::kUnitRoundoff));
}

// Bad patterns, values and grid places are named; the automatic ordering
// is the grid's where the grid is known, METIS elsewhere; a backend that
// was not built is named.
TEST(EngineSolve, BadInputIsNamedAndTheAutomaticOrderingUsesTheGrid) {
  auto s = engine::make_solver(engine::Backend::own);
  engine::Pattern p{3, {0, 1}, {0, 2}};  // (1, 2) above the diagonal
  EXPECT_NE(support::refusal([&] { s->analyse(p, {}); }).find("entry 1 at (1, 2)"), std::string::npos);
  p.col = {0, 1}, p.row = {0, 3};  // beyond the order
  EXPECT_THROW(s->analyse(p, {}), std::invalid_argument);
  p.row = {0, 1};
  s->analyse(p, {});
  std::vector<zcomplex> v(3);
  EXPECT_THROW(s->factorise(v), std::invalid_argument);  // three values for two entries

  const Coo a = random_system(5, 6, 1);
  engine::GridPlaces places{1, 1, {0, 1, 2, 0, 3}, {0, 0, 0, 2, 1}};
  engine::Options o;
  o.ordering = engine::Ordering::geometric;
  o.grid = &places;
  EXPECT_NE(support::refusal([&] { s->analyse(a.pattern, o); }).find("unknown 4 at half-cell point (3, 1)"),
            std::string::npos);
  places.x2[4] = 1;
  for (const engine::Ordering order : {engine::Ordering::geometric, engine::Ordering::automatic}) {
    o.ordering = order;
    s->analyse(a.pattern, o);
    EXPECT_EQ(s->statistics().ordering, "geometric nested dissection");
  }
  o.grid = nullptr;
  s->analyse(a.pattern, o);
  EXPECT_EQ(s->statistics().ordering, "METIS nested dissection");
  o.ordering = engine::Ordering::geometric;
  EXPECT_THROW(s->analyse(a.pattern, o), std::invalid_argument);
#ifndef UPSCALE_HAVE_MUMPS
  EXPECT_NE(support::refusal([] { engine::make_solver(engine::Backend::mumps); }).find("mumps"), std::string::npos);
#endif
}

}  // namespace
