// Solves with the factors that an earlier factorisation left in the
// workspace: A z = b and the plain transpose A^T z = b.
#include "yale/yale.hpp"

namespace yale {

template <class V>
void nns(const Factors<V>& f, CIVec rperm, CIVec cperm, Vec1<V> z, Vec1<const V> b, Vec1<V> y_tmp) {
  // Forward with L + D, subtracting in the order of the fused forward solve
  // of the factorisation, then back with Id + U.
  for (int32_t j = 1; j <= f.n; ++j) {
    V s = b(rperm(j));
    for (int32_t p = f.l_start(j); p < f.l_start(j + 1); ++p) s = s - f.l_val(p) * y_tmp(f.l_col(p));
    y_tmp(j) = s * f.d_inv(j);
  }
  back_substitute(f, cperm, z, y_tmp);
}

template <class V>
void nnt(const Factors<V>& f, CIVec rperm, CIVec cperm, Vec1<V> z, Vec1<const V> b, Vec1<V> y_tmp) {
  const int32_t n = f.n;
  for (int32_t i = 1; i <= n; ++i) y_tmp(i) = b(cperm(i));
  // (Id + U)^T, column by column.
  for (int32_t i = 1; i <= n; ++i) {
    const V yi = y_tmp(i);
    for (int32_t p = f.u_start(i); p < f.u_start(i + 1); ++p)
      y_tmp(f.u_col(p)) = y_tmp(f.u_col(p)) - f.u_val(p) * yi;
  }
  // (L + D)^T, backward.
  for (int32_t i = n; i >= 1; --i) {
    const V y = y_tmp(i) * f.d_inv(i);
    for (int32_t p = f.l_start(i); p < f.l_start(i + 1); ++p)
      y_tmp(f.l_col(p)) = y_tmp(f.l_col(p)) - f.l_val(p) * y;
    z(rperm(i)) = y;
  }
}

YALE_FOR_EACH_VALUE_TYPE(nns)
YALE_FOR_EACH_VALUE_TYPE(nnt)

}  // namespace yale
