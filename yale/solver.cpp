// Drivers, symmetric reordering, numeric factorisation and solves, written
// once over the value type and instantiated for float, double, single and
// double complex.
#include <algorithm>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "yale/yale.hpp"

namespace yale {

namespace {

// What the factorisation needs of a value type beyond + - *.
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

// The elimination step of the factorisation, the run's hot spot: for G
// consecutive rows i of U that share their tail of columns, and their
// multipliers x(a),
//   acc(cols(m)) -= x(1) u(1)(m), then -= x(2) u(2)(m), ... for every m,
// which is, entry by entry, the same sequence of operations as eliminating
// the rows one after the other.
template <int G, class V>
inline void subtract_row_multiples(Vec1<V> acc, const int32_t* cols, int32_t count, const V* const* u,
                                   const V* x) {
  for (int32_t m = 0; m < count; ++m) {
    V& t = acc(cols[m]);
    V v = t;
    for (int a = 0; a < G; ++a) v = v - x[a] * u[a][m];
    t = v;
  }
}

#if defined(__x86_64__)
// Double complex, two lanes (re, im) per complex value. The operations and
// their order are those of the plain complex product and difference,
//   re = t.re - (x.re u.re - x.im u.im),  im = t.im - (x.re u.im + x.im u.re),
// (with x.im u.im subtracted as the sum of its negation, which is exact), so
// the result is the same to the last bit as the plain loop's.
template <int G>
inline void subtract_row_multiples_sse2(double* acc, const int32_t* cols, int32_t count, const double* const* u,
                                        const core::zcomplex* x) {
  __m128d xr[G], xi_signed[G];
  for (int a = 0; a < G; ++a) {
    xr[a] = _mm_set1_pd(x[a].re);
    xi_signed[a] = _mm_set_pd(x[a].im, -x[a].im);  // (-x.im, x.im) in lanes (0, 1)
  }
  for (int32_t m = 0; m < count; ++m) {
    double* t = acc + 2 * (cols[m] - 1);
    __m128d v = _mm_loadu_pd(t);
    for (int a = 0; a < G; ++a) {
      const __m128d uv = _mm_loadu_pd(u[a] + 2 * m);  // (u.re, u.im)
      const __m128d us = _mm_shuffle_pd(uv, uv, 1);   // (u.im, u.re)
      v = _mm_sub_pd(v, _mm_add_pd(_mm_mul_pd(xr[a], uv), _mm_mul_pd(xi_signed[a], us)));
    }
    _mm_storeu_pd(t, v);
  }
}

// The same with four lanes: two complex values of the tail at a time. The
// same operations on the same operands, in the same order: no fused
// multiply-add.
template <int G>
__attribute__((target("avx"))) void subtract_row_multiples_avx(double* acc, const int32_t* cols, int32_t count,
                                                               const double* const* u, const core::zcomplex* x) {
  __m256d xr[G], xi_signed[G];
  for (int a = 0; a < G; ++a) {
    xr[a] = _mm256_set1_pd(x[a].re);
    xi_signed[a] = _mm256_set_pd(x[a].im, -x[a].im, x[a].im, -x[a].im);
  }
  int32_t m = 0;
  for (; m + 1 < count; m += 2) {
    double* t0 = acc + 2 * (cols[m] - 1);
    double* t1 = acc + 2 * (cols[m + 1] - 1);
    __m256d v = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(t0)), _mm_loadu_pd(t1), 1);
    for (int a = 0; a < G; ++a) {
      const __m256d uv = _mm256_loadu_pd(u[a] + 2 * m);  // (u0.re, u0.im, u1.re, u1.im)
      const __m256d us = _mm256_permute_pd(uv, 0x5);      // (u0.im, u0.re, u1.im, u1.re)
      v = _mm256_sub_pd(v, _mm256_add_pd(_mm256_mul_pd(xr[a], uv), _mm256_mul_pd(xi_signed[a], us)));
    }
    _mm_storeu_pd(t0, _mm256_castpd256_pd128(v));
    _mm_storeu_pd(t1, _mm256_extractf128_pd(v, 1));
  }
  if (m < count) {
    const double* rest[G];
    for (int a = 0; a < G; ++a) rest[a] = u[a] + 2 * m;
    subtract_row_multiples_sse2<G>(acc, cols + m, count - m, rest, x);
  }
}

