// Effective compressional modulus of the sample from the solved
// compressibility test: volume change of the top boundary (mstar), sample
// averages of stress and strain (c33), their velocities and 1000/Q, the
// cell maps and one line in each result table.
#pragma once

#include "core/text_out.hpp"
#include "drivers/cell_maps.hpp"
#include "drivers/test_inputs.hpp"
#include "upscaling/modulus_wave.hpp"

namespace drivers {

struct CompressionalInputs : TestInputs {
  double step_frequency;
  double s1, s3;  // solid fractions of the last cell
};

void compressional_results(const upscaling::SolutionView& solution, const CompressionalInputs& in,
                           CellMaps maps, TestFiles files,
                           core::TextOut& report);

}  // namespace drivers
