// The geometric nested dissection on a real grid system (the small ice
// deck's material tiled over a grid of another shape): the same solution as
// under METIS, bad places named, and the automatic choice taking it where
// the grid is known.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/fixtures/grid_system.hpp"
#include "run_program.hpp"
#include "tests/engine/support.hpp"

namespace {

using namespace engine_test;

std::vector<zcomplex> solved(const engine_bench::GridSystem& g, engine::Ordering o, int threads, std::string& name) {
  engine::Options opt;
  opt.ordering = o;
  opt.grid = &g.places;
  opt.threads = threads;
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(g.pattern, opt);
  s->factorise(g.values);
  std::vector<zcomplex> x = g.rhs;
  s->solve(x, 1, true);
  EXPECT_LE(s->statistics().backward_error, 1e-14);
  name = s->statistics().ordering;
  return x;
}

TEST(EngineGrid, GeometricAndMetisOrderingsGiveOneSolution) {
  const auto g = ice_grid(14);
  ASSERT_TRUE(g.has_value());
  std::string a, b;
  const std::vector<zcomplex> x = solved(*g, engine::Ordering::geometric, 1, a);
  const std::vector<zcomplex> y = solved(*g, engine::Ordering::metis, 2, b);
  EXPECT_NE(a, b);
  EXPECT_LT(relative_difference(x, y), 1e-12);
}

TEST(EngineGrid, PlacesOutsideTheGridAreNamedAndTheAutomaticOrderingUsesTheGrid) {
  Coo a = random_system(5, 6, 1);
  engine::GridPlaces places{1, 1, {0, 1, 2, 0, 3}, {0, 0, 0, 2, 1}};
  engine::Options o;
  o.ordering = engine::Ordering::geometric;
  o.grid = &places;
  auto s = engine::make_solver(engine::Backend::own);
  try {
    s->analyse(a.pattern, o);
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("unknown 4 at half-cell point (3, 1)"), std::string::npos) << e.what();
  }
  places.x2[4] = 1;
  s->analyse(a.pattern, o);
  EXPECT_EQ(s->statistics().ordering, "geometric nested dissection");
  o.ordering = engine::Ordering::automatic;  // the grid's where the grid is known, METIS elsewhere
  s->analyse(a.pattern, o);
  EXPECT_EQ(s->statistics().ordering, "geometric nested dissection");
  o.grid = nullptr;
  s->analyse(a.pattern, o);
  EXPECT_EQ(s->statistics().ordering, "METIS nested dissection");
  o.ordering = engine::Ordering::geometric;
  EXPECT_THROW(s->analyse(a.pattern, o), std::invalid_argument);
}

}  // namespace
