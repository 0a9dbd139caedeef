// Cell coefficients from the rock-physics model, for decks like the
// example decks, with the water proportion chosen cell by cell.
#pragma once

#include <functional>
#include <memory>

#include "core/coefficients.hpp"
#include "core/deck.hpp"
#include "core/text_out.hpp"
#include "model/e_modulus.hpp"
#include "model/mass_visco_coef.hpp"

namespace wavetest {

// One layer material, that of layer 1 of examples/ice.deck.
inline core::Deck ice_deck() {
  core::Deck d;
  d.freq = 10.0;
  d.key_model = 0;
  d.nlayers = 1;
  d.akf(1) = 2.25e9;
  d.ro2(1) = 1000.0;
  d.eta(1) = 1.798e-3;
  d.ro1(1) = 2650.0;
  d.ro3(1) = 920.0;
  d.phi_a(1) = 0.4;
  d.phi_layer1(1) = 0.1;
  d.capa_1_0(1) = 1e-12;
  d.capa_3_0(1) = 5e-13;
  d.s3(1) = 0.0;
  d.rs1(1) = 5e-5;
  d.rs3(1) = 1e-6;
  d.coef_b13(1) = 1e8;
  d.ak_air(1) = 1.42e5;
  d.xmu_air(1) = 1e3;
  d.ak_s1(1) = 3.6e10;
  d.xmu_s1(1) = 4.4e10;
  d.ak_s3(1) = 8.58e9;
  d.xmu_s3(1) = 3.32e9;
  return d;
}

// Layer 1 of examples/shale.deck.
inline core::Deck shale_deck() {
  core::Deck d = ice_deck();
  d.key_model = 1;
  d.eta(1) = 1e-3;
  d.ro3(1) = 2580.0;
  d.phi_layer1(1) = 0.25;
  d.s3(1) = 0.1;
  d.ak_s1(1) = 3.7e10;
  d.ak_s3(1) = 2.09e10;
  d.xmu_s3(1) = 6.85e9;
  return d;
}

struct Grid {
  core::IntField matnum;
  core::RealField phiw;
  core::Coefficients coef;
};

// The eighteen fields of an nx x ny grid of material 1 with water
// proportion phi(j, k), at angular frequency omega. The model's report
// goes nowhere.
inline std::unique_ptr<Grid> model_grid(core::Deck deck, int nx, int ny, double omega,
                                        const std::function<double(int, int)>& phi) {
  static core::TextOut quiet("/dev/null");
  auto g = std::make_unique<Grid>();
  deck.nx = nx;
  deck.ny = ny;
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j) {
      g->matnum(j, k) = 1;
      g->phiw(j, k) = phi(j, k);
    }
  // cycle 2: no plotting files.
  model::e_modulus(core::TestKind::compressional, deck, g->matnum, g->phiw, omega, 2, g->coef, quiet);
  model::mass_visco_coef(core::TestKind::compressional, deck, g->matnum, g->phiw, 2, g->coef, quiet);
  return g;
}

}  // namespace wavetest
