// Assembly of the global system of one oscillatory test.
#pragma once

#include <cstdint>

#include "core/coefficients.hpp"
#include "core/complex.hpp"
#include "core/test_kind.hpp"
#include "fem/numbering.hpp"
#include "fem/yale_system.hpp"

namespace fem {

// Builds the global system of the test `kind` in `sys`: for every cell
// (j outer, k inner) the element routine's 20 x 20 block is added entry by
// entry (a outer, b inner, zeros included) at (xnod(cell, a), xnod(cell, b)),
// and its load into rhs_m. Each row is kept with sorted, distinct columns.
// The cells' six mass coefficients are set to zero in `coef`.
//
// Every row is built inside its own slot of kEntriesPerUnknown positions and
// the slots are packed once at the end, so the time is linear in the number
// of entries. The result is bit for bit that of global_sist_by_insertion:
// each stored value is the sum of the same contributions in the same order.
// Positions ia(n+1) .. 50*n of ja and avec read zero afterwards.
void global_sist(core::TestKind kind, double omega, int32_t nx, int32_t ny, double h, const XnodTable& xnod,
                 core::Coefficients& coef, YaleSystem& sys);

// The same system built by inserting every entry through contribucion_yale
// into one compressed store. Its time grows with the square of the number of
// entries; it is kept as the plain statement of what global_sist builds.
void global_sist_by_insertion(core::TestKind kind, double omega, int32_t nx, int32_t ny, double h,
                              const XnodTable& xnod, core::Coefficients& coef, YaleSystem& sys);

// Adds `value` to the stored entry (row, col) of the compressed store of an
// n-unknown system, inserting it in column order when the row does not hold
// that column yet; the entries behind it and the later row pointers move up
// by one.
void contribucion_yale(int32_t col, int32_t row, core::zcomplex value, int32_t n, YaleSystem& sys);

}  // namespace fem
