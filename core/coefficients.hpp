// The eighteen coefficient fields of the three-phase medium, one value per
// cell. Index 1 is solid 1, 2 the fluid, 3 solid 3.
#pragma once

#include "core/cell_array.hpp"

namespace core {

struct Coefficients {
  // Elastic, Pa.
  RealField lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;
  // Mass, kg/m3.
  RealField p11, p12, p13, p22, p23, p33;
  // Viscous friction, Pa s / m2.
  RealField f11, f12, f22;
};

}  // namespace core
