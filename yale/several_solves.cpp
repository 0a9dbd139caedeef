#include "yale/several_solves.hpp"

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

template <class V>
void ndrv_several(int32_t n, std::span<const int32_t> rperm, std::span<const int32_t> cperm, int32_t nwork,
                  BasicWorkspace<V>& ws, int32_t job, int32_t count, std::span<V> block, int32_t& flag) {
  if ((job != 3 && job != 4) || count < 1 || count > kMaxSolvesAtOnce ||
      block.size() < static_cast<std::size_t>(n) * static_cast<std::size_t>(count)) {
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
  // The spare words behind u_val hold the interleaved work vectors.
  if (vp.umax < ucount || vp.umax <= 0 || vp.esp < count * n) {
    flag = 10 * n + 1;
    return;
  }
  const Factors<V> f = factors_in(ws, n, vp, lcount, ucount, false);
  const VectorBlock<V> y{ws.fresh_values(vp.uv + ucount, count * n).data(), count};
  const VectorBlock<V> z{block.data(), count};
  const VectorBlock<const V> b{block.data(), count};
  if (job == 3)
    nns_several<V>(f, CIVec(rperm), CIVec(cperm), b, z, y);
  else
    nnt_several<V>(f, CIVec(rperm), CIVec(cperm), b, z, y);
}

YALE_FOR_EACH_VALUE_TYPE(nns_several)
YALE_FOR_EACH_VALUE_TYPE(nnt_several)
YALE_FOR_EACH_VALUE_TYPE(ndrv_several)

}  // namespace yale
