// The double-complex block update in three widths, and the choice among
// them.  Each variant is compiled for its instruction set alone and is only
// ever called on a processor that reports it.
#include "yale/elimination_kernel.hpp"

#include <algorithm>
#include <cmath>

#include "core/dense_kernel.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace yale {

namespace {

using core::zcomplex;
using Kernel = void (*)(double*, const int32_t*, int32_t, const double* const*, const zcomplex*);
using PanelKernel = void (*)(double*, const int32_t*, int32_t, const double* const*, const zcomplex (*)[kPanelRows]);

#if defined(__x86_64__)
#define YALE_TARGET(isa) __attribute__((target(isa)))

// Columns m .. count-1 one at a time, with the same fused operations as the
// vector lanes.
template <int G>
YALE_TARGET("fma") inline void tail_fma(double* acc, const int32_t* cols, int32_t m, int32_t count,
                                        const double* const* u, const zcomplex* x) {
  for (; m < count; ++m) {
    double* t = acc + 2 * (cols[m] - 1);
    double pr = t[0], pi = t[1], qr = 0, qi = 0;
    for (int a = 0; a < G; ++a) {
      const double ur = u[a][2 * m], ui = u[a][2 * m + 1];
      pr = std::fma(-x[a].re, ur, pr);
      pi = std::fma(-x[a].re, ui, pi);
      qr = std::fma(x[a].im, ur, qr);
      qi = std::fma(x[a].im, ui, qi);
    }
    t[0] = pr + qi;  // P - iQ
    t[1] = pi - qr;
  }
}

// Four complex columns per 512-bit vector.  Runs of consecutive columns,
// the usual case in a supernode's tail, are loaded and stored whole.
template <int G>
YALE_TARGET("avx512f,avx512dq,fma") void block_avx512(double* acc, const int32_t* cols, int32_t count,
                                                      const double* const* u, const zcomplex* x) {
  const __m512d one = _mm512_set1_pd(1.0);
  int32_t m = 0;
  for (; m + 3 < count; m += 4) {
    const int32_t c0 = cols[m];
    const bool run = cols[m + 3] == c0 + 3;
    double* t0 = acc + 2 * (c0 - 1);
    __m512d p;
    if (run) {
      p = _mm512_loadu_pd(t0);
    } else {
      p = _mm512_zextpd128_pd512(_mm_loadu_pd(t0));
      p = _mm512_insertf64x2(p, _mm_loadu_pd(acc + 2 * (cols[m + 1] - 1)), 1);
      p = _mm512_insertf64x2(p, _mm_loadu_pd(acc + 2 * (cols[m + 2] - 1)), 2);
      p = _mm512_insertf64x2(p, _mm_loadu_pd(acc + 2 * (cols[m + 3] - 1)), 3);
    }
    // Even and odd rows of U in separate sums: four independent chains.
    __m512d q = _mm512_setzero_pd(), p2 = _mm512_setzero_pd(), q2 = _mm512_setzero_pd();
#pragma GCC unroll 16
    for (int a = 0; a + 1 < G; a += 2) {
      const __m512d uv = _mm512_loadu_pd(u[a] + 2 * m), uw = _mm512_loadu_pd(u[a + 1] + 2 * m);
      p = _mm512_fnmadd_pd(_mm512_set1_pd(x[a].re), uv, p);
      q = _mm512_fmadd_pd(_mm512_set1_pd(x[a].im), uv, q);
      p2 = _mm512_fnmadd_pd(_mm512_set1_pd(x[a + 1].re), uw, p2);
      q2 = _mm512_fmadd_pd(_mm512_set1_pd(x[a + 1].im), uw, q2);
    }
    if (G % 2 == 1) {
      const __m512d uv = _mm512_loadu_pd(u[G - 1] + 2 * m);
      p = _mm512_fnmadd_pd(_mm512_set1_pd(x[G - 1].re), uv, p);
      q = _mm512_fmadd_pd(_mm512_set1_pd(x[G - 1].im), uv, q);
    }
    p = _mm512_add_pd(p, p2);
    q = _mm512_add_pd(q, q2);
    // (p.re + q.im, p.im - q.re): fmsubadd adds in even lanes, subtracts in odd.
    const __m512d v = _mm512_fmsubadd_pd(one, p, _mm512_mask_permute_pd(q, 0xff, q, 0x55));
    if (run) {
      _mm512_storeu_pd(t0, v);
    } else {
      _mm_storeu_pd(t0, _mm512_extractf64x2_pd(v, 0));
      _mm_storeu_pd(acc + 2 * (cols[m + 1] - 1), _mm512_extractf64x2_pd(v, 1));
      _mm_storeu_pd(acc + 2 * (cols[m + 2] - 1), _mm512_extractf64x2_pd(v, 2));
      _mm_storeu_pd(acc + 2 * (cols[m + 3] - 1), _mm512_extractf64x2_pd(v, 3));
    }
  }
  tail_fma<G>(acc, cols, m, count, u, x);
}

// Two complex columns per 256-bit vector, four columns per step in two
// vectors, with the very operations of the 512-bit kernel in each lane
// (even and odd rows of U in separate sums, the same last-column tail), so
// that both widths give the same factors bit for bit.
template <int G>
YALE_TARGET("avx2,fma") void block_avx2(double* acc, const int32_t* cols, int32_t count, const double* const* u,
                                        const zcomplex* x) {
  const __m256d one = _mm256_set1_pd(1.0);
  int32_t m = 0;
  for (; m + 3 < count; m += 4) {
    double* t[4];
    for (int c = 0; c < 4; ++c) t[c] = acc + 2 * (cols[m + c] - 1);
    __m256d p[2], q[2], p2[2], q2[2];
    for (int h = 0; h < 2; ++h) {
      p[h] = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(t[2 * h])), _mm_loadu_pd(t[2 * h + 1]), 1);
      q[h] = p2[h] = q2[h] = _mm256_setzero_pd();
    }
#pragma GCC unroll 16
    for (int a = 0; a + 1 < G; a += 2) {
      const __m256d xr = _mm256_set1_pd(x[a].re), xi = _mm256_set1_pd(x[a].im);
      const __m256d yr = _mm256_set1_pd(x[a + 1].re), yi = _mm256_set1_pd(x[a + 1].im);
      for (int h = 0; h < 2; ++h) {
        const __m256d uv = _mm256_loadu_pd(u[a] + 2 * m + 4 * h), uw = _mm256_loadu_pd(u[a + 1] + 2 * m + 4 * h);
        p[h] = _mm256_fnmadd_pd(xr, uv, p[h]);
        q[h] = _mm256_fmadd_pd(xi, uv, q[h]);
        p2[h] = _mm256_fnmadd_pd(yr, uw, p2[h]);
        q2[h] = _mm256_fmadd_pd(yi, uw, q2[h]);
      }
    }
    for (int h = 0; h < 2; ++h) {
      if (G % 2 == 1) {
        const __m256d uv = _mm256_loadu_pd(u[G - 1] + 2 * m + 4 * h);
        p[h] = _mm256_fnmadd_pd(_mm256_set1_pd(x[G - 1].re), uv, p[h]);
        q[h] = _mm256_fmadd_pd(_mm256_set1_pd(x[G - 1].im), uv, q[h]);
      }
      const __m256d ps = _mm256_add_pd(p[h], p2[h]), qs = _mm256_add_pd(q[h], q2[h]);
      const __m256d v = _mm256_fmsubadd_pd(one, ps, _mm256_permute_pd(qs, 0x5));
      _mm_storeu_pd(t[2 * h], _mm256_castpd256_pd128(v));
      _mm_storeu_pd(t[2 * h + 1], _mm256_extractf128_pd(v, 1));
    }
  }
  tail_fma<G>(acc, cols, m, count, u, x);
}

