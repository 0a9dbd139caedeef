// The diffusion length of the slow waves against the full plane-wave
// analysis: slowly enough (1 mHz to 1 Hz on the example materials) inertia
// does not matter, and 1/|Im k| of the quasi-static pencil equals v Q / omega
// of the slower of the two slow waves of the analysis with its masses
// (Im s = 1 / (v Q) for a slowness s of velocity v = 1/Re s). The length
// falls as f^-1/2, and without friction the fluid never settles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "deck_cells.hpp"
#include "waves/diffusion_length.hpp"
#include "waves/plane_waves.hpp"

namespace {

// The shorter of v Q / omega over compressional waves 2 and 3.
double slow_wave_length(const core::CellCoefficients& c, double omega) {
  const waves::CellWaves w = waves::cell_waves(c, omega);
  return std::min(w.r.vp2 * w.qp[1], w.r.vp3 * w.qp[2]) / omega;
}

}  // namespace

TEST(DiffusionLength, EqualsThatOfTheSlowPlaneWavesAtLowFrequencyAndFallsAsTheRootOfIt) {
  for (const core::Deck& deck : {model_test::ice_deck(1, 1), model_test::shale_deck(1, 1)}) {
    for (const double phi : {0.1, 0.3}) {
      for (const double f : {1e-3, 1.0}) {
        const double omega = 2 * M_PI * f;
        const auto g = wavetest::model_grid(deck, 1, 1, omega, [=](int, int) { return phi; });
        const core::CellCoefficients c = g->coef.at(1, 1);
        const double l = waves::diffusion_length(c, omega);
        EXPECT_NEAR(l / slow_wave_length(c, omega), 1.0, 1e-5 * f + 1e-9) << phi << " " << f;  // inertia ~ f
        EXPECT_NEAR(waves::diffusion_length(c, 100 * omega) / l, 0.1, 1e-9);
        EXPECT_NEAR(waves::cells_per_diffusion_length(g->coef, 1, 1, l / 4, omega), 4.0, 1e-12);
      }
    }
  }
  core::CellCoefficients still = wavetest::model_grid(model_test::ice_deck(1, 1), 1, 1, 1.0, [](int, int) { return 0.2; })->coef.at(1, 1);
  still.f11 = still.f12 = still.f22 = 0;
  EXPECT_TRUE(std::isinf(waves::diffusion_length(still, 1.0)));
}
