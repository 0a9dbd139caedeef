// The threads' share of a factorisation: subtrees of the supernode tree
// chosen by their flops. On a sealed grid system (thousands of prescribed
// unknowns, each a tree of its own beside the grid's one large tree) every
// front lies in at most one subtree, the fronts left over are exactly those
// above the subtrees, the large tree is split so that two threads can share
// it, and the factors of each thread count solve the system.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "engine/analysis.hpp"
#include "engine/numeric.hpp"
#include "tests/engine/support.hpp"

namespace {

using namespace engine_test;
using engine::detail::Fronts;

struct Analysed {
  engine::detail::InputMatrix input;
  engine::detail::Plan plan;
};

Analysed analysed(const engine_bench::GridSystem& g) {
  Analysed a;
  a.input = engine::detail::input_matrix(g.pattern);
  a.plan = engine::detail::plan(a.input.lower, engine::detail::grid_order(g.places, g.pattern.n));
  return a;
}

bool descends_from(const Fronts& f, Index s, Index r) {
  for (; s != -1 && s <= r; s = f.parent[s])
    if (s == r) return true;
  return false;
}

TEST(EngineSchedule, SubtreesCoverEveryFrontOnceAndShareTheLargeTreeByFlops) {
  const auto g = ice_grid(24);
  ASSERT_TRUE(g.has_value());
  const Analysed analysis = analysed(*g);
  const Fronts& f = analysis.plan.fronts;
  std::vector<zcomplex> summed(analysis.input.lower.row.size(), zcomplex{0, 0});
  for (std::size_t k = 0; k < g->values.size(); ++k) summed[analysis.input.slot[k]] += g->values[k];
  Index roots = 0;
  for (Index s = 0; s < f.nsuper; ++s) roots += f.parent[s] == -1;
  ASSERT_GT(roots, 64 * 2) << "the system should have many single-unknown trees";
  const std::vector<double> work = engine::detail::subtree_work(f);
  // Each front's flops added to every ancestor's subtree, walking up.
  std::vector<double> under(static_cast<std::size_t>(f.nsuper), 0);
  double total = 0;
  for (Index s = 0; s < f.nsuper; ++s) {
    total += engine::detail::front_flops(f.m(s), f.nc(s));
    for (Index a = s; a != -1; a = f.parent[a]) under[a] += engine::detail::front_flops(f.m(s), f.nc(s));
  }
  for (Index s = 0; s < f.nsuper; ++s) EXPECT_NEAR(work[s], under[s], 1e-12 * under[s]) << "supernode " << s;
  for (int threads : {2, 4}) {
    const std::vector<Index> roots_of = engine::detail::subtree_schedule(f, threads);
    const engine::detail::StackPlan plan = engine::detail::stack_plan(f, roots_of, threads);
    std::vector<int> times(static_cast<std::size_t>(f.nsuper), 0);
    double in_subtrees = 0, heaviest = 0;
    for (Index r : roots_of) {
      Index descendants = 0;
      for (Index s = 0; s <= r; ++s) descendants += descends_from(f, s, r);
      ASSERT_EQ(plan.subtree_size[r], descendants) << "subtree of " << r;
      double flops = 0;
      for (Index s = r - descendants + 1; s <= r; ++s) {
        EXPECT_TRUE(descends_from(f, s, r));
        ++times[s];
        flops += engine::detail::front_flops(f.m(s), f.nc(s));
      }
      EXPECT_NEAR(work[r], flops, 1e-12 * flops) << "subtree of " << r;
      in_subtrees += work[r];
      heaviest = std::max(heaviest, work[r]);
    }
    double above = 0;
    for (Index s = 0; s < f.nsuper; ++s) {
      EXPECT_LE(times[s], 1) << "front " << s << ", " << threads << " threads";
      EXPECT_EQ(plan.done[s] != 0, times[s] == 1) << "front " << s;
      if (times[s] == 0) above += engine::detail::front_flops(f.m(s), f.nc(s));
      // A front of the top passes its update to a front of the top.
      if (f.parent[s] != -1 && times[s] == 0) {
        EXPECT_EQ(times[f.parent[s]], 0) << "front " << s;
      }
    }
    EXPECT_NEAR(in_subtrees + above, total, 1e-9 * total);
    // The large tree is split: no subtree holds more than a quarter of the work.
    EXPECT_LE(heaviest, total / 4) << threads << " threads";
    // The factors of this many threads solve the system: the unrefined
    // solve's backward error, from the summed matrix, would be far above the
    // roundoff with a front missed or added twice.
    engine::Options o;
    o.grid = &g->places;
    o.threads = threads;
    auto solver = engine::make_solver(engine::Backend::own);
    solver->analyse(g->pattern, o);
    solver->factorise(g->values);
    std::vector<zcomplex> x = g->rhs, r(x.size());
    solver->solve(x, 1, false);
    EXPECT_LE(engine::detail::residual(analysis.input.lower, summed.data(), x.data(), g->rhs.data(), r.data()), 1e-12)
        << threads << " threads";
  }
}

}  // namespace
