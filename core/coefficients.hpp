// The eighteen coefficients of the three-phase medium: one cell's values,
// and the fields holding them for every cell. Index 1 is solid 1, 2 the
// fluid, 3 solid 3.
#pragma once

#include "core/cell_array.hpp"

namespace core {

struct CellCoefficients {
  // Elastic, Pa.
  double lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;
  // Mass, kg/m3.
  double p11, p12, p13, p22, p23, p33;
  // Viscous friction, Pa s / m2.
  double f11, f12, f22;
};

struct Coefficients {
  // Fields of the largest deck grid.
  Coefficients() = default;
  // Fields of an nx x ny grid.
  Coefficients(int64_t nx, int64_t ny)
      : lambda1(nx, ny), lambda3(nx, ny), mu1(nx, ny), mu3(nx, ny), mu13(nx, ny), b1(nx, ny), b2(nx, ny),
        m(nx, ny), d3(nx, ny), p11(nx, ny), p12(nx, ny), p13(nx, ny), p22(nx, ny), p23(nx, ny), p33(nx, ny),
        f11(nx, ny), f12(nx, ny), f22(nx, ny) {}

  RealField lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;
  RealField p11, p12, p13, p22, p23, p33;
  RealField f11, f12, f22;

  // The values of cell (j, k).
  CellCoefficients at(int64_t j, int64_t k) const {
    return {lambda1(j, k), lambda3(j, k), mu1(j, k), mu3(j, k), mu13(j, k), b1(j, k),
            b2(j, k),      m(j, k),       d3(j, k),  p11(j, k), p12(j, k), p13(j, k),
            p22(j, k),     p23(j, k),     p33(j, k), f11(j, k), f12(j, k), f22(j, k)};
  }
};

}  // namespace core
