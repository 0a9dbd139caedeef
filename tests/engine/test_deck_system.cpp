// The engine on the real compressional system of the small ice deck, made
// complex symmetric by clearing the columns of the prescribed unknowns, against
// the programs' own solver on the system as they assemble it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/fixtures/deck_system.hpp"
#include "run_program.hpp"
#include "tests/engine/support.hpp"
#include "tests/yale/support.hpp"

namespace {

using namespace engine_test;

// Prescribed unknowns keep only their diagonal in their row; their column is
// cleared too, which leaves the solution alone (their values are zero).
Coo symmetric_system(const yale_bench::DeckSystem& s, std::vector<char>& prescribed) {
  const Index n = s.n;
  prescribed.assign(static_cast<std::size_t>(n), 1);
  for (Index i = 0; i < n; ++i)
    for (int32_t e = s.ia[i] - 1; e < s.ia[i + 1] - 1; ++e)
      if (s.ja[e] - 1 != i && (s.a[e].re != 0 || s.a[e].im != 0)) prescribed[i] = 0;
  Coo a;
  a.pattern.n = n;
  for (Index i = 0; i < n; ++i)
    for (int32_t e = s.ia[i] - 1; e < s.ia[i + 1] - 1; ++e) {
      const Index j = s.ja[e] - 1;
      if (j > i || (j != i && (prescribed[i] || prescribed[j]))) continue;
      a.add(i, j, s.a[e]);
    }
  return a;
}

TEST(EngineDeck, IceSystemAgreesWithTheProgramsSolver) {
  const TempDir scratch(true);
  ASSERT_TRUE(scratch.ok());
  std::ofstream("deck") << support::join(support::deck_lines("ice_small.deck"));
  const auto s = yale_bench::deck_system("deck", drivers::kCompressionalSetup);
  ASSERT_TRUE(s.has_value());
  std::vector<char> prescribed;
  const Coo a = symmetric_system(*s, prescribed);
  // The cleared matrix is symmetric: entry (i, j) of the upper triangle as
  // assembled equals entry (j, i) kept in the lower one.
  const std::vector<cld> full = dense(a);
  for (Index i = 0; i < s->n; ++i)
    for (int32_t e = s->ia[i] - 1; e < s->ia[i + 1] - 1; ++e)
      if (const Index j = s->ja[e] - 1; j > i && !prescribed[i] && !prescribed[j]) {
        ASSERT_EQ(full[j * s->n + i], cld(s->a[e].re, s->a[e].im)) << i << " " << j;
      }

  auto engine = engine::make_solver(engine::Backend::own);
  engine->analyse(a.pattern, {});
  engine->factorise(a.values);
  std::vector<zcomplex> x = s->b;
  engine->solve(x, 1, true);
  EXPECT_LE(engine->statistics().backward_error, 1e-14);

  yale_test::Solve<zcomplex> y(yale_bench::Pattern{s->n, s->ia, s->ja}, s->a);
  std::vector<zcomplex> z(static_cast<std::size_t>(s->n));
  ASSERT_EQ(y.order(), 0);
  ASSERT_EQ(y.factor(1, s->b, z), 0);
  EXPECT_LT(relative_difference(x, z), 1e-9);
  // The programs' residual measure on their own system, for the engine's answer.
  EXPECT_LT(yale_test::residual(yale_bench::Pattern{s->n, s->ia, s->ja}, s->a, x, s->b), 1e-15);
}

}  // namespace
