// Numeric factorisation A' = (L + D)(Id + U) without pivoting, row by row
// with a dense accumulator, the forward substitution carried along and the
// back substitution at the end.
//
// Row k of A' is scattered into the accumulator and the rows i of U named
// by row k of L are subtracted in increasing i.  Consecutive rows of U that
// are nested (row i holds column i+1 followed by exactly the columns of row
// i+1, as in a supernode) are subtracted as one block: their multipliers are
// taken one after the other, each after the updates of the rows before it
// inside the block, and their common tail of columns is then updated once
// by the block kernel.
#include <algorithm>

#include "yale/elimination_kernel.hpp"
#include "yale/yale.hpp"

namespace yale {

namespace {

template <class V>
struct ValueOps {
  static bool is_zero(V x) { return x == V(0); }
  static V recip(V x) { return V(1) / x; }
};
template <class T>
struct ValueOps<core::Complex<T>> {
  static bool is_zero(core::Complex<T> x) { return x.re == T(0) && x.im == T(0); }
  static core::Complex<T> recip(core::Complex<T> x) { return core::crecip(x); }  // scaled division
};

// Rows i and i+1 of U are nested: row i holds column i+1 followed by exactly
// the columns of row i+1.
inline bool nested_rows(CIVec u_start, CIVec u_col, int32_t i) {
  const int32_t a = u_start(i), b = u_start(i + 1), c = u_start(i + 2);
  if (b - a != c - b + 1 || u_col(a) != i + 1) return false;
  for (int32_t q = 0; q < c - b; ++q)
    if (u_col(a + 1 + q) != u_col(b + q)) return false;
  return true;
}

// Which rows of U are nested in the next one, found once per factorisation.
// The table is fixed local storage; larger systems eliminate row by row.
class NestedRows {
 public:
  static constexpr int32_t kMaxOrder = 1 << 17;
  NestedRows(int32_t n, CIVec u_start, CIVec u_col) : usable_(n <= kMaxOrder) {
    if (!usable_) return;
    for (int32_t i = 1; i < n; ++i)
      if (nested_rows(u_start, u_col, i)) bits_[(i - 1) / 64] |= uint64_t{1} << ((i - 1) % 64);
  }
  bool operator()(int32_t i) const { return usable_ && (bits_[(i - 1) / 64] >> ((i - 1) % 64) & 1); }

 private:
  bool usable_;
  uint64_t bits_[kMaxOrder / 64] = {};
};

// Subtracts the g nested rows i .. i+g-1 of U from the accumulated row,
// whose L entries start at position p; s carries the forward substitution.
template <class V>
void eliminate_block(int32_t i, int32_t p, int g, const Factors<V>& f, Vec1<V> acc, Vec1<V> y_tmp, V& s) {
  V x[kMaxBlockRows];
  const V* tail[kMaxBlockRows];
  for (int a = 0; a < g; ++a) {
    const V xa = acc(i + a);
    x[a] = xa;
    f.l_val(p + a) = xa;
    s = s - xa * y_tmp(i + a);
    // Row i+a of U starts with the columns i+a+1 .. i+g-1 of the block.
    const int32_t q = f.u_start(i + a);
    const V* head = &f.u_val(q);
    subtract_block(acc.data(), &f.u_col(q), g - 1 - a, 1, &head, &x[a]);
    tail[a] = &f.u_val(q + (g - 1 - a));
  }
  const int32_t t1 = f.u_start(i + g - 1);
  subtract_block(acc.data(), &f.u_col(t1), f.u_start(i + g) - t1, g, tail, x);
}

// Clears the accumulator on the structure of row k and scatters row
// rperm(k) of A into it in the new column numbering.
template <class V>
void load_row(int32_t k, const PermutedMatrix<V>& A, const Factors<V>& f, Vec1<V> acc) {
  for (int32_t p = f.l_start(k); p < f.l_start(k + 1); ++p) acc(f.l_col(p)) = V{};
  acc(k) = V{};
  for (int32_t p = f.u_start(k); p < f.u_start(k + 1); ++p) acc(f.u_col(p)) = V{};
  const int32_t r = A.rperm(k);
  for (int32_t e = A.ia(r); e < A.ia(r + 1); ++e) acc(A.icperm(A.ja(e))) = A.a(e);
}

// The heads of the rows of U from i on (below k0), which the next block
// reads first: their cache misses then overlap the work of this block.
template <class V>
inline void prefetch_rows(int32_t i, int32_t k0, const Factors<V>& f) {
  for (int32_t a = i; a < std::min(i + kMaxBlockRows, k0); ++a) {
    const char* head = reinterpret_cast<const char*>(&f.u_val(f.u_start(a)));
    __builtin_prefetch(head);
    __builtin_prefetch(head + 64);
  }
}

// Target rows k0 .. k0+R-1 (R <= kPanelRows, a chain of nested rows of U)
// factorised together: their accumulators side by side, column by column,
// in the panel.  Each row of U below k0 that any of them names is
// subtracted from all of them at once; for a row whose L does not hold
// that column the multiplier is an exact zero (its entry was cleared and
// only ever received zero updates), so the panel computes each row as the
// row-by-row elimination would.
template <class V>
class PanelRows {
 public:
  PanelRows(int32_t k0, int rows, const Factors<V>& f, Vec1<V> panel, Vec1<V> y_tmp)
      : k0_(k0), rows_(rows), f_(f), panel_(panel.data()), y_tmp_(y_tmp) {}

