#include "core/compensated_residual.hpp"

#include <cmath>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace core {

namespace {

constexpr double kU = std::numeric_limits<double>::epsilon() / 2;

double magnitude(zcomplex v) { return std::abs(v.re) + std::abs(v.im); }

// s + t = a + b exactly (TwoSum: no ordering of |a|, |b| needed).
void two_sum(double a, double b, double& s, double& t) {
  s = a + b;
  const double z = s - a;
  t = (a - (s - z)) + (b - z);
}

// Adds the product p * q to one part: its rounding error exact by fma.
void add_product(double& sum, double& correction, double p, double q) {
  const double h = p * q, e = std::fma(p, q, -h);
  double s = 0, t = 0;
  two_sum(sum, h, s, t);
  sum = s;
  correction = correction + (t + e);
}

// Row i less a x: real part -a.re x.re + a.im x.im, imaginary part
// -a.re x.im - a.im x.re, in this order.
void subtract_plain(CompensatedRow& r, zcomplex a, zcomplex x) {
  add_product(r.sum[0], r.correction[0], -a.re, x.re);
  add_product(r.sum[0], r.correction[0], a.im, x.im);
  add_product(r.sum[1], r.correction[1], -a.re, x.im);
  add_product(r.sum[1], r.correction[1], -a.im, x.re);
  r.scale += magnitude(a) * magnitude(x);
  ++r.entries;
}

void columns_plain(const LowerColumns& a, const zcomplex* x, std::int64_t lo, std::int64_t hi, std::int64_t cut,
                   CompensatedRow* rows, CompensatedRow* below) {
  for (std::int64_t j = lo; j < hi; ++j)
    for (std::int64_t e = a.ptr[j]; e < a.ptr[j + 1]; ++e) {
      const std::int64_t i = a.row[e];
      subtract_plain(below && i >= cut ? below[i - cut] : rows[i], a.values[e], x[j]);
      if (i != j) subtract_plain(rows[j], a.values[e], x[i]);  // the mirrored entry of the upper triangle
    }
}

#if defined(__x86_64__)
#define UPSCALE_FMA_INLINE __attribute__((target("avx2,fma"), always_inline)) inline

// One TwoSum and product error on both parts at once: lane 0 the real part,
// lane 1 the imaginary part; the same operations as add_product per lane.
UPSCALE_FMA_INLINE void add_products(__m128d& sum, __m128d& correction, __m128d p, __m128d q) {
  const __m128d h = _mm_mul_pd(p, q), e = _mm_fmsub_pd(p, q, h);
  const __m128d s = _mm_add_pd(sum, h), z = _mm_sub_pd(s, sum);
  const __m128d t = _mm_add_pd(_mm_sub_pd(sum, _mm_sub_pd(s, z)), _mm_sub_pd(h, z));
  sum = s;
  correction = _mm_add_pd(correction, _mm_add_pd(t, e));
}

UPSCALE_FMA_INLINE void subtract_fma(CompensatedRow& r, zcomplex a, zcomplex x) {
  __m128d sum = _mm_loadu_pd(r.sum), correction = _mm_loadu_pd(r.correction);
  const __m128d xv = _mm_loadu_pd(&x.re), xs = _mm_shuffle_pd(xv, xv, 1);  // [re, im], [im, re]
  add_products(sum, correction, _mm_set1_pd(-a.re), xv);
  add_products(sum, correction, _mm_set_pd(-a.im, a.im), xs);
  _mm_storeu_pd(r.sum, sum), _mm_storeu_pd(r.correction, correction);
  r.scale += magnitude(a) * magnitude(x);
  ++r.entries;
}

__attribute__((target("avx2,fma"))) void columns_fma(const LowerColumns& a, const zcomplex* x, std::int64_t lo,
                                                     std::int64_t hi, std::int64_t cut, CompensatedRow* rows,
                                                     CompensatedRow* below) {
  for (std::int64_t j = lo; j < hi; ++j)
    for (std::int64_t e = a.ptr[j]; e < a.ptr[j + 1]; ++e) {
      const std::int64_t i = a.row[e];
      subtract_fma(below && i >= cut ? below[i - cut] : rows[i], a.values[e], x[j]);
      if (i != j) subtract_fma(rows[j], a.values[e], x[i]);
    }
}

__attribute__((target("avx2,fma"))) void entries_fma(std::span<const std::int64_t> row,
                                                     std::span<const std::int64_t> col, std::span<const zcomplex> a,
                                                     bool mirrored, const zcomplex* x, CompensatedRow* rows) {
  for (std::size_t e = 0; e < a.size(); ++e) {
    subtract_fma(rows[row[e]], a[e], x[col[e]]);
    if (mirrored && row[e] != col[e]) subtract_fma(rows[col[e]], a[e], x[row[e]]);
  }
}
#endif

void entries_plain(std::span<const std::int64_t> row, std::span<const std::int64_t> col, std::span<const zcomplex> a,
                   bool mirrored, const zcomplex* x, CompensatedRow* rows) {
  for (std::size_t e = 0; e < a.size(); ++e) {
    subtract_plain(rows[row[e]], a[e], x[col[e]]);
    if (mirrored && row[e] != col[e]) subtract_plain(rows[col[e]], a[e], x[row[e]]);
  }
}

}  // namespace

