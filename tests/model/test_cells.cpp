// The material map, the water proportions (from the layers, in halves for the
// shear tests, from "porosity.frac") and the mean density they give.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/stop.hpp"
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

TEST_F(Porosity, FromEachCellsLayerOrFromTheHalvesInTheShearTests) {
  core::IntField m{};
  core::RealField phiw{};
  for (int k = 1; k <= 3; ++k)
    for (int j = 1; j <= 2; ++j) m(j, k) = (j + k) % 2 + 1;  // a checkerboard
  model::PorosityFile file;
  model::porosity(core::TestKind::compressional, 2, 3, two(0.1, 0.3), 0, phiw, m, file);
  for (int k = 1; k <= 3; ++k)
    for (int j = 1; j <= 2; ++j) EXPECT_EQ(phiw(j, k), m(j, k) == 1 ? 0.1 : 0.3);
  // The shear tests' halves do not look at the map (rows 1-3 of 7 below).
  model::porosity(core::TestKind::shear, 3, 7, two(0.2, 0.28), 0, phiw, m, file);
  for (int k = 1; k <= 7; ++k)
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(phiw(j, k), k <= 3 ? 0.2 : 0.28) << j << "," << k;
}

void read(int nx, int ny, core::RealField& phiw, model::PorosityFile& file) {
  core::IntField m{};
  model::porosity(core::TestKind::compressional, nx, ny, two(0, 0), 1, phiw, m, file);
}

TEST_F(Porosity, FileGivesOneCellPerLineRowByRowAndStaysOpen) {
  // Lines (k-1) nx + j; columns beyond 12 are ignored; a CR line end is fine.
  std::ofstream("porosity.frac") << "0.1000E+00  cell 1,1\n0.2000E+00\r\n0.3\n0.2500E+00\n0.1500E+00\n0.3500E+00\n";
  core::RealField phiw{};
  model::PorosityFile file;
  read(2, 2, phiw, file);
  EXPECT_DOUBLE_EQ(phiw(1, 1), 0.1);
  EXPECT_DOUBLE_EQ(phiw(2, 1), 0.2);
  EXPECT_DOUBLE_EQ(phiw(1, 2), 0.3);
  EXPECT_DOUBLE_EQ(phiw(2, 2), 0.25);
  read(2, 1, phiw, file);  // a second call goes on where the first one stopped
  EXPECT_DOUBLE_EQ(phiw(1, 1), 0.15);
  EXPECT_DOUBLE_EQ(phiw(2, 1), 0.35);
  EXPECT_EQ(file.line(), 6);
  // A field without a decimal point has four implied decimals.
  std::ofstream("porosity.frac") << "        3000\n";
  model::PorosityFile fresh;
  read(1, 1, phiw, fresh);
  EXPECT_DOUBLE_EQ(phiw(1, 1), 0.3);
}

// A bad file ends the run with an input error naming the file and the line.
TEST_F(Porosity, MissingShortOrNonNumericFileIsAnInputError) {
  const std::pair<const char*, const char*> cases[] = {
      {nullptr, "\"porosity.frac\" cannot be opened"},
      {"0.1\n0.2\n0.3\n", "\"porosity.frac\" ends before line 4.*cell j,k = 2,2"},
      {"", "\"porosity.frac\" ends before line 1"},
      {"0.1\n0.2\nwet\n0.3\n", "\"porosity.frac\" line 3"},
  };
  for (auto [text, message] : cases) {
    if (text) std::ofstream("porosity.frac") << text;
    auto die = [] {
      core::RealField phiw{};
      model::PorosityFile file;
      read(2, 2, phiw, file);
    };
    EXPECT_EXIT(die(), ::testing::ExitedWithCode(core::kStopInputError), message);
  }
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

TEST_F(AverageDensity, WaterProportionsFromTheFile) {
  // One material, absolute porosity 0.4: a cell's density is
  // 1590 + 920 (0.4 - phi) + 1000 phi = 1958 + 80 phi.
  std::ofstream("porosity.frac") << "0.1000E+00\n0.2000E+00\n0.3000E+00\n0.1500E+00\n";
  auto s = model_test::make_sample(model_test::ice_deck(2, 2));
  for (int k = 1; k <= 2; ++k)
    for (int j = 1; j <= 2; ++j) s->matnum(j, k) = 1;
  model::PorosityFile file;
  model::porosity(core::TestKind::compressional, 2, 2, s->deck.phi_layer1, 1, s->phiw, s->matnum, file);
  EXPECT_NEAR(rob_med(*s), 1958 + 80 * (0.1 + 0.2 + 0.3 + 0.15) / 4, 1e-9);
}

}  // namespace
