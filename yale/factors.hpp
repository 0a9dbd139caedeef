// The permuted matrix that the numeric factorisation reads, and the factors
// A(rperm, cperm) = (L + D)(Id + U) that it leaves in the workspace.
#pragma once

#include <cstdint>

#include "yale/ordering.hpp"

namespace yale {

// A'(k, j) = A(rperm(k), cperm(j)) for A in Yale storage (ia, ja, a), 1-based.
// icperm is the inverse of cperm: column j of A is column icperm(j) of A'.
template <class V>
struct PermutedMatrix {
  int32_t n;
  CIVec rperm, cperm, icperm;
  CIVec ia, ja;
  Vec1<const V> a;
};

// Row k of L: columns l_col(l_start(k) .. l_start(k+1)-1), increasing, with
// the fully reduced values l_val (not divided by a pivot).  d_inv(k) is
// 1 / pivot(k).  Row k of U: columns u_col(u_start(k) ..), increasing, with
// values u_val already divided by pivot(k), so that Id + U is unit upper
// triangular.  The views refer to workspace words; copying a Factors copies
// no values.
template <class V>
struct Factors {
  int32_t n;
  CIVec l_start, l_col;
  Vec1<V> l_val;
  Vec1<V> d_inv;
  CIVec u_start, u_col;
  Vec1<V> u_val;

  int32_t l_count() const { return l_start(n + 1) - 1; }
  int32_t u_count() const { return u_start(n + 1) - 1; }
};

}  // namespace yale
