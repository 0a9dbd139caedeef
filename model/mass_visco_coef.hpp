// Mass (inertial) and viscous-friction coefficients of the three-phase
// medium, cell by cell.
#pragma once

#include "core/cell_array.hpp"
#include "core/coefficients.hpp"
#include "core/deck.hpp"
#include "core/test_kind.hpp"
#include "core/text_out.hpp"
#include "model/fractions.hpp"

namespace model {

// The mass and friction coefficients of one cell with the intermediate
// quantities they are built from.
struct MassCell {
  double ro = 0, ro_prim = 0;                   // water-ice and water-grain mixture densities, kg/m3
  double p11 = 0, p12 = 0, p13 = 0, p22 = 0, p23 = 0, p33 = 0;  // mass coefficients, kg/m3
  double capa_1 = 0, capa_3 = 0, capa = 0;      // permeabilities of the two pore networks and combined, m2
  double coef_b12 = 0, coef_b23 = 0, coef_b13 = 0;  // phase-pair friction coefficients, Pa s / m2
  double f11_prima = 0;                         // f11 with the solid-solid friction counted once
  double f11 = 0, f12 = 0, f22 = 0;             // friction coefficients, Pa s / m2
};

// The coefficients of a cell of material `n` with water proportion `phi`
// and fractions `f`. The shear tests take the grain sizes of the
// shaley-sand model in single precision. Computes only.
MassCell mass_cell(core::TestKind kind, const core::Deck& deck, int n, double phi, const CellFractions& f);

// Fills p11, p12, p13, p22, p23, p33, f11, f12, f22 of `c` for j = 1..nx
// (outer), k = 1..ny (inner), and prints the report of cell (1,1) on `out`.
// The shear tests, when cycle = 1, also write "b11_gnu", "b22_gnu" and
// "b12_gnu". Returns the fractions of the last cell visited, (nx, ny): its
// s1, s3, phi1, phi3 are what the volume-change report uses.
// Stops: 45678 / 555 (fractions), 99999 / 99998 (friction matrix of cell
// (1,1) not positive).
CellFractions mass_visco_coef(core::TestKind kind, const core::Deck& deck, const core::IntField& matnum,
                              const core::RealField& phiw, int cycle, core::Coefficients& c, core::TextOut& out);

}  // namespace model
