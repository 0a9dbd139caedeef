// The analysis: with two threads (the permuted triangle and the front map
// made in halves side by side) the same plan as with one (with one thread,
// the solves against the dense route check it), and the threads' share of a
// factorisation, subtrees of the supernode tree chosen by their flops; and
// the solves' subtrees.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/numeric.hpp"
#include "tests/engine/support.hpp"

namespace {

using namespace engine_test;
using engine::detail::Fronts;
using engine::detail::Lower;

// A random pattern of 6,000 unknowns (enough to be cut in halves): METIS's
// plan with two threads is the plan with one.
TEST(AnalysisHalves, TwoThreadsGiveThePlanOfOne) {
  const Lower a = engine::detail::input_matrix(random_system(6000, 9000, 17).pattern).lower;
  const std::vector<Index> order = engine::detail::metis_order(a);
  const engine::detail::Plan one = engine::detail::plan(a, order, 1), two = engine::detail::plan(a, order, 2);
  const Fronts &f = one.fronts, &g = two.fronts;
  EXPECT_TRUE(one.perm == two.perm && one.flops == two.flops && f.nsuper == g.nsuper);
  EXPECT_TRUE(f.first == g.first && f.parent == g.parent && f.rows_ptr == g.rows_ptr && f.rows == g.rows);
  EXPECT_TRUE(f.up == g.up && f.factor_ptr == g.factor_ptr && f.entry_ptr == g.entry_ptr);
  EXPECT_TRUE(f.entry_source == g.entry_source && f.entry_place == g.entry_place);
}

// On a sealed grid system (thousands of prescribed unknowns, each a tree of
// its own beside the grid's one large tree) every front lies in at most one
// subtree, the fronts of the top pass their updates to the top, the large
// tree is split so that the threads can share it, and the factors of each
// thread count solve the system.
TEST(EngineSchedule, SubtreesCoverEveryFrontOnceAndShareTheLargeTreeByFlops) {
  const auto g = ice_grid(24);
  ASSERT_TRUE(g.has_value());
  const Summed a = summed(g->pattern, g->values);
  const Fronts f = engine::detail::plan(*a.lower, engine::detail::grid_order(g->places, g->pattern.n)).fronts;
  const auto flops = [&](Index s) { return engine::detail::front_flops(f.m(s), f.nc(s)); };
  // Each front's flops added to every ancestor's subtree, walking up.
  std::vector<double> under(static_cast<std::size_t>(f.nsuper), 0);
  double total = 0;
  Index roots = 0;
  for (Index s = 0; s < f.nsuper; ++s) {
    total += flops(s);
    roots += f.parent[s] == -1;
    for (Index up = s; up != -1; up = f.parent[up]) under[up] += flops(s);
  }
  ASSERT_GT(roots, 64 * 2) << "the system should have many single-unknown trees";
  const std::vector<double> work = engine::detail::subtree_work(f);
  for (Index s = 0; s < f.nsuper; ++s) EXPECT_NEAR(work[s], under[s], 1e-12 * under[s]) << "supernode " << s;
  for (int threads : {2, 4}) {
    const std::vector<Index> roots_of = engine::detail::subtree_schedule(f, threads);
    const engine::detail::StackPlan plan = engine::detail::stack_plan(f, roots_of, threads);
    std::vector<int> times(static_cast<std::size_t>(f.nsuper), 0);
    double heaviest = 0;
    for (Index r : roots_of) {
      // The fronts r - size + 1 .. r (in postorder) hold the flops of r's descendants.
      double in_range = 0;
      for (Index s = r - plan.subtree_size[r] + 1; s <= r; ++s) {
        ++times[s];
        in_range += flops(s);
      }
      EXPECT_NEAR(in_range, under[r], 1e-12 * under[r]) << "subtree of " << r;
      heaviest = std::max(heaviest, work[r]);
    }
    for (Index s = 0; s < f.nsuper; ++s) {
      EXPECT_TRUE(times[s] <= 1 && (plan.done[s] != 0) == (times[s] == 1)) << "front " << s << ", " << threads;
      EXPECT_TRUE(f.parent[s] == -1 || times[s] == 1 || times[f.parent[s]] == 0) << "front " << s;
    }
    // The large tree is split: no subtree holds more than a quarter of the work.
    EXPECT_LE(heaviest, total / 4) << threads << " threads";
    // The unrefined solve's backward error, from the summed matrix, would be
    // far above the roundoff with a front missed or added twice.
    engine::Options o;
    o.grid = &g->places;
    o.threads = threads;
    auto solver = engine::make_solver(engine::Backend::own);
    solver->analyse(g->pattern, o);
    solver->factorise(g->values);
    std::vector<zcomplex> x = g->rhs, r(x.size());
    solver->solve(x, 1, false);
    EXPECT_LE(engine::detail::residual(*a.lower, a.values.data(), x.data(), g->rhs.data(), r.data()), 1e-12) << threads;
  }
}

// A subtree's forward sweep reaches the rows above it only through its
// root's front (the rows of a column's factor are, beyond its parent, rows
// of its parent's): the solves' buffers rest on it.
TEST(EngineSchedule, SolveSubtreesReachAboveOnlyThroughTheirRootsFront) {
  const auto g = ice_grid(24);
  ASSERT_TRUE(g.has_value());
  const Summed a = summed(g->pattern, g->values);
  const Fronts f = engine::detail::plan(*a.lower, engine::detail::grid_order(g->places, g->pattern.n)).fronts;
  const engine::detail::SolveSplit split = engine::detail::solve_split(f);
  ASSERT_GT(split.root.size(), 2u);
  std::vector<std::size_t> order = split.order;
  std::sort(order.begin(), order.end());
  for (std::size_t k = 0; k < order.size(); ++k) EXPECT_EQ(order[k], k);
  Index above_rows = 0;
  for (std::size_t k = 0; k < split.root.size(); ++k) {
    const Index root = split.root[k], end = f.first[root + 1];
    EXPECT_TRUE(split.lo[k] <= root && (k == 0 || split.root[k - 1] < split.lo[k])) << k;
    const Index* rows = f.rows.data() + f.rows_ptr[root] + f.nc(root);
    const Index* rows_end = f.rows.data() + f.rows_ptr[root + 1];
    for (Index s = split.lo[k]; s <= root; ++s)
      for (Index p = f.rows_ptr[s] + f.nc(s); p < f.rows_ptr[s + 1]; ++p)
        if (f.rows[p] >= end) {
          ++above_rows;
          EXPECT_TRUE(std::binary_search(rows, rows_end, f.rows[p])) << "row " << f.rows[p] << " of front " << s;
        }
  }
  EXPECT_GT(above_rows, 0);
}

}  // namespace