  V& at(int32_t c, int r) const { return panel_[static_cast<std::size_t>(c - 1) * kPanelRows + r]; }

  void load(const PermutedMatrix<V>& A, Vec1<const V> b) {
    auto clear = [&](int32_t c) {
      for (int r = 0; r < kPanelRows; ++r) at(c, r) = V{};
    };
    for (int r = 0; r < rows_; ++r) {
      const int32_t k = k0_ + r;
      for (int32_t p = f_.l_start(k); p < f_.l_start(k + 1); ++p) clear(f_.l_col(p));
      clear(k);
      for (int32_t p = f_.u_start(k); p < f_.u_start(k + 1); ++p) clear(f_.u_col(p));
    }
    for (int r = 0; r < rows_; ++r) {
      const int32_t row = A.rperm(k0_ + r);
      for (int32_t e = A.ia(row); e < A.ia(row + 1); ++e) at(A.icperm(A.ja(e)), r) = A.a(e);
      s_[r] = b(row);
      cur_[r] = f_.l_start(k0_ + r);
    }
  }

  // The rows of U below k0, in increasing order, nested ones as blocks.
  void eliminate_below(const NestedRows& nested) {
    for (int32_t i = next_source(); i < k0_;) {
      int g = 1;
      while (g < kMaxBlockRows && i + g < k0_ && nested(i + g - 1)) ++g;
      V x[kMaxBlockRows][kPanelRows] = {};
      const V* tail[kMaxBlockRows];
      for (int a = 0; a < g; ++a) {
        const int32_t q = f_.u_start(i + a);
        for (int r = 0; r < rows_; ++r) {
          const V xa = at(i + a, r);
          x[a][r] = xa;
          if (cur_[r] < f_.l_start(k0_ + r + 1) && f_.l_col(cur_[r]) == i + a) f_.l_val(cur_[r]++) = xa;
          s_[r] = s_[r] - xa * y_tmp_(i + a);
        }
        // Row i+a of U starts with the columns i+a+1 .. i+g-1 of the block.
        const V* head = &f_.u_val(q);
        subtract_block_from_panel(panel_, &f_.u_col(q), g - 1 - a, 1, &head, &x[a]);
        tail[a] = &f_.u_val(q + (g - 1 - a));
      }
      const int32_t next = next_source();
      prefetch_rows(next, k0_, f_);
      const int32_t t1 = f_.u_start(i + g - 1);
      subtract_block_from_panel(panel_, &f_.u_col(t1), f_.u_start(i + g) - t1, g, tail, x);
      i = next;
    }
  }

