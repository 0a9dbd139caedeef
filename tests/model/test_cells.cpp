// The material map, the water proportions from "porosity.frac" and the mean
// density they give. (The map's refusals and incomplete periods in whole
// runs: the hardening catalogue.)
#include <fstream>
#include <string>

#include "model/average_density.hpp"
#include "model/material_map.hpp"
#include "model/porosity.hpp"
#include "support.hpp"

namespace {

using MaterialMap = model_test::InTempDir;

TEST_F(MaterialMap, PeriodsStartWithLayerOneAndLeaveIncompleteRowsZero) {
  // Layers of 2 and 3 rows in 11: two periods, no room for a third.
  core::IntField m{};
  core::ByMaterial<int32_t> nl;
  core::ByMaterial<double> size;
  nl(1) = 2, nl(2) = 3;
  for (int k = 1; k <= 11; ++k)
    for (int j = 1; j <= 4; ++j) m(j, k) = -7;  // stale values must not survive
  const std::string r =
      model_test::report_of([&](core::TextOut& out) { model::makematnum(4, 11, nl, size, 0.01, m, out); });
  for (int k = 1; k <= 11; ++k)
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(m(j, k), "11222112220"[k - 1] - '0') << "cell " << j << "," << k;
  EXPECT_NE(r.find(" nper = number of periods  2"), std::string::npos) << r;
}

using Porosity = model_test::InTempDir;

TEST_F(Porosity, FileGivesOneCellPerLineRowByRowAndStaysOpen) {
  // Lines (k-1) nx + j; columns beyond 12 are ignored; a CR line end is fine.
  std::ofstream("porosity.frac") << "0.1000E+00  cell 1,1\n0.2000E+00\r\n0.3\n0.2500E+00\n0.1500E+00\n0.3500E+00\n";
  core::RealField phiw{};
  core::IntField m{};
  model::PorosityFile file;
  model::porosity(core::TestKind::compressional, 2, 2, {}, 1, phiw, m, file);
  EXPECT_TRUE(phiw(1, 1) == 0.1 && phiw(2, 1) == 0.2 && phiw(1, 2) == 0.3 && phiw(2, 2) == 0.25);
  // A second call goes on where the first one stopped.
  model::porosity(core::TestKind::compressional, 2, 1, {}, 1, phiw, m, file);
  EXPECT_TRUE(phiw(1, 1) == 0.15 && phiw(2, 1) == 0.35);
  EXPECT_EQ(file.line(), 6);
}

double rob_med(const core::Deck& d) {
  static core::TextOut quiet("/dev/null");
  const auto s = std::make_unique<model_test::Sample>(d);
  return model::average_density(s->deck, s->matnum, s->phiw, quiet);
}

TEST(AverageDensity, HandComputedMeans) {
  // Ice, layer 1: 0.1 water + 0.6 grains + 0.3 ice = 100 + 1590 + 276 = 1966;
  // layer 2: 0.3 water + 0.6 grains + 0.1 ice = 300 + 1590 + 92 = 1982.
  // (The last cell's fractions used for every cell gave 1882.)
  EXPECT_NEAR(rob_med(model_test::ice_deck(4, 6)), 1974.0, 1e-9);
  // Shaley sand, layer 1: s3 0.1, water 0.25: 250 + 0.675 * 2650 + 0.075 * 2580;
  // layer 2: s3 0.3, water 0.2: 200 + 0.56 * 2650 + 0.24 * 2580.
  EXPECT_NEAR(rob_med(model_test::shale_deck(3, 4)), (2232.25 + 2303.2) / 2, 1e-9);
}

}  // namespace
