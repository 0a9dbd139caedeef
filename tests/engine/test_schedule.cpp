// The threads' share of a factorisation: subtrees of the supernode tree
// chosen by their flops. On a sealed grid system (thousands of prescribed
// unknowns, each a tree of its own beside the grid's one large tree) every
// front lies in at most one subtree, the fronts left over are exactly those
// above the subtrees, the large tree is split so that two threads can share
// it, and the factors of any thread count solve the system alike.
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
  const Fronts& f = analysed(*g).plan.fronts;
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
      // A subtree's front passes its update up within the subtree or, at
      // its root, to a front of the top.
      const Index p = f.parent[s];
      if (p != -1 && times[s] == 1 && std::find(roots_of.begin(), roots_of.end(), s) == roots_of.end()) {
        EXPECT_EQ(times[p], 1) << "front " << s;
      }
      if (p != -1 && times[s] == 0) {
        EXPECT_EQ(times[p], 0) << "front " << s;
      }
    }
    EXPECT_NEAR(in_subtrees + above, total, 1e-9 * total);
    // The large tree is split: no subtree holds more than a quarter of the work.
    EXPECT_LE(heaviest, total / 4) << threads << " threads";
    // Handed out largest first, each to the thread that is free first.
    std::vector<double> load(static_cast<std::size_t>(threads), 0);
    for (Index r : roots_of) *std::min_element(load.begin(), load.end()) += work[r];
    EXPECT_LE(*std::max_element(load.begin(), load.end()), in_subtrees / threads + heaviest);
  }
}

// Any thread count under the grid's own (geometric) ordering, and METIS on
// two threads: one solution.
TEST(EngineSchedule, AnyThreadCountAndEitherOrderingFactoriseEveryFrontOnce) {
  const auto g = ice_grid(24);
  ASSERT_TRUE(g.has_value());
  const Analysed a = analysed(*g);
  std::vector<zcomplex> summed(a.input.lower.row.size(), zcomplex{0, 0});
  for (std::size_t k = 0; k < g->values.size(); ++k) summed[a.input.slot[k]] += g->values[k];
  std::vector<zcomplex> first;
  std::string geometric;
  for (const auto& [threads, ordering] : {std::pair{1, engine::Ordering::automatic}, {2, engine::Ordering::automatic},
                                          {3, engine::Ordering::automatic}, {2, engine::Ordering::metis}}) {
    engine::Options o;
    o.grid = &g->places;
    o.threads = threads;
    o.ordering = ordering;
    auto s = engine::make_solver(engine::Backend::own);
    s->analyse(g->pattern, o);
    s->factorise(g->values);
    std::vector<zcomplex> x = g->rhs;
    s->solve(x, 1, false);
    // The unrefined solve's own backward error, from the summed matrix: a
    // front missed or added twice would leave it far above the roundoff.
    std::vector<zcomplex> r(x.size());
    const double omega = engine::detail::residual(a.input.lower, summed.data(), x.data(), g->rhs.data(), r.data());
    EXPECT_LE(omega, 1e-12) << threads << " threads";
    if (first.empty()) first = x, geometric = s->statistics().ordering;
    else EXPECT_LT(relative_difference(first, x), 1e-9) << threads << " threads";
    EXPECT_EQ(s->statistics().ordering == geometric, ordering == engine::Ordering::automatic);
  }
}

}  // namespace