template <int G>
inline void subtract_row_multiples(Vec1<core::zcomplex> acc, const int32_t* cols, int32_t count,
                                   const core::zcomplex* const* u, const core::zcomplex* x) {
  static const bool avx = __builtin_cpu_supports("avx");
  const double* ud[G];
  for (int a = 0; a < G; ++a) ud[a] = reinterpret_cast<const double*>(u[a]);
  double* base = reinterpret_cast<double*>(acc.data());
  if (avx)
    subtract_row_multiples_avx<G>(base, cols, count, ud, x);
  else
    subtract_row_multiples_sse2<G>(base, cols, count, ud, x);
}
#endif

// Rows i and i + 1 of U are nested when row i holds column i + 1 followed by
// exactly the columns of row i + 1 (a supernode of the factors): eliminating
// both from a later row touches the same columns.
inline bool nested_rows(CIVec u_start, CIVec u_col, int32_t i) {
  const int32_t a = u_start(i), b = u_start(i + 1), c = u_start(i + 2);
  return b - a == c - b + 1 && u_col(a) == i + 1 && std::equal(&u_col(a) + 1, &u_col(a) + (b - a), &u_col(b));
}

// Rows of U eliminated in one pass at most.
constexpr int kMaxGroup = 4;

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

// Eliminates the G rows i .. i+G-1 of U, nested one in the next, from the
// accumulated row: their multipliers are taken in order, each after the
// updates of the rows before it, as in the one-by-one elimination; then
// their common tail of columns is updated in one pass.
template <int G, class V>
inline void eliminate_group(int32_t i, int32_t p, CIVec u_start, CIVec u_col, Vec1<V> u_val, Vec1<V> l_val,
                            Vec1<V> row_acc, Vec1<V> y_tmp, V& s) {
  V x[G];
  const V* tail[G];
  for (int a = 0; a < G; ++a) {
    const V xa = row_acc(i + a);
    x[a] = xa;
    l_val(p + a) = xa;
    s = s - xa * y_tmp(i + a);
    // Row i+a of U starts with the columns i+a+1 .. i+G-1 of the group.
    const int32_t q = u_start(i + a);
    for (int b = a + 1; b < G; ++b) row_acc(i + b) = row_acc(i + b) - xa * u_val(q + (b - a - 1));
    tail[a] = &u_val(q + (G - 1 - a));
  }
  const int32_t t1 = u_start(i + G - 1);
  subtract_row_multiples<G>(row_acc, &u_col(t1), u_start(i + G) - t1, tail, x);
}

}  // namespace

// ------------------------------------------------------------------ sro

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

// ------------------------------------------------------------------ nnf

