// The solves' column kernels: every instruction set the processor runs
// gives the bits of the plain loops, and those lie within the rounding
// bound of the exact result (computed in long double). (A block of vectors
// solving to the bits of each vector alone: test_solver.cpp.)
#include <gtest/gtest.h>

#include <random>

#include "core/backward_error.hpp"
#include "engine/column_kernels.hpp"
#include "tests/engine/support.hpp"

namespace {

using namespace engine_test;
using core::KernelIsa;

std::vector<zcomplex> random_vector(std::size_t len, std::mt19937& gen) {
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<zcomplex> v(len);
  // Magnitudes spread over six decades, so that cancellation happens.
  for (zcomplex& x : v) x = zcomplex{d(gen), d(gen)} * std::pow(10.0, 3 * d(gen));
  return v;
}

bool same_bits(zcomplex a, zcomplex b) { return a.re == b.re && a.im == b.im; }

TEST(EngineColumnKernels, EveryInstructionSetGivesThePlainBitsWithinTheRoundingBound) {
  std::mt19937 gen(7);
  const double u = core::kUnitRoundoff;
  for (const std::size_t len : {0, 1, 2, 3, 4, 5, 7, 8, 9, 31, 64, 1001}) {
    SCOPED_TRACE(len);
    const std::vector<zcomplex> a = random_vector(len, gen), v = random_vector(len, gen);
    const zcomplex c = random_vector(1, gen)[0];
    const zcomplex dot = engine::detail::column_dot(KernelIsa::plain, a.data(), v.data(), static_cast<engine::Index>(len));
    std::vector<zcomplex> axpy = v;
    engine::detail::column_axpy(KernelIsa::plain, a.data(), c, axpy.data(), static_cast<engine::Index>(len));
    // Exact in long double (64-bit products of 53-bit numbers are exact; the
    // sums' error is far below the bounds).
    long double re = 0, im = 0, scale = 0;
    for (std::size_t i = 0; i < len; ++i) {
      re += static_cast<long double>(a[i].re) * v[i].re - static_cast<long double>(a[i].im) * v[i].im;
      im += static_cast<long double>(a[i].re) * v[i].im + static_cast<long double>(a[i].im) * v[i].re;
      scale += static_cast<long double>(core::magnitude(a[i])) * core::magnitude(v[i]);
    }
    const double gamma = static_cast<double>(len + 4) * u * static_cast<double>(scale);
    EXPECT_LE(std::abs(static_cast<double>(dot.re - re)), gamma);
    EXPECT_LE(std::abs(static_cast<double>(dot.im - im)), gamma);
    for (std::size_t i = 0; i < len; ++i) {
      const long double er = static_cast<long double>(v[i].re) - (static_cast<long double>(a[i].re) * c.re -
                                                                   static_cast<long double>(a[i].im) * c.im);
      const long double ei = static_cast<long double>(v[i].im) - (static_cast<long double>(a[i].im) * c.re +
                                                                   static_cast<long double>(a[i].re) * c.im);
      const double bound = 3 * u * (core::magnitude(v[i]) + core::magnitude(a[i]) * core::magnitude(c));
      EXPECT_LE(std::abs(static_cast<double>(axpy[i].re - er)), bound) << i;
      EXPECT_LE(std::abs(static_cast<double>(axpy[i].im - ei)), bound) << i;
    }
    for (const KernelIsa isa : {KernelIsa::avx2, KernelIsa::avx512}) {
      if (!core::processor_runs(isa)) continue;
      SCOPED_TRACE(core::kernel_name(isa));
      EXPECT_TRUE(same_bits(dot, engine::detail::column_dot(isa, a.data(), v.data(), static_cast<engine::Index>(len))));
      // A pair of dot products with one column: each the bits of its own.
      const std::vector<zcomplex> w = random_vector(len, gen);
      zcomplex pair[2];
      engine::detail::column_dot_pair(isa, a.data(), w.data(), v.data(), static_cast<engine::Index>(len), pair);
      EXPECT_TRUE(same_bits(pair[1], dot));
      EXPECT_TRUE(same_bits(pair[0], engine::detail::column_dot(KernelIsa::plain, a.data(), w.data(), static_cast<engine::Index>(len))));
      std::vector<zcomplex> wide = v;
      engine::detail::column_axpy(isa, a.data(), c, wide.data(), static_cast<engine::Index>(len));
      for (std::size_t i = 0; i < len; ++i) EXPECT_TRUE(same_bits(wide[i], axpy[i])) << i;
    }
  }
}

}  // namespace
