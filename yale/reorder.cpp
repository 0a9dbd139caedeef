// Symmetric reordering of a matrix stored by one triangle: every
// off-diagonal entry moves to the row where it lies above the diagonal in
// the new order, and the entries are permuted in place.
#include "yale/yale.hpp"

#include <utility>

namespace yale {

template <class V>
void sro(int32_t n, CIVec iperm, IVec ia, IVec ja, Vec1<V> a, IVec count, IVec target, bool diag_first) {
  const int32_t base = ia(1);
  // target is indexed by entry position relative to ia(1).
  auto tgt = [&](int32_t p) -> int32_t& { return target(p - base + 1); };

  // Target row of every entry: the row where it lies above the diagonal.
  for (int32_t i = 1; i <= n; ++i) count(i) = 0;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t p = ia(i); p < ia(i + 1); ++p) {
      const int32_t k = ja(p);
      int32_t row = i;
      if (iperm(k) < iperm(i)) {
        ja(p) = i;
        row = k;
      }
      tgt(p) = row;
      count(row) += 1;
    }
  }

  // New row pointers; count(i) becomes one past the end of row i.
  for (int32_t i = 1; i <= n; ++i) {
    ia(i + 1) = ia(i) + count(i);
    count(i) = ia(i + 1);
  }

  // New position of every entry: rows fill from their end in the order of
  // the old positions, the diagonal first when asked.
  int32_t marker = 0;
  for (int32_t p = ia(n + 1) - 1; p >= base; --p) {
    const int32_t i = tgt(p);
    if (diag_first && ja(p) == i && i != marker) {
      tgt(p) = ia(i);
      marker = i;
    } else {
      count(i) -= 1;
      tgt(p) = count(i);
    }
  }

  // Apply the permutation in place, cycle by cycle.
  for (int32_t p = base; p < ia(n + 1); ++p) {
    while (tgt(p) != p) {
      const int32_t q = tgt(p);
      tgt(p) = tgt(q);
      tgt(q) = q;
      std::swap(ja(p), ja(q));
      std::swap(a(p), a(q));
    }
  }
}

YALE_FOR_EACH_VALUE_TYPE(sro)

}  // namespace yale
