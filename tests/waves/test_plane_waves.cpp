// Velocities and 1000/Q of whole cells: closed forms of a decoupled cell,
// and what veloc_aten reports and returns; the diffusion length of the slow
// waves. (Coupled, lossy cells in quadruple precision: test_accuracy.cpp.)
#include <algorithm>
#include <cmath>
#include <cstring>

#include "tests/model/support.hpp"
#include "run_program.hpp"
#include "waves/diffusion_length.hpp"
#include "waves/plane_waves.hpp"

namespace {

using support::contains;
constexpr double kOmega = 2.0 * M_PI * 100.0;

// Without friction or coupling each wave moves one phase: v^2 = modulus /
// mass. Modes 1 and 2 are exchanged by speed; mode 3 (solid 3) stays where
// the cube-root angles of the cubic put it, whatever its speed.
TEST(CellWaves, DecoupledCellWithoutFrictionHasClosedForms) {
  waves::CellCoefficients c{};
  c.lambda1 = 2e10, c.mu1 = 3e10, c.lambda3 = 5e9, c.mu3 = 3e9, c.m = 8e9, c.p11 = 2000, c.p22 = 3000, c.p33 = 800;
  const waves::PlaneWaves r = waves::cell_waves(c, kOmega).r;
  const double got[5] = {r.vp1, r.vp2, r.vp3, r.vs1, r.vs2};
  const double want[5] = {std::sqrt(8e10 / 2000), std::sqrt(8e9 / 3000), std::sqrt(1.1e10 / 800),
                          std::sqrt(3e10 / 2000), std::sqrt(3e9 / 800)};
  for (int n = 0; n < 5; ++n) EXPECT_NEAR(got[n], want[n], 1e-12 * want[n]) << "wave " << n + 1;
  for (double q : {r.over_qp1, r.over_qp2, r.over_qp3, r.over_qs1, r.over_qs2}) EXPECT_LT(q, 1e-9);
  // Solids coupled in shear alone (d3 = -mu13): the two v^2 of the shear
  // block {mu1, mu13/2; mu13/2, mu3} over diag(p11, p33), by trace and determinant.
  c.mu13 = 1e10, c.d3 = -1e10;
  const waves::PlaneWaves s = waves::cell_waves(c, kOmega).r;
  const double v1 = s.vs1 * s.vs1, v2 = s.vs2 * s.vs2, det = (9e19 - 0.25e20) / (2000 * 800);
  EXPECT_NEAR(v1 + v2, want[3] * want[3] + want[4] * want[4], 1e-12 * v1);
  EXPECT_NEAR(v1 * v2, det, 1e-12 * det);
  EXPECT_NEAR(s.vp1, want[0], 1e-12 * want[0]);
}

// The report of veloc_aten on a 4 x 3 grid: compressional, the cell
// (nx/2, ny/2); shear, the first cell and no reference line; both return
// the waves of the last cell.
using VelocAten = model_test::InTempDir;
TEST_F(VelocAten, ReportsTheMiddleCellOrTheFirstAndReturnsTheLast) {
  const auto g = model_test::material_one(model_test::ice_deck(1, 2), 4, 3, kOmega, [](int j, int k) { return 0.02 + 0.05 * j + 0.03 * k; });
  auto waves_at = [&](int j, int k) { return waves::cell_waves(g->c.at(j, k), kOmega); };
  const waves::PlaneWaves want = waves_at(4, 3).r;
  for (const core::TestKind kind : {core::TestKind::compressional, core::TestKind::shear}) {
    waves::PlaneWaves last;
    support::Outcome r;
    r.out = model_test::report_of([&](core::TextOut& out) { last = waves::veloc_aten(4, 3, kOmega, g->c, kind, out); });
    EXPECT_EQ(std::memcmp(&last, &want, sizeof last), 0);
    if (kind == core::TestKind::shear) {
      EXPECT_TRUE(!contains(r.out, "nx/2") && r.after("vs1 = ") == waves_at(1, 1).r.vs1);
    } else {
      EXPECT_TRUE(contains(r.out, " nx/2,ny/2  2 1\n") && r.after("vp1 = ") == waves_at(2, 1).r.vp1 &&
                  r.after(" Q3 = ") == waves_at(2, 1).qp[2]);
    }
  }
}

// The diffusion length of the slow waves against the full plane-wave
// analysis: slowly enough (1 mHz to 1 Hz on the example materials) inertia
// does not matter, and 1/|Im k| of the quasi-static pencil equals v Q / omega
// of the slower of the two slow waves of the analysis with its masses
// (Im s = 1 / (v Q) for a slowness s of velocity v = 1/Re s). The length
// falls as f^-1/2, and without friction the fluid never settles. The
// slow waves' length: the shorter of v Q / omega over compressional waves 2 and 3.
double slow_wave_length(const core::CellCoefficients& c, double omega) {
  const waves::CellWaves w = waves::cell_waves(c, omega);
  return std::min(w.r.vp2 * w.qp[1], w.r.vp3 * w.qp[2]) / omega;
}

TEST(DiffusionLength, EqualsThatOfTheSlowPlaneWavesAtLowFrequencyAndFallsAsTheRootOfIt) {
  for (const core::Deck& deck : {model_test::ice_deck(1, 1), model_test::shale_deck(1, 1)}) {
    for (const double phi : {0.1, 0.3}) {
      for (const double f : {1e-3, 1.0}) {
        const double omega = 2 * M_PI * f;
        const auto g = model_test::material_one(deck, 1, 1, omega, [=](int, int) { return phi; });
        const core::CellCoefficients c = g->c.at(1, 1);
        const double l = waves::diffusion_length(c, omega);
        EXPECT_NEAR(l / slow_wave_length(c, omega), 1.0, 1e-5 * f + 1e-9) << phi << " " << f;  // inertia ~ f
        EXPECT_NEAR(waves::diffusion_length(c, 100 * omega) / l, 0.1, 1e-9);
        EXPECT_NEAR(waves::cells_per_diffusion_length(g->c, 1, 1, l / 4, omega), 4.0, 1e-12);
      }
    }
  }
  core::CellCoefficients still = model_test::material_one(model_test::ice_deck(1, 1), 1, 1, 1.0, [](int, int) { return 0.2; })->c.at(1, 1);
  still.f11 = still.f12 = still.f22 = 0;
  EXPECT_TRUE(std::isinf(waves::diffusion_length(still, 1.0)));
}

}  // namespace
