// Patterns that stress the symbolic phase: an arrow, disconnected blocks,
// order one, unknowns coupled to nothing, repeated entries, and bad input.
#include <gtest/gtest.h>

#include "tests/engine/support.hpp"

namespace {

using namespace engine_test;

// Solves a x = b for random b and checks against the dense route.
void check_solves(const Coo& a, int threads = 1) {
  engine::Options o;
  o.threads = threads;
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(a.pattern, o);
  s->factorise(a.values);
  const std::vector<zcomplex> b = random_block(a.pattern.n, 1, 3);
  std::vector<zcomplex> x = b;
  s->solve(x, 1, true);
  EXPECT_LT(relative_difference(x.data(), dense_solve(a, b)), 1e-10);
  EXPECT_LE(s->statistics().backward_error, 1e-14);
}

TEST(EnginePatterns, Arrow) {
  for (bool head_first : {true, false}) {
    Coo a;
    const Index n = 60, hub = head_first ? 0 : n - 1;
    a.pattern.n = n;
    for (Index i = 0; i < n; ++i) a.add(i, i, {4.0 + i, 1.0});
    for (Index i = 0; i < n; ++i)
      if (i != hub) a.add(i, hub, {0.5, -0.25});
    a.add(hub, hub, {double(n), 0});
    check_solves(a);
  }
}

TEST(EnginePatterns, DisconnectedBlocksAndLoneUnknowns) {
  Coo a = random_system(90, 120, 11);
  // Unknowns 90.. 99 couple to nothing; 100..149 form a second system.
  Coo b = random_system(50, 90, 12);
  a.pattern.n = 150;
  for (Index i = 90; i < 100; ++i) a.add(i, i, {1.0 + i, 2.0});
  for (std::size_t k = 0; k < b.values.size(); ++k) a.add(b.pattern.row[k] + 100, b.pattern.col[k] + 100, b.values[k]);
  check_solves(a, 1);
  check_solves(a, 2);
}

TEST(EnginePatterns, OrderOneAndTwo) {
  Coo one;
  one.pattern.n = 1;
  one.add(0, 0, {2, 3});
  one.add(0, 0, {1, -1});  // repeated: summed to 3 + 2i
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(one.pattern, {});
  s->factorise(one.values);
  std::vector<zcomplex> x{{3, 2}};
  s->solve(x, 1);
  EXPECT_NEAR(x[0].re, 1, 1e-15);
  EXPECT_NEAR(x[0].im, 0, 1e-15);
  Coo two;
  two.pattern.n = 2;
  two.add(1, 0, {1, 1});
  two.add(0, 0, {3, 0});
  two.add(1, 1, {2, 1});
  check_solves(two);
}

TEST(EnginePatterns, MissingDiagonalEntriesAreZeroPivotsNotHoles) {
  // Entry (1,1) is not in the pattern: the pivot is filled in by the
  // elimination of unknown 0 (whichever order is taken, the sum is definite).
  Coo a;
  a.pattern.n = 3;
  a.add(0, 0, {2, 1}), a.add(1, 0, {1, 0}), a.add(2, 2, {1, 0}), a.add(2, 1, {0, 1});
  auto s = engine::make_solver(engine::Backend::own);
  engine::Options o;
  o.ordering = engine::Ordering::metis;
  s->analyse(a.pattern, o);
  s->factorise(a.values);
  std::vector<zcomplex> b = random_block(3, 1, 4), x = b;
  s->solve(x, 1, true);
  EXPECT_LT(relative_difference(x.data(), dense_solve(a, b)), 1e-12);
}

TEST(EnginePatterns, BadInputIsNamed) {
  auto s = engine::make_solver(engine::Backend::own);
  engine::Pattern p;
  p.n = 3;
  p.row = {0, 1};
  p.col = {0, 2};  // above the diagonal
  try {
    s->analyse(p, {});
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("entry 1 at (1, 2)"), std::string::npos) << e.what();
  }
  p.col = {0, 1};
  p.row = {0, 3};  // beyond the order
  EXPECT_THROW(s->analyse(p, {}), std::invalid_argument);
  p.row = {0, 1};
  s->analyse(p, {});
  std::vector<zcomplex> v(3);
  EXPECT_THROW(s->factorise(v), std::invalid_argument);  // three values for two entries
}

}  // namespace