template <class V>
void nnf(int32_t n, CIVec rperm, CIVec cperm, CIVec icperm, CIVec ia, CIVec ja, Vec1<const V> a, Vec1<V> z,
         Vec1<const V> b, CIVec l_start, CIVec l_col, Vec1<V> l_val, int32_t lmax, Vec1<V> d_inv, CIVec u_start,
         CIVec u_col, Vec1<V> u_val, int32_t umax, Vec1<V> row_acc, Vec1<V> y_tmp, int32_t& flag) {
  if (lmax < l_start(n + 1) - 1) {
    flag = 4 * n + 1;
    return;
  }
  if (umax < u_start(n + 1) - 1) {
    flag = 7 * n + 1;
    return;
  }

  const NestedRows nested(n, u_start, u_col);
  for (int32_t k = 1; k <= n; ++k) {
    const int32_t l1 = l_start(k), l2 = l_start(k + 1);
    const int32_t u1 = u_start(k), u2 = u_start(k + 1);

    // Clear the accumulator on the structure of row k only.
    for (int32_t p = l1; p < l2; ++p) row_acc(l_col(p)) = V{};
    row_acc(k) = V{};
    for (int32_t p = u1; p < u2; ++p) row_acc(u_col(p)) = V{};

    // Scatter row r of A in the new column numbering.
    const int32_t r = rperm(k);
    for (int32_t e = ia(r); e < ia(r + 1); ++e) row_acc(icperm(ja(e))) = a(e);

    // Eliminate the entries of L in increasing column order, carrying the
    // forward substitution along.
    V s = b(r);
    for (int32_t p = l1; p < l2;) {
      const int32_t i = l_col(p);
      int g = 1;
      while (g < kMaxGroup && p + g < l2 && l_col(p + g) == i + g && nested(i + g - 1)) ++g;
      switch (g) {
        case 1: eliminate_group<1>(i, p, u_start, u_col, u_val, l_val, row_acc, y_tmp, s); break;
        case 2: eliminate_group<2>(i, p, u_start, u_col, u_val, l_val, row_acc, y_tmp, s); break;
        case 3: eliminate_group<3>(i, p, u_start, u_col, u_val, l_val, row_acc, y_tmp, s); break;
        default: eliminate_group<kMaxGroup>(i, p, u_start, u_col, u_val, l_val, row_acc, y_tmp, s); break;
      }
      p += g;
    }

    const V pivot = row_acc(k);
    if (ValueOps<V>::is_zero(pivot)) {
      flag = 8 * n + k;
      return;
    }
    const V dk = ValueOps<V>::recip(pivot);
    d_inv(k) = dk;
    y_tmp(k) = s * dk;
    for (int32_t p = u1; p < u2; ++p) u_val(p) = row_acc(u_col(p)) * dk;
  }

  // Back substitution with Id + U.
  for (int32_t i = n; i >= 1; --i) {
    V y = y_tmp(i);
    for (int32_t p = u_start(i); p < u_start(i + 1); ++p) y = y - u_val(p) * y_tmp(u_col(p));
    y_tmp(i) = y;
    z(cperm(i)) = y;
  }
  flag = 0;
}

// ------------------------------------------------------------------ nns, nnt

template <class V>
void nns(int32_t n, CIVec rperm, CIVec cperm, CIVec l_start, CIVec l_col, Vec1<const V> l_val, Vec1<const V> d_inv,
         CIVec u_start, CIVec u_col, Vec1<const V> u_val, Vec1<V> z, Vec1<const V> b, Vec1<V> y_tmp) {
  // Forward with L + D, subtracting in the same order as the fused solve of
  // nnf, so that the same b gives the same z to the last bit.
  for (int32_t j = 1; j <= n; ++j) {
    V s = b(rperm(j));
    for (int32_t p = l_start(j); p < l_start(j + 1); ++p) s = s - l_val(p) * y_tmp(l_col(p));
    y_tmp(j) = s * d_inv(j);
  }
  for (int32_t i = n; i >= 1; --i) {
    V y = y_tmp(i);
    for (int32_t p = u_start(i); p < u_start(i + 1); ++p) y = y - u_val(p) * y_tmp(u_col(p));
    y_tmp(i) = y;
    z(cperm(i)) = y;
  }
}

template <class V>
void nnt(int32_t n, CIVec rperm, CIVec cperm, CIVec l_start, CIVec l_col, Vec1<const V> l_val, Vec1<const V> d_inv,
         CIVec u_start, CIVec u_col, Vec1<const V> u_val, Vec1<V> z, Vec1<const V> b, Vec1<V> y_tmp) {
  for (int32_t i = 1; i <= n; ++i) y_tmp(i) = b(cperm(i));
  // (Id + U)^T, column by column.
  for (int32_t i = 1; i <= n; ++i) {
    const V yi = y_tmp(i);
    for (int32_t p = u_start(i); p < u_start(i + 1); ++p) y_tmp(u_col(p)) = y_tmp(u_col(p)) - u_val(p) * yi;
  }
  // (L + D)^T, backward.
  for (int32_t i = n; i >= 1; --i) {
    const V y = y_tmp(i) * d_inv(i);
    for (int32_t p = l_start(i); p < l_start(i + 1); ++p) y_tmp(l_col(p)) = y_tmp(l_col(p)) - l_val(p) * y;
    z(rperm(i)) = y;
  }
}

// ------------------------------------------------------------------ drivers

