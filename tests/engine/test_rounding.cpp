// The solves' building blocks against exact arithmetic: the column kernels
// of every instruction set give the bits of the plain loops, within the
// rounding bound of the exact result; one backward error over four
// storages (the Yale solver's full rows, the engine's lower triangle, the
// bounds' coordinate and column views) with its closed form on a diagonal
// system.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/backward_error.hpp"
#include "engine/column_kernels.hpp"
#include "engine/numeric.hpp"
#include "tests/engine/support.hpp"
#include "upscaling/error_bounds.hpp"
#include "yale/refinement.hpp"

namespace {

using namespace engine_test;
using core::KernelIsa;

// Magnitudes spread over six decades, so that cancellation happens.
std::vector<zcomplex> spread_vector(std::size_t len, std::mt19937& gen) {
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<zcomplex> v(len);
  for (zcomplex& x : v) x = zcomplex{d(gen), d(gen)} * std::pow(10.0, 3 * d(gen));
  return v;
}

TEST(EngineColumnKernels, EveryInstructionSetGivesThePlainBitsWithinTheRoundingBound) {
  std::mt19937 gen(7);
  const double u = core::kUnitRoundoff;
  for (const Index len : {0, 1, 2, 3, 4, 5, 7, 8, 9, 31, 64, 1001}) {
    SCOPED_TRACE(len);
    const std::vector<zcomplex> a = spread_vector(len, gen), v = spread_vector(len, gen);
    const zcomplex c = spread_vector(1, gen)[0];
    const zcomplex dot = engine::detail::column_dot(KernelIsa::plain, a.data(), v.data(), len);
    std::vector<zcomplex> axpy = v;
    engine::detail::column_axpy(KernelIsa::plain, a.data(), c, axpy.data(), len);
    // Exact in long double (64-bit products of 53-bit numbers are exact; the
    // sums' error is far below the bounds).
    cld exact = 0;
    long double scale = 0;
    for (Index i = 0; i < len; ++i) {
      const cld ai(a[i].re, a[i].im), vi(v[i].re, v[i].im), e = vi - ai * cld(c.re, c.im);
      exact += ai * vi;
      scale += static_cast<long double>(core::magnitude(a[i])) * core::magnitude(v[i]);
      const double bound = 3 * u * (core::magnitude(v[i]) + core::magnitude(a[i]) * core::magnitude(c));
      EXPECT_LE(std::abs(static_cast<double>(axpy[i].re - e.real())), bound) << i;
      EXPECT_LE(std::abs(static_cast<double>(axpy[i].im - e.imag())), bound) << i;
    }
    const double gamma = static_cast<double>(len + 4) * u * static_cast<double>(scale);
    EXPECT_LE(std::abs(static_cast<double>(dot.re - exact.real())), gamma);
    EXPECT_LE(std::abs(static_cast<double>(dot.im - exact.imag())), gamma);
    for (const KernelIsa isa : {KernelIsa::avx2, KernelIsa::avx512}) {
      if (!core::processor_runs(isa)) continue;
      std::vector<zcomplex> wide = v;
      engine::detail::column_axpy(isa, a.data(), c, wide.data(), len);
      EXPECT_TRUE(same_bits({dot}, {engine::detail::column_dot(isa, a.data(), v.data(), len)})) << core::kernel_name(isa);
      EXPECT_TRUE(same_bits(wide, axpy)) << core::kernel_name(isa);
      // A pair of dot products with one column: each the bits of its own.
      const std::vector<zcomplex> w = spread_vector(len, gen);
      zcomplex pair[2];
      engine::detail::column_dot_pair(isa, a.data(), w.data(), v.data(), len, pair);
      const zcomplex alone = engine::detail::column_dot(KernelIsa::plain, a.data(), w.data(), len);
      EXPECT_TRUE(same_bits({pair[0], pair[1]}, {alone, dot})) << core::kernel_name(isa);
    }
  }
}

// A random symmetric complex matrix summed into the engine's lower triangle
// by columns, and the same matrix in the Yale solver's full rows (1-based)
// and in lower-triangle coordinates; x and b random.
TEST(BackwardError, TheSolverTheEngineAndTheBoundsMeasureAlike) {
  namespace bounds = upscaling::bounds;
  for (unsigned seed : {1u, 2u, 3u}) {
    const Coo coo = random_system(40, 60, seed);
    const Summed s = summed(coo.pattern, coo.values);
    const engine::LowerPattern& lower = *s.lower;
    const int n = static_cast<int>(lower.n);
    std::vector<zcomplex> full(static_cast<std::size_t>(n * n), zcomplex{0, 0});
    std::vector<Index> coo_row, coo_col;
    for (int j = 0; j < n; ++j)
      for (Index p = lower.ptr[j]; p < lower.ptr[j + 1]; ++p) {
        full[lower.row[p] * n + j] = full[j * n + lower.row[p]] = s.values[p];
        coo_row.push_back(lower.row[p]), coo_col.push_back(j);
      }
    std::vector<int32_t> ia{1}, ja;
    std::vector<zcomplex> a;
    for (int k = 0; k < n * n; ++k) {
      if (full[k].re != 0 || full[k].im != 0) ja.push_back(k % n + 1), a.push_back(full[k]);
      if (k % n == n - 1) ia.push_back(static_cast<int32_t>(ja.size()) + 1);
    }
    const std::vector<zcomplex> x = random_block(n, 1, seed + 100), b = random_block(n, 1, seed + 200);
    std::vector<zcomplex> r_yale(n), r_engine(n), r_two(n);
    const yale::YaleMatrix A{n, yale::CIVec(ia.data(), n + 1), yale::CIVec(ja.data(), static_cast<int32_t>(ja.size())),
                             yale::Vec1<const zcomplex>(a.data(), static_cast<int32_t>(a.size()))};
    const double w_yale = yale::residual_and_backward_error(
        A, yale::Vec1<const zcomplex>(b.data(), n), yale::Vec1<const zcomplex>(x.data(), n),
        yale::Vec1<zcomplex>(r_yale.data(), n));
    const double w_engine = engine::detail::residual(lower, s.values.data(), x.data(), b.data(), r_engine.data());
    // Two threads sum the same halves of the columns in the same order: the same bits.
    EXPECT_EQ(engine::detail::residual(lower, s.values.data(), x.data(), b.data(), r_two.data(), 2), w_engine);
    EXPECT_TRUE(same_bits(r_two, r_engine));
    const bounds::ResidualBound rb = bounds::residual_bound(bounds::CooView{n, coo_row, coo_col, s.values, true}, b, x);
    const bounds::ResidualBound by_columns =
        bounds::residual_bound(bounds::LowerColumnsView{n, lower.ptr, lower.row, s.values}, b, x);
    // The residuals are not small against their scale here (x is no
    // solution), so the extended sums, taken in different orders, round to
    // doubles within a few units of the last place.
    const double tol = 8 * core::kUnitRoundoff;
    EXPECT_NEAR(w_engine, w_yale, tol * w_yale) << seed;
    EXPECT_NEAR(rb.backward_error, w_yale, tol * w_yale) << seed;
    EXPECT_NEAR(by_columns.backward_error, w_yale, tol * w_yale) << seed;
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(r_engine[i].re, r_yale[i].re, tol * rb.scale[i]) << i;
      EXPECT_NEAR(r_engine[i].im, r_yale[i].im, tol * rb.scale[i]) << i;
      EXPECT_LE(core::magnitude(r_yale[i]), rb.w[i]) << i;  // the bound holds the residual
    }
  }
}

