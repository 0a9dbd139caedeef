// Elastic coefficients of the three-phase medium (solid 1, water, solid 3),
// cell by cell.
#pragma once

#include "core/cell_array.hpp"
#include "core/coefficients.hpp"
#include "core/deck.hpp"
#include "core/test_kind.hpp"
#include "core/text_out.hpp"
#include "model/fractions.hpp"

namespace model {

// The elastic law of one cell with the intermediate moduli it is built from
// (all in Pa, the coefficients dimensionless).
struct ElasticCell {
  double km1 = 0, mum1 = 0, km3 = 0, mum3 = 0;  // dry frames of solid 1 and solid 3
  double c1 = 0, c3 = 0, g1 = 0, g3 = 0;        // consolidation coefficients, bulk and shear
  double kav = 0, muav = 0;                     // average bulk and shear terms
  double alfa1 = 0, alfa3 = 0;                  // effective-stress coefficients
  double kg1 = 0, kg3 = 0, kg = 0;              // Gassmann-type moduli
  // Relative-fluid formulation.
  double K1 = 0, K2 = 0, K3 = 0, C12 = 0, C13 = 0, C23 = 0;
  // Absolute-displacement formulation.
  double H1 = 0, H3 = 0, B1 = 0, B2 = 0, B3 = 0, M = 0;
  // Plane-strain law: what the cell fields keep.
  double lambda1 = 0, lambda3 = 0, mu1 = 0, mu3 = 0, mu13 = 0, d3 = 0;
};

// The elastic law of a cell of material `n` with water proportion `phi`
// and fractions `f`, at angular frequency `omega` (the fluid's viscosity
// brings the frequency into the shear moduli). Computes only.
ElasticCell elastic_cell(const core::Deck& deck, int n, double phi, const CellFractions& f, double omega);

// The Lame relations of the law: lambda = H - mu and d3 = B3 - mu13/2 in
// the plane-strain law; lambda = H - 2 mu/3 and d3 = B3 - mu13/3 with the
// 3D relations (bulk modulus less two thirds of the shear modulus).
inline double lame_lambda(bool three_d, double H, double mu) { return three_d ? H - 2.0 * mu / 3.0 : H - mu; }
inline double lame_d3(bool three_d, double B3, double mu13) { return three_d ? B3 - mu13 / 3.0 : B3 - mu13 / 2.0; }

// The Lame coefficients of the 3D relations in place of the plane-strain ones.
struct Lame3d {
  double lambda1, lambda3, d3;
};
inline Lame3d lame_3d(const ElasticCell& e) {
  return {lame_lambda(true, e.H1, e.mu1), lame_lambda(true, e.H3, e.mu3), lame_d3(true, e.B3, e.mu13)};
}

// Fills the nine elastic fields lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3
// of `c` for j = 1..nx (outer), k = 1..ny (inner), from the cell's material
// matnum(j,k), its water proportion phiw(j,k) and the angular frequency
// `omega`. Prints the detailed report of cell (1,1) on `out`. When cycle = 1
// it writes the nine plotting files "xmu1_gnu" ... "d3_gnu".
// Stops: 45678 / 555 (fractions), 12345 / 12346 (cell (1,1) with a negative
// lambda1 / lambda3), 45687 / 45688 (strain energy not positive definite).
void e_modulus(core::TestKind kind, const core::Deck& deck, const core::IntField& matnum,
               const core::RealField& phiw, double omega, int cycle, core::Coefficients& c, core::TextOut& out);

}  // namespace model
