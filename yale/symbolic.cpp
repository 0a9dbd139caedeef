// Symbolic factorisation: the structure of L and U, row by row in the new
// order, from the pattern alone.
//
// Row k of the permuted matrix is gathered into a sorted linked list of
// columns threaded through `link` (head link(n+1), sentinel n+1).  Walking
// the list in increasing order, every column i < k is an entry of row k of L,
// and row i of U is merged into the list; the merged columns larger than i
// are met later by the same walk, so the list closes over all fill.  What is
// left above k is row k of U.
//
// Pruning: once row k of L holds column i and row i of U holds column k,
// every later row that merges row i also gets column k and so merges row k,
// which already holds the rest of row i.  Later rows need row i only up to
// column k: prune_end(i) records that shorter end.
#include "yale/symbolic.hpp"

#include <algorithm>

namespace yale {

namespace {

// Rows up to this length are sorted in local storage before they enter the list.
constexpr int32_t kShortRow = 64;

}  // namespace

void nsf(int32_t n, CIVec rperm, CIVec icperm, CIVec ia, CIVec ja, IVec l_start, IVec l_col, int32_t jlmax,
         IVec u_start, IVec u_col, int32_t jumax, IVec link, IVec prune_end, int32_t& flag) {
  const int32_t end = n + 1;  // list head and sentinel
  l_start(1) = 1;
  u_start(1) = 1;
  int32_t lcount = 0;
  int32_t ucount = 0;

  for (int32_t k = 1; k <= n; ++k) {
    link(end) = end;
    const int32_t r = rperm(k);
    if (ia(r + 1) <= ia(r)) {
      flag = n + r;
      return;
    }

    // The columns of row r, in the new numbering, into the sorted list
    // (empty so far): a short row is sorted in a local buffer and chained
    // in one pass, a long one inserted column by column.
    const int32_t len = ia(r + 1) - ia(r);
    if (len <= kShortRow) {
      int32_t cols[kShortRow];
      for (int32_t q = 0; q < len; ++q) cols[q] = icperm(ja(ia(r) + q));
      std::sort(cols, cols + len);
      int32_t prev = end;
      for (int32_t q = 0; q < len; ++q) {
        if (q > 0 && cols[q] == cols[q - 1]) {
          flag = 2 * n + r;
          return;
        }
        link(prev) = cols[q];
        prev = cols[q];
      }
      link(prev) = end;
    }
    for (int32_t e = len <= kShortRow ? ia(r + 1) : ia(r); e < ia(r + 1); ++e) {
      const int32_t c = icperm(ja(e));
      int32_t prev = end;
      int32_t cur = link(end);
      while (cur < c) {
        prev = cur;
        cur = link(cur);
      }
      if (cur == c) {
        flag = 2 * n + r;
        return;
      }
      link(prev) = c;
      link(c) = cur;
    }

    // Columns below the diagonal: entries of L, each merging its row of U.
    int32_t cur = link(end);
    while (cur < k) {
      const int32_t i = cur;
      ++lcount;
      if (lcount > jlmax) {
        flag = 3 * n + k;
        return;
      }
      l_col(lcount) = i;

      const int32_t stop = prune_end(i);
      int32_t pos = i;  // the merged columns arrive sorted: resume from the last one
      for (int32_t p = u_start(i); p <= stop; ++p) {
        const int32_t c = u_col(p);
        if (c == k) prune_end(i) = p;
        int32_t nxt = link(pos);
        while (nxt < c) {
          pos = nxt;
          nxt = link(pos);
        }
        if (nxt != c) {
          link(pos) = c;
          link(c) = nxt;
        }
        pos = c;
      }
      cur = link(i);
    }

    if (cur != k) {
      flag = 5 * n + k;
      return;
    }

    for (int32_t c = link(k); c != end; c = link(c)) {
      ++ucount;
      if (ucount > jumax) {
        flag = 6 * n + k;
        return;
      }
      u_col(ucount) = c;
    }
    prune_end(k) = ucount;
    u_start(k + 1) = ucount + 1;
    l_start(k + 1) = lcount + 1;
  }
  flag = 0;
}

}  // namespace yale