// On a diagonal system d x = b with x = x* (1 + e), omega is |d x* e| /
// (|d| |x| + |b|) row by row, in the |re| + |im| magnitude.
TEST(BackwardError, DiagonalSystemHasItsClosedForm) {
  const zcomplex d{3, -1}, xs{0.5, 0.25}, e{1e-6, 0};
  const zcomplex b = d * xs, x = xs * (zcomplex{1, 0} + e);
  core::ResidualRow row(b);
  row.subtract(d, x);
  EXPECT_EQ(row.entries(), 1);
  EXPECT_DOUBLE_EQ(row.scale(), core::magnitude(d) * core::magnitude(x) + core::magnitude(b));
  const zcomplex exact = zcomplex{-1, 0} * d * xs * e;
  // The residual is formed in extended precision from the rounded x: its
  // error is that of x's rounding, u |x|, times |d|.
  const double slack = 4 * core::kUnitRoundoff * core::magnitude(d) * core::magnitude(x);
  EXPECT_NEAR(row.value().re, exact.re, slack);
  EXPECT_NEAR(row.value().im, exact.im, slack);
  const double omega = core::backward_ratio(row.value(), row.scale());
  EXPECT_NEAR(omega, core::magnitude(exact) / row.scale(), slack / row.scale());
  // Zero residual, and a residual that nothing scales.
  EXPECT_EQ(core::backward_ratio({0, 0}, 0), 0);
  EXPECT_TRUE(std::isinf(core::backward_ratio({1e-300, 0}, 0)));
  EXPECT_TRUE(std::isinf(core::backward_ratio({std::nan(""), 0}, 1)));
}

}  // namespace