  // Each target row in turn: the rows of the chain before it, then its
  // pivot and its row of U.  False (flag 8n+k) at an exactly zero pivot.
  bool finish(int32_t n, int32_t& flag) {
    for (int r = 0; r < rows_; ++r) {
      const int32_t k = k0_ + r;
      for (; cur_[r] < f_.l_start(k + 1); ++cur_[r]) {
        const int32_t i = f_.l_col(cur_[r]);
        const V x = at(i, r);
        f_.l_val(cur_[r]) = x;
        s_[r] = s_[r] - x * y_tmp_(i);
        for (int32_t q = f_.u_start(i); q < f_.u_start(i + 1); ++q)
          at(f_.u_col(q), r) = at(f_.u_col(q), r) - x * f_.u_val(q);
      }
      const V pivot = at(k, r);
      if (ValueOps<V>::is_zero(pivot)) {
        flag = 8 * n + k;
        return false;
      }
      const V dk = ValueOps<V>::recip(pivot);
      f_.d_inv(k) = dk;
      y_tmp_(k) = s_[r] * dk;
      for (int32_t p = f_.u_start(k); p < f_.u_start(k + 1); ++p) f_.u_val(p) = at(f_.u_col(p), r) * dk;
    }
    return true;
  }

 private:
  // The smallest column below k0 not yet visited in the L rows, else k0.
  int32_t next_source() const {
    int32_t i = k0_;
    for (int r = 0; r < rows_; ++r)
      if (cur_[r] < f_.l_start(k0_ + r + 1)) i = std::min(i, f_.l_col(cur_[r]));
    return i;
  }

  int32_t k0_;
  int rows_;
  const Factors<V>& f_;
  V* panel_;
  Vec1<V> y_tmp_;
  V s_[kPanelRows];           // forward substitution of each row
  int32_t cur_[kPanelRows];   // next unvisited L position of each row
};

}  // namespace

template <class V>
void nnf(const PermutedMatrix<V>& A, Vec1<const V> b, Vec1<V> z, const Factors<V>& f, int32_t lmax, int32_t umax,
         Vec1<V> row_acc, Vec1<V> y_tmp, Vec1<V> panel, int32_t& flag) {
  const int32_t n = A.n;
  if (lmax < f.l_count()) {
    flag = 4 * n + 1;
    return;
  }
  if (umax < f.u_count()) {
    flag = 7 * n + 1;
    return;
  }

  const NestedRows nested(n, f.u_start, f.u_col);
  for (int32_t k = 1; k <= n; ++k) {
    int rows = 1;
    if (panel.size() >= kPanelRows * n)
      while (rows < kPanelRows && k + rows <= n && nested(k + rows - 1)) ++rows;
    if (rows > 1) {
      PanelRows<V> pr(k, rows, f, panel, y_tmp);
      pr.load(A, b);
      pr.eliminate_below(nested);
      if (!pr.finish(n, flag)) return;
      k += rows - 1;
      continue;
    }
    load_row(k, A, f, row_acc);
    V s = b(A.rperm(k));
    const int32_t l2 = f.l_start(k + 1);
    for (int32_t p = f.l_start(k); p < l2;) {
      const int32_t i = f.l_col(p);
      int g = 1;
      while (g < kMaxBlockRows && p + g < l2 && f.l_col(p + g) == i + g && nested(i + g - 1)) ++g;
      eliminate_block(i, p, g, f, row_acc, y_tmp, s);
      p += g;
    }

    const V pivot = row_acc(k);
    if (ValueOps<V>::is_zero(pivot)) {
      flag = 8 * n + k;
      return;
    }
    const V dk = ValueOps<V>::recip(pivot);
    f.d_inv(k) = dk;
    y_tmp(k) = s * dk;
    for (int32_t p = f.u_start(k); p < f.u_start(k + 1); ++p) f.u_val(p) = row_acc(f.u_col(p)) * dk;
  }
  back_substitute(f, A.cperm, z, y_tmp);
  flag = 0;
}

template <class V>
void back_substitute(const Factors<V>& f, CIVec cperm, Vec1<V> z, Vec1<V> y_tmp) {
  for (int32_t i = f.n; i >= 1; --i) {
    V y = y_tmp(i);
    for (int32_t p = f.u_start(i); p < f.u_start(i + 1); ++p) y = y - f.u_val(p) * y_tmp(f.u_col(p));
    y_tmp(i) = y;
    z(cperm(i)) = y;
  }
}

YALE_FOR_EACH_VALUE_TYPE(nnf)
YALE_FOR_EACH_VALUE_TYPE(back_substitute)

}  // namespace yale
