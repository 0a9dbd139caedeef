// Cell coefficients from the rock-physics model for material 1 of the
// example decks, with the water proportion chosen cell by cell.
#pragma once

#include <functional>
#include <memory>

#include "model/e_modulus.hpp"
#include "model/mass_visco_coef.hpp"
#include "tests/model/support.hpp"

namespace wavetest {

struct Grid {
  core::IntField matnum;
  core::RealField phiw;
  core::Coefficients coef;
};

// The eighteen fields of an nx x ny grid of material 1 with water
// proportion phi(j, k), at angular frequency omega (cycle 2: no plotting
// files; the report goes nowhere).
inline std::unique_ptr<Grid> model_grid(core::Deck deck, int nx, int ny, double omega,
                                        const std::function<double(int, int)>& phi) {
  static core::TextOut quiet("/dev/null");
  auto g = std::make_unique<Grid>();
  deck.nx = nx, deck.ny = ny;
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j) g->matnum(j, k) = 1, g->phiw(j, k) = phi(j, k);
  model::e_modulus(core::TestKind::compressional, deck, g->matnum, g->phiw, omega, 2, g->coef, quiet);
  model::mass_visco_coef(core::TestKind::compressional, deck, g->matnum, g->phiw, 2, g->coef, quiet);
  return g;
}

}  // namespace wavetest
