// Velocities and 1000/Q of whole cells, against routes that do not use the
// eigenvalue routines: closed forms of decoupled cells, the determinant and
// trace identities of the pencils, and the report of veloc_aten.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "deck_cells.hpp"
#include "waves/pencil_roots.hpp"
#include "waves/plane_waves.hpp"

namespace {

using waves::CellCoefficients;
using waves::CellWaves;

constexpr double kOmega = 2.0 * M_PI * 100.0;

// A coupled cell in which every coefficient matters (mu13 ~ 1e9 Pa).
CellCoefficients coupled_cell(double f11, double f12, double f22) {
  CellCoefficients c{};
  c.lambda1 = 2e10; c.mu1 = 3e10; c.lambda3 = 5e9; c.mu3 = 3e9; c.mu13 = 1e9;
  c.b1 = 5e9; c.b2 = 2e9; c.m = 8e9; c.d3 = 1e9;
  c.p11 = 2000; c.p12 = 100; c.p13 = -50; c.p22 = 3000; c.p23 = 80; c.p33 = 800;
  c.f11 = f11; c.f12 = f12; c.f22 = f22;
  return c;
}

// Complex numbers in long double for the identities.
using LC = std::complex<long double>;

LC det3(const LC (&m)[3][3]) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// Squared slowness back from velocity and 1000/Q: s = (1 - i/Q)/v, the
// imaginary part negative as the friction -i f/omega makes it.
LC slowness2(double v, double over_q) {
  const LC s(1.0L / v, -over_q / 1000.0L / v);
  return s * s;
}

// Product and sum of the squared slownesses of each pencil equal
// det A / det E and trace(E^{-1} A).
void expect_pencil_identities(const CellCoefficients& c, const CellWaves& w, double tol) {
  const LC g11(0, c.f11 / kOmega), g12(0, c.f12 / kOmega), g22(0, c.f22 / kOmega);
  auto r = [](double x) { return LC(x); };
  const LC a[3][3] = {{r(c.p11) - g11, r(c.p12) + g12, r(c.p13) + g11},
                      {r(c.p12) + g12, r(c.p22) - g22, r(c.p23) - g12},
                      {r(c.p13) + g11, r(c.p23) - g12, r(c.p33) - g11}};
  const LC e[3][3] = {{c.lambda1 + 2 * c.mu1, c.b1, c.mu13 + c.d3}, {c.b1, c.m, c.b2}, {c.mu13 + c.d3, c.b2, c.lambda3 + 2 * c.mu3}};
  const LC de = det3(e);
  LC trace = 0;  // trace(E^{-1} A) by Cramer's rule: E with column i taken from A
  for (int i = 0; i < 3; ++i) {
    LC m[3][3];
    for (int x = 0; x < 3; ++x)
      for (int y = 0; y < 3; ++y) m[x][y] = y == i ? a[x][y] : e[x][y];
    trace += det3(m) / de;
  }
  const LC l1 = slowness2(w.r.vp1, w.r.over_qp1), l2 = slowness2(w.r.vp2, w.r.over_qp2),
           l3 = slowness2(w.r.vp3, w.r.over_qp3);
  EXPECT_LT(std::abs(l1 * l2 * l3 - det3(a) / de) / std::abs(det3(a) / de), tol);
  EXPECT_LT(std::abs(l1 + l2 + l3 - trace) / std::abs(trace), tol);

  // Shear: the solid block with the fluid eliminated, against E of 2, 5.
  const LC s11 = a[0][0] - a[0][1] * a[1][0] / a[1][1], s13 = a[0][2] - a[0][1] * a[1][2] / a[1][1],
           s33 = a[2][2] - a[2][1] * a[1][2] / a[1][1];
  const long double e11 = c.mu1, e13 = 0.5L * c.mu13, e33 = c.mu3, des = e11 * e33 - e13 * e13;
  const LC prod = (s11 * s33 - s13 * s13) / des, sum = (e33 * s11 + e11 * s33 - 2.0L * e13 * s13) / des;
  const LC t1 = slowness2(w.r.vs1, w.r.over_qs1), t2 = slowness2(w.r.vs2, w.r.over_qs2);
  EXPECT_LT(std::abs(t1 * t2 - prod) / std::abs(prod), tol);
  EXPECT_LT(std::abs(t1 + t2 - sum) / std::abs(sum), tol);
}

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

TEST(CellWaves, CoupledCellWithFrictionSatisfiesDeterminantAndTraceIdentities) {
  const CellCoefficients lossy = coupled_cell(1e7, 3e6, 5e7);
  const CellWaves w = waves::cell_waves(lossy, kOmega);
  EXPECT_GT(w.r.over_qp1, 0.0);
  EXPECT_GT(w.r.over_qs1, 0.0);
  expect_pencil_identities(lossy, w, 1e-12);
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
  // Compressional: the cell (nx/2, ny/2), and the last cell's waves returned.
  waves::PlaneWaves last;
  const std::string p = report(core::TestKind::compressional, coef, 4, &last);
  const waves::PlaneWaves want = waves_at(4, 3).r;
  EXPECT_EQ(std::memcmp(&last, &want, sizeof last), 0);
  EXPECT_EQ(std::count(p.begin(), p.end(), '\n'), 32);
  EXPECT_NE(p.find(" nx/2,ny/2  2 1\n Compressional wave speeds using eigenvalues"), std::string::npos);
  const CellWaves mid = waves_at(2, 1);
  EXPECT_EQ(value_after(p, "vp1 = "), mid.r.vp1);
  EXPECT_EQ(value_after(p, "1000/qp2 "), mid.r.over_qp2);
  EXPECT_EQ(value_after(p, " Q3 = "), mid.qp[2]);
  EXPECT_EQ(value_after(p, " ats1 = "), mid.ats[0]);
  // Shear: the first cell, no reference line.
  const std::string s = report(core::TestKind::shear, coef, 4);
  EXPECT_EQ(std::count(s.begin(), s.end(), '\n'), 31);
  EXPECT_EQ(s.find("nx/2"), std::string::npos);
  EXPECT_EQ(value_after(s, "vs1 = "), waves_at(1, 1).r.vs1);
  // nx = 1: nx/2 = 0 names no cell; only the banner and the closing blank.
  const std::string none = report(core::TestKind::compressional, coef, 1);
  EXPECT_EQ(std::count(none.begin(), none.end(), '\n'), 6);
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
