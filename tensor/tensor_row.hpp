// The results of one frequency of tensor_upscale: one row of "tensor.csv"
// and one entry of the run record.
#pragma once

#include <string>
#include <vector>

#include "core/complex.hpp"

namespace tensor {

// A further column of the table (velocities at asked angles, error bars,
// resolution): its name, its unit for the units row, its value.
struct Column {
  std::string name;
  std::string unit;
  double value = 0;
};

// Above this relative error of 1000/Q to expect (column
// expected_error_q1000) a frequency counts as unresolved.
inline constexpr double kUnresolvedQ1000Error = 0.03;

struct TensorRow {
  double freq_hz = 0;
  // Effective stiffness of the 2D medium, Pa; c31 is the check of symmetry.
  core::zcomplex c11{}, c13{}, c31{}, c33{}, c55{};
  double rho = 0;                            // mean density, kg/m3
  double vp0 = 0, q1000_p0 = 0;              // P wave along y (normal to the layering)
  double vp90 = 0, q1000_p90 = 0;            // P wave along x
  double vs0 = 0, q1000_s0 = 0;              // S wave along y
  double backward_error = 0;                 // worst over the solves of this frequency
  std::vector<Column> extra;                 // in the order they are to appear
};

}  // namespace tensor