namespace {

// What both drivers check first: a job they know (else 11n+1), and a
// workspace at least as large as the nwork it is announced with (else
// 10n+1).
template <class V>
bool driver_arguments_refused(int32_t n, int32_t job, int32_t nwork, const BasicWorkspace<V>& ws, int32_t& flag) {
  if (job < 1 || job > 5) {
    flag = 11 * n + 1;
    return true;
  }
  if (nwork > ws.nwork()) {
    flag = 10 * n + 1;
    return true;
  }
  return false;
}

}  // namespace

template <class V>
void odrv(int32_t n, std::span<int32_t> ia_s, std::span<int32_t> ja_s, std::span<V> a_s, std::span<int32_t> perm_s,
          std::span<int32_t> iperm_s, int32_t nwork, BasicWorkspace<V>& ws, int32_t job, int32_t& flag) {
  flag = 0;
  if (driver_arguments_refused(n, job, nwork, ws, flag)) return;
  const IVec ia(ia_s), ja(ja_s), perm(perm_s), iperm(iperm_s);
  const Vec1<V> a(a_s);

  if (job == 1 || job == 2 || job == 4) {
    const OrderPartition op = order_partition(n, nwork);
    if (!op.fits) {
      flag = 10 * n + 1;
      return;
    }
    const IVec item = ws.fresh_ints(op.item, op.nc);
    const IVec link = ws.fresh_ints(op.link, op.nc);
    const IVec deg_head = ws.fresh_ints(op.deg_head, n);
    md(n, ia, ja, op.nc, item, link, deg_head, perm, iperm, item, flag);
    if (flag != 0) return;
  }

  if (job >= 2) {
    const int32_t nnz = ia(n + 1) - 1;
    const ReorderPartition rp = reorder_partition(n, nnz, nwork);
    if (!rp.fits) {
      flag = 10 * n + 1;
      return;
    }
    const IVec count = ws.fresh_ints(rp.count, n);
    const IVec target = ws.fresh_ints(rp.target, nnz);
    sro<V>(n, iperm, ia, ja, a, count, target, job >= 4);
  }
}

template <class V>
void ndrv(int32_t n, std::span<const int32_t> rperm_s, std::span<const int32_t> cperm_s,
          std::span<const int32_t> icperm_s, std::span<const int32_t> ia_s, std::span<const int32_t> ja_s,
          std::span<const V> a_s, std::span<const V> b_s, std::span<V> z_s, int32_t nwork, BasicWorkspace<V>& ws,
          int32_t& esp, int32_t job, int32_t& flag) {
  if (driver_arguments_refused(n, job, nwork, ws, flag)) return;
  constexpr int32_t ratio = kIntsPerValue<V>;
  const CIVec rperm(rperm_s), cperm(cperm_s), icperm(icperm_s), ia(ia_s), ja(ja_s);
  const Vec1<const V> a(a_s), b(b_s);
  const Vec1<V> z(z_s);
  const int32_t jl = 2 * n + 3;

  if (job == 1 || job == 5) {
    const SymbolicPartition sp = symbolic_partition(n, nwork, ratio);
    esp = sp.esp;
    if (!sp.fits) {
      flag = 10 * n + 1;
      return;
    }
    const IVec l_start = ws.fresh_ints(sp.l_start, n + 1);
    const IVec u_start = ws.fresh_ints(sp.u_start, n + 1);
    const IVec l_col = ws.fresh_ints(sp.jl, sp.jlmax);
    const IVec link = ws.fresh_ints(sp.link, n + 1);
    const IVec prune_end = ws.fresh_ints(sp.prune_end, n);
    const IVec u_tmp = ws.fresh_ints(sp.jt, sp.jumax);
    nsf(n, rperm, icperm, ia, ja, l_start, l_col, sp.jlmax, u_start, u_tmp, sp.jumax, link, prune_end, flag);
    if (flag != 0) return;
    // u_col down to just behind l_col (a forward copy: it only moves down).
    const int32_t ucount = u_start(n + 1) - 1;
    const int32_t ju = jl + l_start(n + 1) - 1;
    const IVec words = ws.ints(jl, sp.jt + ucount - jl);
    for (int32_t p = 0; p < ucount; ++p) words(ju - jl + 1 + p) = words(sp.jt - jl + 1 + p);
  }

  // Value regions from the structure now in the workspace.
  const CIVec l_start = ws.ints(1, n + 1);
  const CIVec u_start = ws.ints(n + 2, n + 1);
  const int32_t lcount = l_start(n + 1) - 1;
  const int32_t ucount = u_start(n + 1) - 1;
  const ValuePartition vp = value_partition(n, nwork, ratio, lcount, ucount);
  esp = vp.esp;
  if (job == 5) return;

  const CIVec l_col = ws.ints(jl, lcount);
  const CIVec u_col = ws.ints(vp.ju, ucount);

  if (job == 1 || job == 2) {
    if (vp.umax <= 0) {
      flag = 10 * n + 1;
      return;
    }
    const Vec1<V> l_val = ws.fresh_values(vp.lv, lcount);
    const Vec1<V> d_inv = ws.fresh_values(vp.dv, n);
    const Vec1<V> u_val = ws.fresh_values(vp.uv, vp.umax);
    const Vec1<V> y_tmp = ws.fresh_values(vp.y_tmp, n);
    const Vec1<V> row_acc = ws.fresh_values(vp.row_acc, n);
    nnf<V>(n, rperm, cperm, icperm, ia, ja, a, z, b, l_start, l_col, l_val, lcount, d_inv, u_start, u_col, u_val,
           vp.umax, row_acc, y_tmp, flag);
    return;
  }

  // Jobs 3 and 4 need the factors of an earlier job 1 or 2 in this same
  // partition; when the workspace cannot hold them there are none to use.
  if (vp.umax < ucount || vp.umax <= 0) {
    flag = 10 * n + 1;
    return;
  }
  const Vec1<const V> l_val = ws.values(vp.lv, lcount);
  const Vec1<const V> d_inv = ws.values(vp.dv, n);
  const Vec1<const V> u_val = ws.values(vp.uv, ucount);
  const Vec1<V> y_tmp = ws.fresh_values(vp.y_tmp, n);
  if (job == 3)
    nns<V>(n, rperm, cperm, l_start, l_col, l_val, d_inv, u_start, u_col, u_val, z, b, y_tmp);
  else
    nnt<V>(n, rperm, cperm, l_start, l_col, l_val, d_inv, u_start, u_col, u_val, z, b, y_tmp);
}

