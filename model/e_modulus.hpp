// Elastic coefficients of the three-phase medium (solid 1, water, solid 3),
// cell by cell.
#pragma once

#include "core/cell_array.hpp"
#include "core/coefficients.hpp"
#include "core/deck.hpp"
#include "core/test_kind.hpp"
#include "core/text_out.hpp"

namespace model {

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