// The panel update: the four target rows of one column fill one 512-bit
// vector; each value of U is broadcast and multiplies all four.  With x = a
// + ib per lane, x u = x Re(u) + (-b, a) Im(u): two fused multiply-adds, no
// shuffle.  G <= 8 rows of U per pass keep the multipliers in registers.
template <int G>
YALE_TARGET("avx512f,fma") void panel_avx512(double* panel, const int32_t* cols, int32_t count,
                                             const double* const* u, const zcomplex (*x)[kPanelRows]) {
  __m512d xa[G], xs[G];
  const __m512d sign = _mm512_set_pd(1, -1, 1, -1, 1, -1, 1, -1);
  for (int a = 0; a < G; ++a) {
    xa[a] = _mm512_loadu_pd(&x[a][0].re);
    xs[a] = _mm512_mul_pd(sign, _mm512_mask_permute_pd(xa[a], 0xff, xa[a], 0x55));  // (-b, a)
  }
  // Two columns at a time, the real and imaginary parts of u in separate
  // sums: four independent chains of fused multiply-adds.
  int32_t m = 0;
  for (; m + 1 < count; m += 2) {
    double* t0 = panel + static_cast<std::size_t>(cols[m] - 1) * 2 * kPanelRows;
    double* t1 = panel + static_cast<std::size_t>(cols[m + 1] - 1) * 2 * kPanelRows;
    __m512d p0 = _mm512_loadu_pd(t0), p1 = _mm512_loadu_pd(t1);
    __m512d q0 = _mm512_setzero_pd(), q1 = _mm512_setzero_pd();
#pragma GCC unroll 8
    for (int a = 0; a < G; ++a) {
      const double* ua = u[a] + 2 * m;
      p0 = _mm512_fnmadd_pd(xa[a], _mm512_set1_pd(ua[0]), p0);
      q0 = _mm512_fnmadd_pd(xs[a], _mm512_set1_pd(ua[1]), q0);
      p1 = _mm512_fnmadd_pd(xa[a], _mm512_set1_pd(ua[2]), p1);
      q1 = _mm512_fnmadd_pd(xs[a], _mm512_set1_pd(ua[3]), q1);
    }
    _mm512_storeu_pd(t0, _mm512_add_pd(p0, q0));
    _mm512_storeu_pd(t1, _mm512_add_pd(p1, q1));
  }
  if (m < count) {
    double* t = panel + static_cast<std::size_t>(cols[m] - 1) * 2 * kPanelRows;
    __m512d p = _mm512_loadu_pd(t);
    for (int a = 0; a < G; ++a) {
      p = _mm512_fnmadd_pd(xa[a], _mm512_set1_pd(u[a][2 * m]), p);
      p = _mm512_fnmadd_pd(xs[a], _mm512_set1_pd(u[a][2 * m + 1]), p);
    }
    _mm512_storeu_pd(t, p);
  }
}


