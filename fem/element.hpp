// Element matrix and load of one cell for the two oscillatory tests.
//
// The matrix is the same for both tests: the real part is the strain-energy
// form of the three-phase medium (bilinear displacements of the two solids,
// lowest-order edge elements for the relative fluid displacement), the
// imaginary part omega times the viscous dissipation form; there is no
// inertia. The tests differ only in which local unknowns are prescribed
// (forced to zero) and in the boundary tractions.
#pragma once

#include <cassert>
#include <cstdint>

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

// Element matrix `ae` and load `be` of cell (j, k) of the nx x ny grid for the
// test `kind`. The coefficient arguments are the cell's entries of the shared
// coefficient fields; the six mass coefficients are set to zero there (the
// tests carry no inertia).
//
// Rows of prescribed unknowns keep only their diagonal; the lower triangle of
// every other row is copied from the upper triangle as it stands, so a
// prescribed unknown's column is zero below the diagonal. Prescribed unknowns
// carry no load.
//
//   compressional: sample confined laterally, resting on its base, sealed on
//     all sides, unit downward traction on both solids along the top.
//   shear: base clamped and sealed, other sides sealed, unit tangential
//     tractions on solid 1 along the left (down), right (up) and top (+x).
void local_sys(core::TestKind kind, int32_t j, int32_t k, int32_t nx, int32_t ny, double omega, double h,
               double& lambda1, double& lambda3, double& mu1, double& mu3, double& mu13, double& b1, double& b2,
               double& m, double& d3, double& p11, double& p12, double& p13, double& p22, double& p23, double& p33,
               double& f11, double& f12, double& f22, ElementMatrix& ae, ElementLoad& be);

}  // namespace fem
