// Effective compressional modulus of the sample from the solved
// compressibility test: volume change of the top boundary (mstar), sample
// averages of stress and strain (c33), their velocities and 1000/Q, the
// cell maps and one line in each result table.
#pragma once

#include "upscaling/modulus_wave.hpp"
#include "core/coefficients.hpp"
#include "core/deck.hpp"
#include "core/text_out.hpp"
#include "drivers/cell_maps.hpp"
#include "waves/plane_waves.hpp"

namespace drivers {

struct CompressionalInputs {
  const core::Deck& deck;
  const core::Coefficients& coef;
  double rob_med;
  double step_frequency;
  double s1, s3;                   // solid fractions of the last cell
  const waves::PlaneWaves& waves;
};

void compressional_results(const SolutionView& solution, const CompressionalInputs& in,
                           CellMaps maps, TestFiles files,
                           core::TextOut& report);

}  // namespace drivers
