#include "model/fractions.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"

namespace model {

namespace {

std::string no_room_for_ice(const core::Deck& deck, int m, double phi) {
  char s[240];
  std::snprintf(s, sizeof s,
                "ice model: a cell of layer material %d holds the water proportion %.10g, not below its absolute "
                "porosity phi_a(%d) = %.10g: no room for ice (expected 0 < phi_a - water proportion < 1)",
                m, phi, m, deck.phi_a(m));
  return s;
}

}  // namespace

CellFractions split_fractions(const core::Deck& deck, int m, double phi) {
  CellFractions f;
  if (deck.key_model == 0) {
    f.phi1 = 1.0 - deck.phi_a(m);
    f.phi3 = deck.phi_a(m) - phi;
    if (f.phi3 <= 0.0 || f.phi3 >= 1.0) core::raise_stop(core::kStopIceFraction, {}, no_room_for_ice(deck, m, phi));
    f.s3 = f.phi3 / (1.0 - phi);
    f.s1 = 1.0 - f.s3;
    f.s3_prima = f.phi3 / (1.0 - f.phi1);
    f.sw = phi / deck.phi_a(m);
  } else {
    f.s3 = deck.s3(m);
    f.phi3 = f.s3 * (1.0 - phi);
    f.phi1 = (1.0 - f.s3) * (1.0 - phi);
    f.s1 = 1.0 - f.s3;
  }
  f.control = f.phi1 + phi + f.phi3;
  return f;
}

void require_unit_sum(const CellFractions& f) {
  // Written so that a not-a-number sum fails too.
  if (!(std::abs(f.control - 1.0) < 1e-15)) core::raise_stop(core::kStopFractionSum);
}

CellFractions split_fractions_checked(const core::Deck& deck, int m, double phi) {
  const CellFractions f = split_fractions(deck, m, phi);
  require_unit_sum(f);
  return f;
}

}  // namespace model
