// Analytic plane waves of the three-phase medium (solid 1, fluid, solid 3):
// phase velocities and 1000/Q of the three compressional and the two shear
// waves of every cell, from the eigenvalues of S = E^{-1} A.
#pragma once

#include <cstdint>

#include "core/coefficients.hpp"
#include "core/test_kind.hpp"
#include "core/text_out.hpp"
#include "waves/small_matrix.hpp"

namespace waves {

// The ten analytic results of a cell.
struct PlaneWaves {
  double vp1, vp2, vp3;                 // compressional velocities, m/s; vp1 >= vp2
  double vs1, vs2;                      // shear velocities, m/s; vs1 >= vs2
  double over_qp1, over_qp2, over_qp3;  // 1000/Q of the compressional waves
  double over_qs1, over_qs2;            // 1000/Q of the shear waves
};

using core::CellCoefficients;

// A cell's waves with what the report prints besides the ten results.
struct CellWaves {
  PlaneWaves r;
  double qp[3], atp[3];  // Q and printed attenuation of compressional waves 1..3
  double qs[2], ats[2];  // the same of shear waves 1, 2
};

// The elastic matrix E and the mass-and-friction matrix A of the plane-wave
// problem. Components: 1 solid 1 along the propagation direction, 2 solid 1
// across it, 3 fluid, 4 solid 3 along, 5 solid 3 across.
void wave_matrices(const CellCoefficients& c, double omega, Mat5& e, Mat5& a);

// The squared slownesses of the cell by the closed route: E^{-1} A, the
// eigenvalues of its compressional block {1,3,4} (`lambda`, in the order
// of cautov) and of its shear block {2,5} (`tau`, (tr + r)/2 then (tr - r)/2).
void direct_slownesses(const Mat5& e, const Mat5& a, Vec3& lambda, Vec2& tau);

// The waves of one cell: labels from the closed route, values of the
// squared slownesses from the accurate pencil roots (pencil_roots.hpp),
// then the exchange rules, velocities and Q.
CellWaves cell_waves(const CellCoefficients& c, double omega);

// Every cell j = 1..nx (inner), k = 1..ny (outer): prints the banner at
// cell (1,1) and the report of the reference cell on `out` (compressional
// test: cell (nx/2, ny/2); shear tests: everything at cell (1,1)), stops
// the run with 2000..2004 when a velocity is not positive, prints one blank
// line after the last cell and returns the results of cell (nx, ny).
PlaneWaves veloc_aten(int32_t nx, int32_t ny, double omega, const core::Coefficients& coef, core::TestKind kind,
                      core::TextOut& out);

}  // namespace waves
