// The own engine's input layout handed over by a program: the lower
// triangle by columns, shared rather than copied, and values that become
// the solver's own. Against the coordinate route (the same summed matrix,
// so the same bits), and the refusals of malformed patterns. (The memory
// plan against what the arrays hold: test_out_of_core.cpp.)
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "engine/analysis.hpp"
#include "tests/engine/support.hpp"
#include "tests/support/refusal.hpp"

namespace {

using namespace engine_test;

TEST(EngineLowerInput, SameSolutionAsTheCoordinateRoute) {
  const Coo a = random_system(180, 300, 11);
  const Summed s = summed(a);
  const std::vector<zcomplex> b = random_block(a.pattern.n, 2, 5);
  engine::Options o;
  o.threads = 1;
  auto coord = engine::make_solver(engine::Backend::own);
  coord->analyse(a.pattern, o);
  coord->factorise(a.values);
  std::vector<zcomplex> x1 = b;
  coord->solve(x1, 2);
  auto lean = engine::make_solver(engine::Backend::own);
  ASSERT_TRUE(lean->takes_lower());
  lean->analyse_lower(s.lower, o);
  EXPECT_EQ(lean->statistics().factor_entries, coord->statistics().factor_entries);
  // Less held beside the factors: no slot per input entry.
  EXPECT_LT(lean->statistics().in_core_bytes, coord->statistics().in_core_bytes);
  std::vector<zcomplex> v = s.values;
  lean->factorise_owned(std::move(v));
  EXPECT_LE(lean->statistics().held_bytes, lean->statistics().memory_bytes);
  EXPECT_TRUE(same_bits(std::vector<zcomplex>(lean->matrix_values().begin(), lean->matrix_values().end()), s.values));
  std::vector<zcomplex> x2 = b;
  lean->solve(x2, 2);
  EXPECT_TRUE(same_bits(x1, x2));
  // The pattern is shared, not copied.
  EXPECT_EQ(s.lower.use_count(), 2);
  // The span route copies into the same layout and gives the same bits.
  lean->factorise(s.values);
  std::vector<zcomplex> x3 = b;
  lean->solve(x3, 2);
  EXPECT_TRUE(same_bits(x1, x3));
}

void expect_refused(engine::LowerPattern p, const std::string& says) {
  auto s = engine::make_solver(engine::Backend::own);
  const auto lower = std::make_shared<engine::LowerPattern>(std::move(p));
  EXPECT_NE(support::refusal([&] { s->analyse_lower(lower, {}); }).find(says), std::string::npos) << says;
}

TEST(EngineLowerInput, MalformedPatternsAreRefusedNamingTheColumn) {
  // 3 x 3: columns {0, 2}, {1}, {2}.
  const engine::LowerPattern good{3, {0, 2, 3, 4}, {0, 2, 1, 2}};
  auto s = engine::make_solver(engine::Backend::own);
  EXPECT_NO_THROW(s->analyse_lower(std::make_shared<engine::LowerPattern>(good), {}));
  EXPECT_EQ(good.position(2, 0), 1);
  EXPECT_EQ(good.position(1, 0), -1);
  EXPECT_EQ(good.position(0, 2), -1);  // above the diagonal
  engine::LowerPattern p = good;
  p.row = {0, 2, 2, 2};  // column 1 without its diagonal
  expect_refused(p, "column 1 ");
  p = good, p.ptr = {0, 3, 4, 5}, p.row = {0, 2, 1, 1, 2};  // column 0's rows below the diagonal out of order
  expect_refused(p, "column 0 ");
  p = good, p.row = {0, 3, 1, 2};  // row past the order
  expect_refused(p, "column 0 ");
  p = good, p.ptr = {0, 2, 3};  // too few pointers
  expect_refused(p, "3 column pointers");
  p = good, p.ptr = {0, 5, 3, 4};  // a column past the rows
  expect_refused(p, "column 0 ");
  expect_refused(engine::LowerPattern{0, {0}, {}}, "order 0");
}

}  // namespace
