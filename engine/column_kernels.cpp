#include "engine/column_kernels.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace engine::detail {

namespace {

// Lane sums of a dot product: rr[l] = sum a.re v.re, ii[l] = sum a.im v.im,
// ri[l] = sum a.re v.im, ir[l] = sum a.im v.re over i = l mod 4.
zcomplex lanes_total(const double rr[4], const double ii[4], const double ri[4], const double ir[4]) {
  const double re = ((rr[0] + rr[2]) + (rr[1] + rr[3])) - ((ii[0] + ii[2]) + (ii[1] + ii[3]));
  const double im = ((ri[0] + ri[2]) + (ri[1] + ri[3])) + ((ir[0] + ir[2]) + (ir[1] + ir[3]));
  return {re, im};
}

// Terms from..len-1 added to their lanes, one at a time.
zcomplex lanes_finished(const zcomplex* a, const zcomplex* v, Index from, Index len, double rr[4], double ii[4],
                        double ri[4], double ir[4]) {
  for (Index i = from; i < len; ++i) {
    const int l = static_cast<int>(i & 3);
    rr[l] += a[i].re * v[i].re;
    ii[l] += a[i].im * v[i].im;
    ri[l] += a[i].re * v[i].im;
    ir[l] += a[i].im * v[i].re;
  }
  return lanes_total(rr, ii, ri, ir);
}

zcomplex dot_plain(const zcomplex* a, const zcomplex* v, Index len) {
  double rr[4] = {0, 0, 0, 0}, ii[4] = {0, 0, 0, 0}, ri[4] = {0, 0, 0, 0}, ir[4] = {0, 0, 0, 0};
  return lanes_finished(a, v, 0, len, rr, ii, ri, ir);
}

void axpy_plain(const zcomplex* a, zcomplex c, zcomplex* v, Index len) {
  for (Index i = 0; i < len; ++i) {
    v[i].re -= a[i].re * c.re - a[i].im * c.im;
    v[i].im -= a[i].im * c.re + a[i].re * c.im;
  }
}

#if defined(__x86_64__)
// Two complex numbers a vector: [re0, im0, re1, im1]. Lanes 0, 1 of the
// dot product in the first pair of accumulators, lanes 2, 3 in the second.
__attribute__((target("avx2"))) zcomplex dot_avx2(const zcomplex* a, const zcomplex* v, Index len) {
  const double* pa = reinterpret_cast<const double*>(a);  // no member access: a may be null at length 0
  const double* pv = reinterpret_cast<const double*>(v);
  __m256d p0 = _mm256_setzero_pd(), q0 = p0, p1 = p0, q1 = p0;  // p: [rr, ii, rr, ii]; q: [ri, ir, ri, ir]
  Index i = 0;
  for (; i + 4 <= len; i += 4) {
    const __m256d a0 = _mm256_loadu_pd(pa + 2 * i), a1 = _mm256_loadu_pd(pa + 2 * i + 4);
    const __m256d v0 = _mm256_loadu_pd(pv + 2 * i), v1 = _mm256_loadu_pd(pv + 2 * i + 4);
    p0 = _mm256_add_pd(p0, _mm256_mul_pd(a0, v0));
    q0 = _mm256_add_pd(q0, _mm256_mul_pd(a0, _mm256_permute_pd(v0, 0x5)));
    p1 = _mm256_add_pd(p1, _mm256_mul_pd(a1, v1));
    q1 = _mm256_add_pd(q1, _mm256_mul_pd(a1, _mm256_permute_pd(v1, 0x5)));
  }
  alignas(32) double s[4][4];
  _mm256_store_pd(s[0], p0), _mm256_store_pd(s[1], q0), _mm256_store_pd(s[2], p1), _mm256_store_pd(s[3], q1);
  double rr[4] = {s[0][0], s[0][2], s[2][0], s[2][2]}, ii[4] = {s[0][1], s[0][3], s[2][1], s[2][3]};
  double ri[4] = {s[1][0], s[1][2], s[3][0], s[3][2]}, ir[4] = {s[1][1], s[1][3], s[3][1], s[3][3]};
  return lanes_finished(a, v, i, len, rr, ii, ri, ir);  // the tail continues lanes 0 .. 2
}

// Two dot products with one column, each with its own four accumulators as
// in dot_avx2 (the same bits): the column is loaded once, and eight chains
// of additions instead of four keep the adder busy.
__attribute__((target("avx2"))) void dot_pair_avx2(const zcomplex* a, const zcomplex* v, const zcomplex* w, Index len,
                                                   zcomplex out[2]) {
  const double* pa = reinterpret_cast<const double*>(a);
  const double* pv[2] = {reinterpret_cast<const double*>(v), reinterpret_cast<const double*>(w)};
  __m256d p0[2], q0[2], p1[2], q1[2];
  for (int k = 0; k < 2; ++k) p0[k] = q0[k] = p1[k] = q1[k] = _mm256_setzero_pd();
  Index i = 0;
  for (; i + 4 <= len; i += 4) {
    const __m256d a0 = _mm256_loadu_pd(pa + 2 * i), a1 = _mm256_loadu_pd(pa + 2 * i + 4);
    for (int k = 0; k < 2; ++k) {
      const __m256d v0 = _mm256_loadu_pd(pv[k] + 2 * i), v1 = _mm256_loadu_pd(pv[k] + 2 * i + 4);
      p0[k] = _mm256_add_pd(p0[k], _mm256_mul_pd(a0, v0));
      q0[k] = _mm256_add_pd(q0[k], _mm256_mul_pd(a0, _mm256_permute_pd(v0, 0x5)));
      p1[k] = _mm256_add_pd(p1[k], _mm256_mul_pd(a1, v1));
      q1[k] = _mm256_add_pd(q1[k], _mm256_mul_pd(a1, _mm256_permute_pd(v1, 0x5)));
    }
  }
  const zcomplex* vs[2] = {v, w};
  for (int k = 0; k < 2; ++k) {
    alignas(32) double s[4][4];
    _mm256_store_pd(s[0], p0[k]), _mm256_store_pd(s[1], q0[k]), _mm256_store_pd(s[2], p1[k]), _mm256_store_pd(s[3], q1[k]);
    double rr[4] = {s[0][0], s[0][2], s[2][0], s[2][2]}, ii[4] = {s[0][1], s[0][3], s[2][1], s[2][3]};
    double ri[4] = {s[1][0], s[1][2], s[3][0], s[3][2]}, ir[4] = {s[1][1], s[1][3], s[3][1], s[3][3]};
    out[k] = lanes_finished(a, vs[k], i, len, rr, ii, ri, ir);
  }
}

__attribute__((target("avx2"))) void axpy_avx2(const zcomplex* a, zcomplex c, zcomplex* v, Index len) {
  const double* pa = reinterpret_cast<const double*>(a);  // no member access: a may be null at length 0
  double* pv = reinterpret_cast<double*>(v);
  const __m256d cr = _mm256_set1_pd(c.re), ci = _mm256_set1_pd(c.im);
  Index i = 0;
  for (; i + 2 <= len; i += 2) {
    const __m256d x = _mm256_loadu_pd(pa + 2 * i);
    // [re*cr - im*ci, im*cr + re*ci] for each of the two numbers.
    const __m256d t = _mm256_addsub_pd(_mm256_mul_pd(x, cr), _mm256_mul_pd(_mm256_permute_pd(x, 0x5), ci));
    _mm256_storeu_pd(pv + 2 * i, _mm256_sub_pd(_mm256_loadu_pd(pv + 2 * i), t));
  }
  axpy_plain(a + i, c, v + i, len - i);
}
#endif

}  // namespace