// Two 256-bit vectors per column (target rows 0-1 and 2-3), with the very
// operations of the 512-bit panel kernel in each lane and the same G <= 8
// rows of U per pass, so that both widths give the same factors bit for
// bit: two columns at a time, the real and imaginary parts of u in separate
// sums (eight independent chains), the multipliers read from the stack.
template <int G>
YALE_TARGET("avx2,fma") void panel_avx2(double* panel, const int32_t* cols, int32_t count, const double* const* u,
                                        const zcomplex (*x)[kPanelRows]) {
  __m256d xa[G][2], xs[G][2];
  const __m256d sign = _mm256_set_pd(1, -1, 1, -1);
  for (int a = 0; a < G; ++a)
    for (int h = 0; h < 2; ++h) {
      xa[a][h] = _mm256_loadu_pd(&x[a][2 * h].re);
      xs[a][h] = _mm256_mul_pd(sign, _mm256_permute_pd(xa[a][h], 0x5));  // (-b, a)
    }
  int32_t m = 0;
  for (; m + 1 < count; m += 2) {
    double* t0 = panel + static_cast<std::size_t>(cols[m] - 1) * 2 * kPanelRows;
    double* t1 = panel + static_cast<std::size_t>(cols[m + 1] - 1) * 2 * kPanelRows;
    __m256d p0[2] = {_mm256_loadu_pd(t0), _mm256_loadu_pd(t0 + 4)};
    __m256d p1[2] = {_mm256_loadu_pd(t1), _mm256_loadu_pd(t1 + 4)};
    __m256d q0[2] = {_mm256_setzero_pd(), _mm256_setzero_pd()}, q1[2] = {q0[0], q0[1]};
#pragma GCC unroll 8
    for (int a = 0; a < G; ++a) {
      const double* ua = u[a] + 2 * m;
      const __m256d u0r = _mm256_set1_pd(ua[0]), u0i = _mm256_set1_pd(ua[1]);
      const __m256d u1r = _mm256_set1_pd(ua[2]), u1i = _mm256_set1_pd(ua[3]);
      for (int h = 0; h < 2; ++h) {
        p0[h] = _mm256_fnmadd_pd(xa[a][h], u0r, p0[h]);
        q0[h] = _mm256_fnmadd_pd(xs[a][h], u0i, q0[h]);
        p1[h] = _mm256_fnmadd_pd(xa[a][h], u1r, p1[h]);
        q1[h] = _mm256_fnmadd_pd(xs[a][h], u1i, q1[h]);
      }
    }
    for (int h = 0; h < 2; ++h) {
      _mm256_storeu_pd(t0 + 4 * h, _mm256_add_pd(p0[h], q0[h]));
      _mm256_storeu_pd(t1 + 4 * h, _mm256_add_pd(p1[h], q1[h]));
    }
  }
  if (m < count) {
    double* t = panel + static_cast<std::size_t>(cols[m] - 1) * 2 * kPanelRows;
    __m256d p[2] = {_mm256_loadu_pd(t), _mm256_loadu_pd(t + 4)};
    for (int a = 0; a < G; ++a) {
      const __m256d ur = _mm256_set1_pd(u[a][2 * m]), ui = _mm256_set1_pd(u[a][2 * m + 1]);
      for (int h = 0; h < 2; ++h) p[h] = _mm256_fnmadd_pd(xs[a][h], ui, _mm256_fnmadd_pd(xa[a][h], ur, p[h]));
    }
    _mm256_storeu_pd(t, p[0]);
    _mm256_storeu_pd(t + 4, p[1]);
  }
}
#undef YALE_TARGET
#endif

