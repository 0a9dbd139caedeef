// Velocities and 1000/Q of whole cells against closed forms of a decoupled
// cell and against the closed route alone; what veloc_aten reports and returns.
// (Coupled, lossy cells: test_accuracy.cpp, in quadruple precision.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "deck_cells.hpp"
#include "waves/plane_waves.hpp"

namespace {

using waves::CellCoefficients;
using waves::CellWaves;

constexpr double kOmega = 2.0 * M_PI * 100.0;

TEST(CellWaves, DecoupledCellWithoutFrictionHasClosedForms) {
  CellCoefficients c{};
  c.lambda1 = 2e10; c.mu1 = 3e10; c.lambda3 = 5e9; c.mu3 = 3e9; c.m = 8e9;
  c.p11 = 2000; c.p22 = 3000; c.p33 = 800;
  const CellWaves w = waves::cell_waves(c, kOmega);
  // Modes 1 and 2 exchanged by speed; mode 3 keeps its place, whatever its speed.
  double fast = std::sqrt(8e10 / 2000), mid = std::sqrt(8e9 / 3000), third = std::sqrt(1.1e10 / 800);
  std::vector<double> p = {w.r.vp1, w.r.vp2, w.r.vp3};
  std::vector<double> want = {fast, mid, third};
  std::sort(p.begin(), p.end());
  std::sort(want.begin(), want.end());
  for (int n = 0; n < 3; ++n) EXPECT_NEAR(p[n], want[n], 1e-12 * want[n]);
  EXPECT_GE(w.r.vp1, w.r.vp2);
  EXPECT_NEAR(w.r.vs1, std::sqrt(3e10 / 2000), 1e-12 * w.r.vs1);
  EXPECT_NEAR(w.r.vs2, std::sqrt(3e9 / 800), 1e-12 * w.r.vs2);
  for (double q : {w.r.over_qp1, w.r.over_qp2, w.r.over_qp3, w.r.over_qs1, w.r.over_qs2}) EXPECT_LT(q, 1e-9);
}

// The number after `label` on the first line that holds it.
double value_after(const std::string& text, const std::string& label) {
  const auto at = text.find(label);
  if (at == std::string::npos) ADD_FAILURE() << "no line with " << label;
  return at == std::string::npos ? 0 : std::strtod(text.c_str() + at + label.size(), nullptr);
}

// The report of veloc_aten on an nx x 3 grid, and the waves it returns.
std::string report(core::TestKind kind, const core::Coefficients& coef, int nx, waves::PlaneWaves* last = nullptr) {
  const std::string name = testing::TempDir() + "veloc_aten.txt";
  {
    core::TextOut out(name);
    const waves::PlaneWaves w = waves::veloc_aten(nx, 3, kOmega, coef, kind, out);
    if (last) *last = w;
    out.close();
  }
  std::ifstream in(name);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(VelocAten, ReportsTheMiddleCellOrTheFirstAndReturnsTheLast) {
  const auto g = wavetest::model_grid(wavetest::ice_deck(), 4, 3, kOmega,
                                      [](int j, int k) { return 0.02 + 0.05 * j + 0.03 * k; });  // cells differ
  const core::Coefficients& coef = g->coef;
  auto waves_at = [&](int j, int k) { return waves::cell_waves(coef.at(j, k), kOmega); };
  // Compressional: the cell (nx/2, ny/2) reported, the last cell's waves returned.
  waves::PlaneWaves last;
  const std::string p = report(core::TestKind::compressional, coef, 4, &last);
  const waves::PlaneWaves want = waves_at(4, 3).r;
  EXPECT_EQ(std::memcmp(&last, &want, sizeof last), 0);
  EXPECT_NE(p.find(" nx/2,ny/2  2 1\n"), std::string::npos);
  EXPECT_EQ(value_after(p, "vp1 = "), waves_at(2, 1).r.vp1);
  EXPECT_EQ(value_after(p, " Q3 = "), waves_at(2, 1).qp[2]);
  // Shear: the first cell, no reference line.
  const std::string s = report(core::TestKind::shear, coef, 4);
  EXPECT_EQ(s.find("nx/2"), std::string::npos);
  EXPECT_EQ(value_after(s, "vs1 = "), waves_at(1, 1).r.vs1);
}

// Cells of the example decks: plausible speeds and 1000/Q, the velocities
// of the closed route, and on a homogeneous grid the values of one cell.
TEST(VelocAten, ExampleDeckCellsAgreeWithTheClosedRoute) {
  core::Deck shale2 = wavetest::shale_deck();
  shale2.s3(1) = 0.3;
  const std::tuple<const char*, core::Deck, double> cases[] = {{"ice phiw 0.1", wavetest::ice_deck(), 0.1},
                                                               {"ice phiw 0.3", wavetest::ice_deck(), 0.3},
                                                               {"shale phiw 0.25", wavetest::shale_deck(), 0.25},
                                                               {"shale s3 0.3 phiw 0.2", shale2, 0.2}};
  const double omega = 10.0 * 6.283185307179586;
  static core::TextOut quiet("/dev/null");
  for (const auto& [name, deck, phi] : cases) {
    SCOPED_TRACE(name);
    auto g = wavetest::model_grid(deck, 3, 2, omega, [&](int, int) { return phi; });
    const CellCoefficients cell = g->coef.at(1, 1);
    const waves::PlaneWaves r = waves::cell_waves(cell, omega).r;
    const waves::PlaneWaves grid = waves::veloc_aten(3, 2, omega, g->coef, core::TestKind::compressional, quiet);
    EXPECT_EQ(std::memcmp(&grid, &r, sizeof r), 0);
    EXPECT_TRUE(r.vp1 > 2500 && r.vp1 < 5500 && r.vs1 > 1000 && r.vs1 < 3500) << r.vp1 << " " << r.vs1;
    for (double v : {r.vp2, r.vp3, r.vs2}) EXPECT_TRUE(v > 0.1 && v < 100) << v;
    for (double q : {r.over_qp2, r.over_qp3, r.over_qs2}) EXPECT_TRUE(q > 900 && q < 1100) << q;
    // The closed route alone, modes 1 and 2 of each kind exchanged by speed.
    waves::Mat5 e, a;
    waves::wave_matrices(cell, omega, e, a);
    waves::Vec3 l;
    waves::Vec2 t;
    waves::direct_slownesses(e, a, l, t);
    auto v = [](core::zcomplex x) { return 1 / core::csqrt(x).re; };
    const std::pair<double, double> p = std::minmax(v(l.v[0]), v(l.v[1])), s = std::minmax(v(t.v[0]), v(t.v[1]));
    for (auto [x, y] : {std::pair{r.vp1, p.second}, {r.vp2, p.first}, {r.vp3, v(l.v[2])}, {r.vs1, s.second},
                        {r.vs2, s.first}})
      EXPECT_NEAR(x, y, 1e-8 * y);
  }
}

}  // namespace
