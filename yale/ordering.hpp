// Minimum-degree ordering on the quotient graph, inside a fixed pool of list
// cells.  The routines look only at the pattern and serve every value type.
#pragma once

#include <cstdint>

#include "yale/workspace.hpp"

namespace yale {

using IVec = Vec1<int32_t>;
using CIVec = Vec1<const int32_t>;

// Symmetric fill-reducing permutation of the graph made of the entries of
// (ia, ja) above the diagonal.  On success perm(k) is the vertex eliminated
// k-th and iperm(v) the position of v; flag = 9n+k when the nc cells of the
// pool run out while reading row k.  `mark` is the same storage as
// cell_item(1..n).
void md(int32_t n, CIVec ia, CIVec ja, int32_t nc, IVec cell_item, IVec cell_link, IVec deg_head, IVec perm,
        IVec iperm, IVec mark, int32_t& flag);

// The four steps of md, exposed for tests.  back and fwd are perm and iperm.
void mdi(int32_t n, CIVec ia, CIVec ja, int32_t nc, IVec cell_item, IVec cell_link, IVec deg_head, IVec back,
         IVec fwd, IVec mark, int32_t& tag, int32_t& flag);
void mdm(int32_t vk, int32_t& tail, IVec cell_item, IVec cell_link, IVec back, IVec fwd, IVec mark);
void mdp(int32_t& k, int32_t ek, int32_t& tail, IVec cell_item, IVec cell_link, IVec deg_head, IVec back, IVec fwd,
         IVec mark);
void mdu(int32_t ek, int32_t& dmin, IVec cell_item, IVec cell_link, IVec deg_head, IVec back, IVec fwd, IVec mark);

}  // namespace yale
