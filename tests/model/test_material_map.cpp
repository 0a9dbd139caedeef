// The layered material map and its writing and checking.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/material_map.hpp"
#include "support.hpp"

namespace {

using model_test::InTempDir;
using model_test::lines_of;
using model_test::report_of;
using model_test::slurp;

struct Layered {
  core::IntField matnum{};
  core::ByMaterial<double> layer_size{};
  std::string report;
};

Layered build(int nx, int ny, int nl1, int nl2, double h = 0.01) {
  Layered r;
  core::ByMaterial<int32_t> nl;
  nl(1) = nl1;
  nl(2) = nl2;
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j) r.matnum(j, k) = -7;  // stale values must not survive
  r.report = report_of([&](core::TextOut& out) { model::makematnum(nx, ny, nl, r.layer_size, h, r.matnum, out); });
  return r;
}

// The material of row k, after checking that every column agrees.
int row_material(const Layered& r, int nx, int k) {
  for (int j = 2; j <= nx; ++j) EXPECT_EQ(r.matnum(j, k), r.matnum(1, k)) << "row " << k;
  return r.matnum(1, k);
}

using MaterialMap = InTempDir;

TEST_F(MaterialMap, PeriodsStartWithLayerOneAndLeaveIncompleteRowsZero) {
  struct Case { int nx, ny, nl1, nl2, nper; std::vector<int> rows; };
  const Case cases[] = {
      {4, 10, 2, 3, 2, {1, 1, 2, 2, 2, 1, 1, 2, 2, 2}},
      {4, 11, 2, 3, 2, {1, 1, 2, 2, 2, 1, 1, 2, 2, 2, 0}},  // no room for a third period
      {3, 10, 3, 0, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},     // empty second layer
      {3, 5, 0, 0, 0, {0, 0, 0, 0, 0}},                      // a deck without layers
  };
  for (const Case& c : cases) {
    const Layered r = build(c.nx, c.ny, c.nl1, c.nl2);
    for (int k = 1; k <= c.ny; ++k) EXPECT_EQ(row_material(r, c.nx, k), c.rows[k - 1]) << "ny " << c.ny << " row " << k;
    EXPECT_NE(r.report.find(" nper = number of periods  " + std::to_string(c.nper)), std::string::npos) << r.report;
  }
}

TEST_F(MaterialMap, ReportGivesTheLayeringOnePerLineEachFollowedByAnEmptyLine) {
  const Layered r = build(2, 10, 4, 6, 0.02);
  EXPECT_DOUBLE_EQ(r.layer_size(1), 4 * 0.02);
  EXPECT_DOUBLE_EQ(r.layer_size(2), 6 * 0.02);
  const auto l = lines_of(r.report);
  ASSERT_EQ(l.size(), 17u);
  EXPECT_EQ(l[0], " nl(1), nl(2)   4 6");
  const char* labels[] = {"  domain size (m)  ", "  ny = number of subintervals in y-direction  10",
                          "  hy = subinterval size (m)  0.02", "  nper = number of periods  1",
                          "  size of layer 1 in subintervals  4", "  size of layer 1 (m)  0.08",
                          "  size of layer 2 in subintervals  6", "  size of layer 2 (m)  "};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(l[1 + 2 * i].rfind(labels[i], 0), 0u) << l[1 + 2 * i];
    EXPECT_EQ(l[2 + 2 * i], "");
  }
  // The domain size is ny h, the deck's height up to rounding.
  EXPECT_NEAR(std::stod(l[1].substr(19)), 0.2, 1e-15);
}

// Writes and checks the map of an nx x ny grid with `nlayers` materials; the
// first refused cell ends the run.
void write_and_check(const core::IntField& m, int nx, int ny, int nlayers) {
  model_test::stdout_to_stderr();
  core::TextOut map("matnum_p33"), gnu("matnum_p33_gnu");
  model::write_and_check_matnum(map, gnu, nx, ny, nlayers, m, core::TextOut::report());
}

TEST_F(MaterialMap, MaterialsOutsideTheDeckStopAfterWritingTheOffendingCell) {
  // Two layers in the map but one material in the deck: the first cell of
  // layer 2 (row 3, k outer) is refused.
  const Layered r = build(2, 5, 2, 3);
  EXPECT_EXIT(write_and_check(r.matnum, 2, 5, 1), ::testing::ExitedWithCode(222), "j,k, matnum\\(j,k\\)  1 3 2");
  EXPECT_EQ(slurp("matnum_p33"), " 1\n 1\n 1\n 1\n 2\n");
  EXPECT_EQ(slurp("matnum_p33_gnu"), " 1 1 1\n 2 1 1\n 1 2 1\n 2 2 1\n 1 3 2\n");
  // Rows beyond the last period hold 0.
  const Layered partial = build(2, 11, 2, 3);
  EXPECT_EXIT(write_and_check(partial.matnum, 2, 11, 2), ::testing::ExitedWithCode(222), "j,k, matnum\\(j,k\\)  1 11 0");
  // nlayers = 0: even the shear tests' single material is refused at once.
  core::IntField one{};
  model::set_single_material(2, 2, one);
  EXPECT_EQ(one(2, 2), 1);
  EXPECT_EXIT(write_and_check(one, 2, 2, 0), ::testing::ExitedWithCode(222), "j,k, matnum\\(j,k\\)  1 1 1");
  EXPECT_EQ(slurp("matnum_p33_gnu"), " 1 1 1\n");
}

}  // namespace
