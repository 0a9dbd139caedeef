// Patterns that stress the symbolic phase: an arrow, disconnected blocks,
// order one, unknowns coupled to nothing, repeated entries; bad input and
// the grid places of the geometric ordering.
#include <gtest/gtest.h>

#include <initializer_list>
#include <tuple>

#include "tests/engine/support.hpp"
#include "tests/support/refusal.hpp"

namespace {

using namespace engine_test;

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

// Each pattern solves a x = b for random b as the dense route does, on one
// and two threads. Order one with a repeated
// entry (summed to 3 + 2i); entry (1,1) of the order-3 matrix is not in the
// pattern: its pivot is filled in by the elimination of unknown 0
// (whichever order is taken, the sum is definite), a zero pivot, not a hole.
TEST(EnginePatterns, AwkwardPatternsSolve) {
  const Coo cases[] = {arrow(true), arrow(false), disconnected(), of(1, {{0, 0, {2, 3}}, {0, 0, {1, -1}}}),
                       of(2, {{1, 0, {1, 1}}, {0, 0, {3, 0}}, {1, 1, {2, 1}}}),
                       of(3, {{0, 0, {2, 1}}, {1, 0, {1, 0}}, {2, 2, {1, 0}}, {2, 1, {0, 1}}})};
  for (const Coo& a : cases)
    for (int threads : {1, 2}) {
      engine::Options o;
      o.threads = threads;
      auto s = engine::make_solver(engine::Backend::own);
      s->analyse(a.pattern, o);
      s->factorise(a.values);
      const std::vector<zcomplex> b = random_block(a.pattern.n, 1, 3);
      std::vector<zcomplex> x = b;
      s->solve(x, 1, true);
      EXPECT_LT(relative_difference(x.data(), dense_solve(a, b)), 1e-10) << a.pattern.n << " " << threads;
      EXPECT_LE(s->statistics().backward_error, 1e-14) << a.pattern.n << " " << threads;
    }
  // Order one by hand: (3 + 2i) x = 3 + 2i.
  const Coo one = cases[3];
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(one.pattern, {});
  s->factorise(one.values);
  std::vector<zcomplex> x{{3, 2}};
  s->solve(x, 1);
  EXPECT_NEAR(x[0].re, 1, 1e-15);
  EXPECT_NEAR(x[0].im, 0, 1e-15);
}

// Bad patterns and grid places are named; the automatic ordering is the
// grid's where the grid is known, METIS elsewhere.
TEST(EnginePatterns, BadInputIsNamedAndTheAutomaticOrderingUsesTheGrid) {
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
}

}  // namespace
