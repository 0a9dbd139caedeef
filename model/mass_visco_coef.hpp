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
