// What the post-processing of either test reads besides the solution: the
// deck, the cell coefficients, the mean density and the analytic waves.
#pragma once

#include "core/coefficients.hpp"
#include "core/deck.hpp"
#include "waves/plane_waves.hpp"

namespace drivers {

struct TestInputs {
  const core::Deck& deck;
  const core::Coefficients& coef;
  double rob_med;
  const waves::PlaneWaves& waves;
};

}  // namespace drivers
