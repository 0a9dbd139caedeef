// Symbolic factorisation of A(rperm, cperm) = (L + D)(Id + U).
#pragma once

#include <cstdint>

#include "yale/ordering.hpp"

namespace yale {

// Structure of L (l_start, l_col, capacity jlmax) and U (u_start, u_col,
// capacity jumax), rows sorted by column.  link has n+1 words, prune_end n.
// flag: n+r empty row r, 2n+r column twice in row r, 3n+k / 6n+k capacity of
// l_col / u_col exceeded at row k, 5n+k no diagonal in row k's structure.
void nsf(int32_t n, CIVec rperm, CIVec icperm, CIVec ia, CIVec ja, IVec l_start, IVec l_col, int32_t jlmax,
         IVec u_start, IVec u_col, int32_t jumax, IVec link, IVec prune_end, int32_t& flag);

}  // namespace yale
