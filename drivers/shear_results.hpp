// Effective shear modulus of the sample from the solved shear test: the
// tangent of the shear angle of the top boundary (cmu), the sample averages
// of shear stress and strain (c13), their velocities and 1000/Q, the cell
// maps and one line in each result table.
#pragma once

#include "core/text_out.hpp"
#include "drivers/cell_maps.hpp"
#include "drivers/test_inputs.hpp"

namespace drivers {

using core::zcomplex;

struct ShearInputs : TestInputs {
  double imposed_water;  // the water proportion the program imposes
};

// What the shear estimate gives, as printed: velocities and Q in single
// precision, 1000/Q in double.
struct ShearEstimate {
  zcomplex modulus;
  float velocity;
  float q;
  double over_q;
};

// cmu = 1 / ctita, with an imaginary part of at most 1e-14 taken as zero;
// signed Q.
ShearEstimate shear_from_angle(zcomplex ctita, double rob_med);
// c13 = av_stress / (2 av_strain); Q as an absolute value.
ShearEstimate shear_from_averages(zcomplex av_strain, zcomplex av_stress, double rob_med);

void shear_results(const upscaling::SolutionView& solution, const ShearInputs& in, CellMaps maps, TestFiles files,
                   core::TextOut& report);

}  // namespace drivers