CompensatedRow CompensatedRow::start(zcomplex b) {
  CompensatedRow r;
  r.sum[0] = b.re, r.sum[1] = b.im;
  r.scale = magnitude(b);
  return r;
}

void CompensatedRow::absorb(const CompensatedRow& part) {
  for (int k = 0; k < 2; ++k) {
    double s = 0, t = 0;
    two_sum(sum[k], part.sum[k], s, t);
    sum[k] = s;
    correction[k] = correction[k] + (part.correction[k] + t);
  }
  scale += part.scale;
  entries += part.entries;
}

zcomplex CompensatedRow::value() const { return {sum[0] + correction[0], sum[1] + correction[1]}; }

double compensated_gamma(std::int64_t entries) {
  // Two real terms per entry and the right-hand side, and one more of room
  // for an absorbed part; twice gamma_K^2 covers the computed scale's
  // rounding below the exact S (K u is far below 1/2 for any real row).
  const double k = 2.0 * static_cast<double>(entries) + 2;
  const double g = k * kU / (1 - k * kU);
  return k * kU < 0.5 ? 2 * g * g : std::numeric_limits<double>::infinity();
}

void subtract_lower_columns(KernelIsa isa, const LowerColumns& a, const zcomplex* x, std::int64_t lo, std::int64_t hi,
                            std::int64_t cut, CompensatedRow* rows, CompensatedRow* below) {
#if defined(__x86_64__)
  if (isa != KernelIsa::plain) return columns_fma(a, x, lo, hi, cut, rows, below);
#endif
  (void)isa;
  columns_plain(a, x, lo, hi, cut, rows, below);
}

void subtract_lower_columns(const LowerColumns& a, const zcomplex* x, std::int64_t lo, std::int64_t hi,
                            std::int64_t cut, CompensatedRow* rows, CompensatedRow* below) {
  static const KernelIsa isa = process_kernel();
  subtract_lower_columns(isa, a, x, lo, hi, cut, rows, below);
}

void subtract_entries(KernelIsa isa, std::span<const std::int64_t> row, std::span<const std::int64_t> col,
                      std::span<const zcomplex> a, bool mirrored, const zcomplex* x, CompensatedRow* rows) {
#if defined(__x86_64__)
  if (isa != KernelIsa::plain) return entries_fma(row, col, a, mirrored, x, rows);
#endif
  (void)isa;
  entries_plain(row, col, a, mirrored, x, rows);
}

void subtract_entries(std::span<const std::int64_t> row, std::span<const std::int64_t> col,
                      std::span<const zcomplex> a, bool mirrored, const zcomplex* x, CompensatedRow* rows) {
  static const KernelIsa isa = process_kernel();
  subtract_entries(isa, row, col, a, mirrored, x, rows);
}

}  // namespace core
