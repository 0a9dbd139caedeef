// Element matrix and load of one cell for the two oscillatory tests.
//
// Unknowns: the displacements u1, u3 of solid 1 and solid 3 (bilinear, one
// x and one y value per vertex) and the fluid displacement relative to the
// solids w (lowest-order edge elements: one normal flux per edge). With z1,
// z3, v the test functions and eps(u) = (grad u + grad u^T)/2, the element
// matrix is the form B over the cell, the same for both tests:
//
//   Re B = int  lambda1 div u1 div z1 + 2 mu1 eps(u1):eps(z1)
//             + lambda3 div u3 div z3 + 2 mu3 eps(u3):eps(z3)
//             + d3 (div u3 div z1 + div u1 div z3)
//             + mu13 (eps(u3):eps(z1) + eps(u1):eps(z3))
//             + b1 (div u1 div v + div w div z1) + b2 (div u3 div v + div w div z3)
//             + m div w div v
//   Im B = omega int  f11 (u1 - u3).(z1 - z3) - f12 ((u1 - u3).v + w.(z1 - z3)) + f22 w.v
//
// the strain energy and the viscous dissipation of the three-phase medium;
// there is no inertia. The tests differ only in which local unknowns are
// prescribed (forced to zero) and in the boundary tractions.
#pragma once

#include <cassert>
#include <cstdint>

#include "core/coefficients.hpp"
#include "core/complex.hpp"
#include "core/test_kind.hpp"
#include "fem/numbering.hpp"

namespace fem {

// 20 x 20 complex element matrix, ae(r, c): r the test function (row), c the
// trial function (column), both in the local order of numbering.hpp.
class ElementMatrix {
 public:
  core::zcomplex& operator()(int r, int c) {
    assert(r >= 1 && r <= kLocalUnknowns && c >= 1 && c <= kLocalUnknowns);
    return v_[(r - 1) + (c - 1) * kLocalUnknowns];
  }
  core::zcomplex operator()(int r, int c) const {
    assert(r >= 1 && r <= kLocalUnknowns && c >= 1 && c <= kLocalUnknowns);
    return v_[(r - 1) + (c - 1) * kLocalUnknowns];
  }

 private:
  core::zcomplex v_[kLocalUnknowns * kLocalUnknowns];
};

// 20-entry complex element load.
class ElementLoad {
 public:
  core::zcomplex& operator()(int a) {
    assert(a >= 1 && a <= kLocalUnknowns);
    return v_[a - 1];
  }
  core::zcomplex operator()(int a) const {
    assert(a >= 1 && a <= kLocalUnknowns);
    return v_[a - 1];
  }

 private:
  core::zcomplex v_[kLocalUnknowns];
};

// Where a cell lies in the nx x ny grid.
struct CellPlace {
  int32_t j, k, nx, ny;
};

// Element matrix `ae` and load `be` of the cell at `place` for the test
// `kind`, from the cell's coefficients `c` (its mass coefficients unused),
// the angular frequency and the cell side h.
//
// Rows of prescribed unknowns keep only their diagonal; the lower triangle of
// every other row is copied from the upper triangle as it stands, so a
// prescribed unknown's column is zero below the diagonal. Prescribed unknowns
// carry no load.
//
// Which unknowns each side prescribes and which it loads, for either test,
// is stated in test_conditions.hpp.
void element_system(core::TestKind kind, CellPlace place, const core::CellCoefficients& c, double omega, double h,
                    ElementMatrix& ae, ElementLoad& be);

// The same, with the coefficient arguments the cell's entries of the shared
// coefficient fields; the six mass coefficients are set to zero there (the
// tests carry no inertia).
void local_sys(core::TestKind kind, int32_t j, int32_t k, int32_t nx, int32_t ny, double omega, double h,
               double& lambda1, double& lambda3, double& mu1, double& mu3, double& mu13, double& b1, double& b2,
               double& m, double& d3, double& p11, double& p12, double& p13, double& p22, double& p23, double& p33,
               double& f11, double& f12, double& f22, ElementMatrix& ae, ElementLoad& be);

// The symmetric element matrix of the form B before any boundary condition:
// every row and column of the cell's twenty unknowns, from the cell's
// coefficients (mass coefficients unused), omega and h. Programs that
// impose their own conditions eliminate the prescribed unknowns from it.
void regular_element_matrix(const core::CellCoefficients& c, double omega, double h, ElementMatrix& ae);

}  // namespace fem