zcomplex column_dot(core::KernelIsa isa, const zcomplex* a, const zcomplex* v, Index len) {
#if defined(__x86_64__)
  if (isa != core::KernelIsa::plain) return dot_avx2(a, v, len);
#endif
  (void)isa;
  return dot_plain(a, v, len);
}

void column_dot_pair(core::KernelIsa isa, const zcomplex* a, const zcomplex* v, const zcomplex* w, Index len,
                     zcomplex out[2]) {
#if defined(__x86_64__)
  if (isa != core::KernelIsa::plain) return dot_pair_avx2(a, v, w, len, out);
#endif
  (void)isa;
  out[0] = dot_plain(a, v, len), out[1] = dot_plain(a, w, len);
}

void column_dot_pair(const zcomplex* a, const zcomplex* v, const zcomplex* w, Index len, zcomplex out[2]) {
  static const core::KernelIsa isa = core::process_kernel();
  column_dot_pair(isa, a, v, w, len, out);
}

void column_axpy(core::KernelIsa isa, const zcomplex* a, zcomplex c, zcomplex* v, Index len) {
#if defined(__x86_64__)
  if (isa != core::KernelIsa::plain) return axpy_avx2(a, c, v, len);
#endif
  (void)isa;
  axpy_plain(a, c, v, len);
}

zcomplex column_dot(const zcomplex* a, const zcomplex* v, Index len) {
  static const core::KernelIsa isa = core::process_kernel();
  return column_dot(isa, a, v, len);
}

void column_axpy(const zcomplex* a, zcomplex c, zcomplex* v, Index len) {
  static const core::KernelIsa isa = core::process_kernel();
  column_axpy(isa, a, c, v, len);
}

}  // namespace engine::detail
