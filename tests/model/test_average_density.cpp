// The mean density of the sample: each cell with its own volume fractions.
#include <gtest/gtest.h>

#include <string>

#include "model/average_density.hpp"
#include "model/mass_visco_coef.hpp"
#include "model/porosity.hpp"
#include "support.hpp"

namespace {

using model_test::InTempDir;
using model_test::lines_of;
using model_test::make_sample;
using model_test::report_of;

using AverageDensity = InTempDir;

double rob_med(const model_test::Sample& s, std::string* report = nullptr) {
  double v = 0;
  const std::string r = report_of([&](core::TextOut& out) { v = model::average_density(s.deck, s.matnum, s.phiw, out); });
  if (report) *report = r;
  return v;
}

// The mean that uses the fractions of the last cell for every cell.
double last_cell_mean(model_test::Sample& s) {
  model::CellFractions last;
  report_of([&](core::TextOut& out) {
    last = model::mass_visco_coef(core::TestKind::compressional, s.deck, s.matnum, s.phiw, 2, s.c, out);
  });
  double sum = 0;
  const double cells = s.deck.nx * s.deck.ny;
  for (int k = 1; k <= s.deck.ny; ++k)
    for (int j = 1; j <= s.deck.nx; ++j) {
      const int n = s.matnum(j, k);
      sum += (s.phiw(j, k) * s.deck.ro2(n) + last.phi1 * s.deck.ro1(n) + last.phi3 * s.deck.ro3(n)) / cells;
    }
  return sum;
}

TEST_F(AverageDensity, TwoLayerIceSample) {
  // Layer 1: 0.1 water + 0.6 grains + 0.3 ice = 100 + 1590 + 276 = 1966 kg/m3;
  // layer 2: 0.3 water + 0.6 grains + 0.1 ice = 300 + 1590 + 92 = 1982 kg/m3.
  auto s = make_sample(model_test::ice_deck(4, 6));
  std::string report;
  EXPECT_NEAR(rob_med(*s, &report), 1974.0, 1e-9);
  const auto l = lines_of(report);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0], "   computes average density, ");
  EXPECT_EQ(l[1].rfind(" average density rob_med is (kg/m**3) 197", 0), 0u) << l[1];
  // Taking the last cell's fractions for every cell gave 1882 here.
  EXPECT_NEAR(last_cell_mean(*s), 1882.0, 1e-9);
}

TEST_F(AverageDensity, TwoLayerShaleySandSample) {
  // Layer 1: s3 0.1, water 0.25: 250 + 0.675 * 2650 + 0.075 * 2580 = 2232.25;
  // layer 2: s3 0.3, water 0.2: 200 + 0.56 * 2650 + 0.24 * 2580 = 2303.2.
  auto s = make_sample(model_test::shale_deck(3, 4));
  EXPECT_NEAR(rob_med(*s), (2232.25 + 2303.2) / 2, 1e-9);
}

TEST_F(AverageDensity, WaterProportionsFromTheFile) {
  // One material, absolute porosity 0.4: a cell's density is
  // 1590 + 920 (0.4 - phi) + 1000 phi = 1958 + 80 phi.
  model_test::write_file("porosity.frac", "0.1000E+00\n0.2000E+00\n0.3000E+00\n0.1500E+00\n");
  auto s = make_sample(model_test::ice_deck(2, 2));
  for (int k = 1; k <= 2; ++k)
    for (int j = 1; j <= 2; ++j) s->matnum(j, k) = 1;
  model::PorosityFile file;
  model::porosity(core::TestKind::compressional, 2, 2, s->deck.phi_layer1, 1, s->phiw, s->matnum, file);
  EXPECT_NEAR(rob_med(*s), 1958 + 80 * (0.1 + 0.2 + 0.3 + 0.15) / 4, 1e-9);
}

TEST_F(AverageDensity, HomogeneousSampleKeepsTheLastCellValue) {
  // The shear tests: one material, one water proportion everywhere.
  for (core::Deck d : {model_test::ice_deck(3, 4), model_test::shale_deck(3, 4)}) {
    auto s = make_sample(d);
    for (int k = 1; k <= 4; ++k)
      for (int j = 1; j <= 3; ++j) {
        s->matnum(j, k) = 1;
        s->phiw(j, k) = 0.2;
      }
    EXPECT_DOUBLE_EQ(rob_med(*s), last_cell_mean(*s)) << "key_model " << d.key_model;
  }
}

}  // namespace