// The panel update of g rows of U in passes of at most kPanelPass rows, the
// kernel of each pass's height taken from by_rows.
constexpr int kPanelPass = 8;
void in_passes(const PanelKernel (&by_rows)[kPanelPass + 1], double* panel, const int32_t* cols, int32_t count, int g,
               const double* const* rows, const zcomplex (*x)[kPanelRows]) {
  for (int a = 0; a < g; a += kPanelPass) by_rows[std::min(kPanelPass, g - a)](panel, cols, count, rows + a, x + a);
}

template <int G>
void block_plain(double* acc, const int32_t* cols, int32_t count, const double* const* u, const zcomplex* x) {
  const zcomplex* uz[G];
  for (int a = 0; a < G; ++a) uz[a] = reinterpret_cast<const zcomplex*>(u[a]);
  subtract_block<zcomplex>(reinterpret_cast<zcomplex*>(acc), cols, count, G, uz, x);
}

#define YALE_PICK(name, fn)      \
  Kernel name(int g) {           \
    switch (g) {                 \
      case 1: return fn<1>;      \
      case 2: return fn<2>;      \
      case 3: return fn<3>;      \
      case 4: return fn<4>;      \
      case 5: return fn<5>;      \
      case 6: return fn<6>;      \
      case 7: return fn<7>;      \
      case 8: return fn<8>;      \
      case 9: return fn<9>;      \
      case 10: return fn<10>;    \
      case 11: return fn<11>;    \
      case 12: return fn<12>;    \
      case 13: return fn<13>;    \
      case 14: return fn<14>;    \
      case 15: return fn<15>;    \
      default: return fn<16>;    \
    }                            \
  }
