// The material map, the water proportions (from the layers, in halves for the
// shear tests, from "porosity.frac") and the mean density they give.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "model/average_density.hpp"
#include "model/material_map.hpp"
#include "model/porosity.hpp"
#include "support.hpp"

namespace {

using MaterialMap = model_test::InTempDir;

// Refusals of the map are among the stops.
TEST_F(MaterialMap, PeriodsStartWithLayerOneAndLeaveIncompleteRowsZero) {
  struct Case { int nx, ny, nl1, nl2, nper; std::vector<int> rows; };
  const Case cases[] = {
      {4, 10, 2, 3, 2, {1, 1, 2, 2, 2, 1, 1, 2, 2, 2}},
      {4, 11, 2, 3, 2, {1, 1, 2, 2, 2, 1, 1, 2, 2, 2, 0}},  // no room for a third period
      {3, 10, 3, 0, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},     // empty second layer
      {3, 5, 0, 0, 0, {0, 0, 0, 0, 0}},                      // a deck without layers
  };
  for (const Case& c : cases) {
    core::IntField m{};
    core::ByMaterial<int32_t> nl;
    core::ByMaterial<double> size;
    nl(1) = c.nl1, nl(2) = c.nl2;
    for (int k = 1; k <= c.ny; ++k)
      for (int j = 1; j <= c.nx; ++j) m(j, k) = -7;  // stale values must not survive
    const std::string r =
        model_test::report_of([&](core::TextOut& out) { model::makematnum(c.nx, c.ny, nl, size, 0.01, m, out); });
    for (int k = 1; k <= c.ny; ++k)
      for (int j = 1; j <= c.nx; ++j) EXPECT_EQ(m(j, k), c.rows[k - 1]) << "ny " << c.ny << " cell " << j << "," << k;
    EXPECT_NE(r.find(" nper = number of periods  " + std::to_string(c.nper)), std::string::npos) << r;
  }
}

using Porosity = model_test::InTempDir;

core::ByMaterial<double> two(double a, double b) {
  core::ByMaterial<double> v;
  v(1) = a, v(2) = b;
  return v;
}

TEST_F(Porosity, FileGivesOneCellPerLineRowByRowAndStaysOpen) {
  // Lines (k-1) nx + j; columns beyond 12 are ignored; a CR line end is fine.
  std::ofstream("porosity.frac") << "0.1000E+00  cell 1,1\n0.2000E+00\r\n0.3\n0.2500E+00\n0.1500E+00\n0.3500E+00\n";
  core::RealField phiw{};
  core::IntField m{};
  model::PorosityFile file;
  model::porosity(core::TestKind::compressional, 2, 2, two(0, 0), 1, phiw, m, file);
  EXPECT_TRUE(phiw(1, 1) == 0.1 && phiw(2, 1) == 0.2 && phiw(1, 2) == 0.3 && phiw(2, 2) == 0.25);
  // A second call goes on where the first one stopped.
  model::porosity(core::TestKind::compressional, 2, 1, two(0, 0), 1, phiw, m, file);
  EXPECT_TRUE(phiw(1, 1) == 0.15 && phiw(2, 1) == 0.35);
  EXPECT_EQ(file.line(), 6);
}

using AverageDensity = model_test::InTempDir;

double rob_med(const model_test::Sample& s) {
  double v = 0;
  model_test::report_of([&](core::TextOut& out) { v = model::average_density(s.deck, s.matnum, s.phiw, out); });
  return v;
}

TEST_F(AverageDensity, HandComputedMeans) {
  // Ice, layer 1: 0.1 water + 0.6 grains + 0.3 ice = 100 + 1590 + 276 = 1966;
  // layer 2: 0.3 water + 0.6 grains + 0.1 ice = 300 + 1590 + 92 = 1982.
  // (The last cell's fractions used for every cell gave 1882.)
  EXPECT_NEAR(rob_med(*model_test::make_sample(model_test::ice_deck(4, 6))), 1974.0, 1e-9);
  // Shaley sand, layer 1: s3 0.1, water 0.25: 250 + 0.675 * 2650 + 0.075 * 2580;
  // layer 2: s3 0.3, water 0.2: 200 + 0.56 * 2650 + 0.24 * 2580.
  EXPECT_NEAR(rob_med(*model_test::make_sample(model_test::shale_deck(3, 4))), (2232.25 + 2303.2) / 2, 1e-9);
}

}  // namespace