#define YALE_INSTANTIATE(V)                                                                                      \
  template void odrv<V>(int32_t, std::span<int32_t>, std::span<int32_t>, std::span<V>, std::span<int32_t>,     \
                        std::span<int32_t>, int32_t, BasicWorkspace<V>&, int32_t, int32_t&);                     \
  template void ndrv<V>(int32_t, std::span<const int32_t>, std::span<const int32_t>, std::span<const int32_t>, \
                        std::span<const int32_t>, std::span<const int32_t>, std::span<const V>,                 \
                        std::span<const V>, std::span<V>, int32_t, BasicWorkspace<V>&, int32_t&, int32_t,        \
                        int32_t&);                                                                               \
  template void sro<V>(int32_t, CIVec, IVec, IVec, Vec1<V>, IVec, IVec, bool);                                   \
  template void nnf<V>(int32_t, CIVec, CIVec, CIVec, CIVec, CIVec, Vec1<const V>, Vec1<V>, Vec1<const V>, CIVec, \
                       CIVec, Vec1<V>, int32_t, Vec1<V>, CIVec, CIVec, Vec1<V>, int32_t, Vec1<V>, Vec1<V>,       \
                       int32_t&);                                                                                \
  template void nns<V>(int32_t, CIVec, CIVec, CIVec, CIVec, Vec1<const V>, Vec1<const V>, CIVec, CIVec,          \
                       Vec1<const V>, Vec1<V>, Vec1<const V>, Vec1<V>);                                          \
  template void nnt<V>(int32_t, CIVec, CIVec, CIVec, CIVec, Vec1<const V>, Vec1<const V>, CIVec, CIVec,          \
                       Vec1<const V>, Vec1<V>, Vec1<const V>, Vec1<V>);

YALE_INSTANTIATE(float)
YALE_INSTANTIATE(double)
YALE_INSTANTIATE(core::ccomplex)
YALE_INSTANTIATE(core::zcomplex)

}  // namespace yale
