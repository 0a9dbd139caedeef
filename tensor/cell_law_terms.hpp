// The cells' law split by its dependence on the frequency.
//
// Only two things in a cell's law change with the frequency: the friction
// coefficients f11, f12, f22 enter the element matrix times omega (as its
// imaginary part), and the fluid's viscosity adds to the average shear term
//
//   muav(omega) = 1 / (a + phi / (2 omega eta)),   a = sum_s (1 - g_s) phi_s / mu_s,
//
// which enters mu1, mu3, mu13 (alpha1^2, alpha3^2, alpha1 alpha3 times muav,
// alpha_s = (1 - g_s) phi_s) and through them lambda1, lambda3 and d3. So
// every cell's coefficients are
//
//   c(omega) = static + muav_g(omega) unit + omega friction,
//
// with one muav function per group g of cells sharing material and water
// proportion. The element matrix is linear in the coefficients, so the
// system is A(omega) = A_static + i omega F + sum_g muav_g(omega) M_g.
#pragma once

#include <cstdint>
#include <vector>

#include "core/coefficients.hpp"
#include "tensor/sample.hpp"

namespace tensor {

struct CellLawTerms {
  // Per cell held by the sample (Sample::cell_at): its group (-1 when its muav is always 0).
  std::vector<int32_t> group_of_cell;
  std::vector<core::CellCoefficients> fixed, unit, friction;  // friction: f11, f12, f22 only
  // One representative cell per group: material index (0-based) and water proportion.
  struct Group {
    int32_t material;
    double water;
  };
  std::vector<Group> groups;
};

// The terms of the cells the sample holds (of a band, its rows and the row
// above), the groups in the order their first cells come.
CellLawTerms cell_law_terms(const Sample& s);

// muav of each group at angular frequency omega, from the model's law.
std::vector<double> group_muav(const Sample& s, const CellLawTerms& t, double omega);

// Whether a cell's coefficients make a positive semidefinite energy density
// (strain energy, and friction f11 |u1-u3|^2 - 2 f12 (u1-u3).w + f22 |w|^2),
// to a relative slack of `slack`.
bool energy_semidefinite(const core::CellCoefficients& c, double slack = 1e-12);

}  // namespace tensor
