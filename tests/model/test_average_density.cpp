// The mean density of the sample: each cell with its own volume fractions.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "model/average_density.hpp"
#include "model/porosity.hpp"
#include "support.hpp"

namespace {

using model_test::make_sample;

using AverageDensity = model_test::InTempDir;

double rob_med(const model_test::Sample& s, std::string* report = nullptr) {
  double v = 0;
  const std::string r = model_test::report_of(
      [&](core::TextOut& out) { v = model::average_density(s.deck, s.matnum, s.phiw, out); });
  if (report) *report = r;
  return v;
}

TEST_F(AverageDensity, HandComputedMeans) {
  // Ice, layer 1: 0.1 water + 0.6 grains + 0.3 ice = 100 + 1590 + 276 = 1966;
  // layer 2: 0.3 water + 0.6 grains + 0.1 ice = 300 + 1590 + 92 = 1982.
  // (The last cell's fractions used for every cell gave 1882.)
  auto ice = make_sample(model_test::ice_deck(4, 6));
  std::string report;
  EXPECT_NEAR(rob_med(*ice, &report), 1974.0, 1e-9);
  EXPECT_EQ(report.rfind("   computes average density, \n average density rob_med is (kg/m**3) 197", 0), 0u);
  // Shaley sand, layer 1: s3 0.1, water 0.25: 250 + 0.675 * 2650 + 0.075 * 2580;
  // layer 2: s3 0.3, water 0.2: 200 + 0.56 * 2650 + 0.24 * 2580.
  EXPECT_NEAR(rob_med(*make_sample(model_test::shale_deck(3, 4))), (2232.25 + 2303.2) / 2, 1e-9);
  // One material, one water proportion 0.2 everywhere (the shear tests).
  for (auto [d, want] : {std::pair{model_test::ice_deck(3, 4), 1590 + 920 * 0.2 + 1000 * 0.2},
                         std::pair{model_test::shale_deck(3, 4), 200 + 0.8 * (0.9 * 2650 + 0.1 * 2580)}}) {
    auto s = make_sample(d);
    for (int k = 1; k <= 4; ++k)
      for (int j = 1; j <= 3; ++j) s->matnum(j, k) = 1, s->phiw(j, k) = 0.2;
    EXPECT_NEAR(rob_med(*s), want, 1e-9) << "key_model " << d.key_model;
  }
}

TEST_F(AverageDensity, WaterProportionsFromTheFile) {
  // One material, absolute porosity 0.4: a cell's density is
  // 1590 + 920 (0.4 - phi) + 1000 phi = 1958 + 80 phi.
  std::ofstream("porosity.frac") << "0.1000E+00\n0.2000E+00\n0.3000E+00\n0.1500E+00\n";
  auto s = make_sample(model_test::ice_deck(2, 2));
  for (int k = 1; k <= 2; ++k)
    for (int j = 1; j <= 2; ++j) s->matnum(j, k) = 1;
  model::PorosityFile file;
  model::porosity(core::TestKind::compressional, 2, 2, s->deck.phi_layer1, 1, s->phiw, s->matnum, file);
  EXPECT_NEAR(rob_med(*s), 1958 + 80 * (0.1 + 0.2 + 0.3 + 0.15) / 4, 1e-9);
}

}  // namespace