static_assert(kMaxBlockRows == 16);
YALE_PICK(pick_plain, block_plain)
#if defined(__x86_64__)
YALE_PICK(pick_avx2, block_avx2)
YALE_PICK(pick_avx512, block_avx512)
#endif
#undef YALE_PICK

using Isa = core::KernelIsa;

bool processor_has(Isa isa) { return core::processor_runs(isa); }

// The kernel of every block height for the chosen instruction set.
struct Kernels {
  Isa isa = Isa::plain;
  Kernel by_rows[kMaxBlockRows + 1] = {};
  explicit Kernels(Isa chosen) { choose(chosen); }
  void choose(Isa chosen) {
    isa = chosen;
    Kernel (*pick)(int) = pick_plain;
#if defined(__x86_64__)
    if (isa == Isa::avx512) pick = pick_avx512;
    if (isa == Isa::avx2) pick = pick_avx2;
#endif
    for (int g = 1; g <= kMaxBlockRows; ++g) by_rows[g] = pick(g);
  }
};

const char* name_of(Isa isa) { return core::kernel_name(isa); }

// The process's kernel: the widest, unless UPSCALE_KERNEL names another (the
// programs check that variable before they start, with a sentence).
Kernels& kernels() {
  static Kernels k(core::process_kernel());
  return k;
}

}  // namespace

void subtract_block(zcomplex* acc, const int32_t* cols, int32_t count, int g, const zcomplex* const* u,
                    const zcomplex* x) {
  static const Kernel* const by_rows = kernels().by_rows;
  const double* rows[kMaxBlockRows];
  for (int a = 0; a < g; ++a) rows[a] = &u[a]->re;
  by_rows[g](&acc->re, cols, count, rows, x);
}

void subtract_block_from_panel(zcomplex* panel, const int32_t* cols, int32_t count, int g,
                               const zcomplex* const* u, const zcomplex (*x)[kPanelRows]) {
  static const Kernels& chosen = kernels();
  const Isa isa = chosen.isa;
  const double* rows[kMaxBlockRows];
  for (int a = 0; a < g; ++a) rows[a] = &u[a]->re;
#if defined(__x86_64__)
  if (isa == Isa::avx512) {
    static constexpr PanelKernel by_rows[] = {nullptr, panel_avx512<1>, panel_avx512<2>, panel_avx512<3>,
                                              panel_avx512<4>, panel_avx512<5>, panel_avx512<6>,
                                              panel_avx512<7>, panel_avx512<8>};
    in_passes(by_rows, &panel->re, cols, count, g, rows, x);
    return;
  }
  if (isa == Isa::avx2) {
    static constexpr PanelKernel by_rows[] = {nullptr, panel_avx2<1>, panel_avx2<2>, panel_avx2<3>, panel_avx2<4>,
                                              panel_avx2<5>, panel_avx2<6>, panel_avx2<7>, panel_avx2<8>};
    in_passes(by_rows, &panel->re, cols, count, g, rows, x);
    return;
  }
#endif
  subtract_block_from_panel<zcomplex>(panel, cols, count, g, u, x);
}

bool use_block_kernel(std::string_view name) {
  for (const Isa isa : {Isa::plain, Isa::avx2, Isa::avx512}) {
    if (name != name_of(isa) && !(name == "best" && isa == core::process_kernel())) continue;
    if (!processor_has(isa)) return false;
    kernels().choose(isa);
    return true;
  }
  return false;
}

const char* block_kernel_name() { return name_of(kernels().isa); }

}  // namespace yale
