#include "yale/several_solves.hpp"

#include <algorithm>

#include "yale/partition.hpp"
#include "yale/stored_factors.hpp"
#include "yale/yale.hpp"

namespace yale {

template <class V>
void nns_several(const Factors<V>& f, CIVec rperm, CIVec cperm, VectorBlock<const V> b, VectorBlock<V> z,
                 VectorBlock<V> y_tmp) {
  const int32_t k = b.count;
  V s[kMaxSolvesAtOnce];
  // Forward with L + D.
  for (int32_t j = 1; j <= f.n; ++j) {
    const V* bj = b.at(rperm(j));
    for (int32_t r = 0; r < k; ++r) s[r] = bj[r];
    for (int32_t p = f.l_start(j); p < f.l_start(j + 1); ++p) {
      const V l = f.l_val(p);
      const V* y = y_tmp.at(f.l_col(p));
      for (int32_t r = 0; r < k; ++r) s[r] = s[r] - l * y[r];
    }
    V* yj = y_tmp.at(j);
    for (int32_t r = 0; r < k; ++r) yj[r] = s[r] * f.d_inv(j);
  }
  // Back with Id + U.
  for (int32_t i = f.n; i >= 1; --i) {
    V* yi = y_tmp.at(i);
    for (int32_t r = 0; r < k; ++r) s[r] = yi[r];
    for (int32_t p = f.u_start(i); p < f.u_start(i + 1); ++p) {
      const V u = f.u_val(p);
      const V* y = y_tmp.at(f.u_col(p));
      for (int32_t r = 0; r < k; ++r) s[r] = s[r] - u * y[r];
    }
    V* zi = z.at(cperm(i));
    for (int32_t r = 0; r < k; ++r) yi[r] = zi[r] = s[r];
  }
}

template <class V>
void nnt_several(const Factors<V>& f, CIVec rperm, CIVec cperm, VectorBlock<const V> b, VectorBlock<V> z,
                 VectorBlock<V> y_tmp) {
  const int32_t n = f.n, k = b.count;
  for (int32_t i = 1; i <= n; ++i) {
    const V* bi = b.at(cperm(i));
    V* yi = y_tmp.at(i);
    for (int32_t r = 0; r < k; ++r) yi[r] = bi[r];
  }
  // (Id + U)^T, column by column.
  for (int32_t i = 1; i <= n; ++i) {
    const V* yi = y_tmp.at(i);
    for (int32_t p = f.u_start(i); p < f.u_start(i + 1); ++p) {
      const V u = f.u_val(p);
      V* y = y_tmp.at(f.u_col(p));
      for (int32_t r = 0; r < k; ++r) y[r] = y[r] - u * yi[r];
    }
  }
  // (L + D)^T, backward.
  V s[kMaxSolvesAtOnce];
  for (int32_t i = n; i >= 1; --i) {
    V* yi = y_tmp.at(i);
    for (int32_t r = 0; r < k; ++r) s[r] = yi[r] * f.d_inv(i);
    for (int32_t p = f.l_start(i); p < f.l_start(i + 1); ++p) {
      const V l = f.l_val(p);
      V* y = y_tmp.at(f.l_col(p));
      for (int32_t r = 0; r < k; ++r) y[r] = y[r] - l * s[r];
    }
    V* zi = z.at(rperm(i));
    for (int32_t r = 0; r < k; ++r) zi[r] = s[r];
  }
}

namespace {

// Vectors first .. first+count-1 of vs in one sweep, through the interleaved
// block and work vectors of count * n words each.
template <class V>
void sweep(const Factors<V>& f, CIVec rperm, CIVec cperm, bool transpose, std::span<const std::span<V>> vs,
           VectorBlock<V> block, VectorBlock<V> y) {
  const int32_t k = block.count;
  for (int32_t r = 0; r < k; ++r)
    for (int32_t i = 1; i <= f.n; ++i) block.at(i)[r] = vs[static_cast<std::size_t>(r)][static_cast<std::size_t>(i - 1)];
  const VectorBlock<const V> b{block.words, k};
  if (transpose)
    nnt_several<V>(f, rperm, cperm, b, block, y);
  else
    nns_several<V>(f, rperm, cperm, b, block, y);
  for (int32_t r = 0; r < k; ++r)
    for (int32_t i = 1; i <= f.n; ++i) vs[static_cast<std::size_t>(r)][static_cast<std::size_t>(i - 1)] = block.at(i)[r];
}

}  // namespace

template <class V>
void ndrv_vectors(int32_t n, std::span<const int32_t> rperm, std::span<const int32_t> cperm, int32_t nwork,
                  BasicWorkspace<V>& ws, int32_t job, std::span<const std::span<V>> vs, int32_t& flag) {
  const bool short_vector =
      std::any_of(vs.begin(), vs.end(), [n](std::span<V> v) { return v.size() < static_cast<std::size_t>(n); });
  if ((job != 3 && job != 4) || short_vector) {
    flag = 11 * n + 1;
    return;
  }
  if (nwork > ws.nwork()) {
    flag = 10 * n + 1;
    return;
  }
  const int32_t lcount = ws.iword(n + 1) - 1;
  const int32_t ucount = ws.iword(2 * n + 2) - 1;
  const ValuePartition vp = value_partition(n, nwork, kIntsPerValue<V>, lcount, ucount);
  if (vp.umax < ucount || vp.umax <= 0) {
    flag = 10 * n + 1;
    return;
  }
  const Factors<V> f = factors_in(ws, n, vp, lcount, ucount, false);
  const CIVec rp(rperm), cp(cperm);
  const auto room = static_cast<std::size_t>(std::clamp<int64_t>(vp.esp / (2 * int64_t{n}), 0, kMaxSolvesAtOnce));
  for (std::size_t first = 0; first < vs.size();) {
    const auto k = static_cast<int32_t>(std::min<std::size_t>(room, vs.size() - first));
    if (k < 2) {  // one at a time, as ndrv
      const Vec1<V> v(vs[first]), y_tmp = ws.fresh_values(vp.y_tmp, n);
      (job == 3 ? nns<V> : nnt<V>)(f, rp, cp, v, Vec1<const V>(v), y_tmp);
      ++first;
      continue;
    }
    V* const spare = ws.fresh_values(vp.uv + ucount, 2 * k * n).data();
    const VectorBlock<V> block{spare, k}, y{spare + static_cast<std::size_t>(k) * static_cast<std::size_t>(n), k};
    sweep<V>(f, rp, cp, job == 4, vs.subspan(first, static_cast<std::size_t>(k)), block, y);
    first += static_cast<std::size_t>(k);
  }
}

YALE_FOR_EACH_VALUE_TYPE(nns_several)
YALE_FOR_EACH_VALUE_TYPE(nnt_several)
YALE_FOR_EACH_VALUE_TYPE(ndrv_vectors)

}  // namespace yale
