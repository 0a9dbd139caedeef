// The doubled-double residual against the exact one: integer matrices and
// vectors scaled by powers of two, whose products and sums are exact in
// 128-bit integers, with a right-hand side that cancels all but the last
// bits of the row (a residual of about u times the row's scale, which
// extended precision alone could not resolve). The residual must lie within
// the bound u |r| + gamma S of every part on every kernel and in both halves
// of a cut column range, with the same bits on every kernel and route.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "core/backward_error.hpp"
#include "core/compensated_residual.hpp"

namespace {

using core::zcomplex;
using Int = __int128;

// m 2^e, m an integer below 2^30 (sign random), e in 0 .. 30: exact as a double and in Int.
Int scaled(std::mt19937_64& gen) {
  const Int m = static_cast<std::int64_t>(gen() % (1u << 30)) * (gen() % 2 ? 1 : -1);
  return m * (Int{1} << (gen() % 31));
}

zcomplex to_complex(Int re, Int im) { return {static_cast<double>(re), static_cast<double>(im)}; }

// A symmetric matrix's lower triangle by columns and x, of scaled integers;
// b is each row's sum rounded to double, so that b - A x is its rounding.
struct Case {
  std::int64_t n = 0;
  std::vector<std::int64_t> ptr{0}, row, col;
  std::vector<zcomplex> a, x, b;
  std::vector<Int> exact_re, exact_im;     // b - A x exactly
  std::vector<double> scale_re, scale_im;  // sums of the parts' term magnitudes
};

Case cancelling_case(std::int64_t n, unsigned seed) {
  std::mt19937_64 gen(seed);
  Case c;
  c.n = n;
  std::vector<Int> xre, xim, are, aim, sre(n, 0), sim(n, 0);
  for (std::int64_t i = 0; i < n; ++i) {
    xre.push_back(scaled(gen)), xim.push_back(scaled(gen));
    c.x.push_back(to_complex(xre[i], xim[i]));
  }
  c.scale_re.assign(n, 0), c.scale_im.assign(n, 0);
  auto take = [&](std::int64_t i, std::size_t e, std::int64_t j) {  // a_e x_j into row i
    const Int rr = are[e] * xre[j], ii = aim[e] * xim[j], ri = are[e] * xim[j], ir = aim[e] * xre[j];
    sre[i] += rr - ii, sim[i] += ri + ir;
    c.scale_re[i] += std::abs(static_cast<double>(rr)) + std::abs(static_cast<double>(ii));
    c.scale_im[i] += std::abs(static_cast<double>(ri)) + std::abs(static_cast<double>(ir));
  };
  for (std::int64_t j = 0; j < n; ++j) {
    for (std::int64_t i = j; i < n; ++i) {
      if (i != j && gen() % 3 != 0) continue;
      are.push_back(scaled(gen)), aim.push_back(scaled(gen));
      c.row.push_back(i), c.col.push_back(j), c.a.push_back(to_complex(are.back(), aim.back()));
      take(i, are.size() - 1, j);
      if (i != j) take(j, are.size() - 1, i);
    }
    c.ptr.push_back(static_cast<std::int64_t>(c.row.size()));
  }
  for (std::int64_t i = 0; i < n; ++i) {
    c.b.push_back(to_complex(sre[i], sim[i]));  // an integer of this size is exact in Int
    c.exact_re.push_back(static_cast<Int>(c.b[i].re) - sre[i]), c.exact_im.push_back(static_cast<Int>(c.b[i].im) - sim[i]);
    c.scale_re[i] += std::abs(c.b[i].re), c.scale_im[i] += std::abs(c.b[i].im);
  }
  return c;
}

std::vector<core::CompensatedRow> residual(const Case& c, core::KernelIsa isa, std::int64_t cut) {
  std::vector<core::CompensatedRow> rows(c.n), below(c.n - cut);
  for (std::int64_t i = 0; i < c.n; ++i) rows[i] = core::CompensatedRow::start(c.b[i]);
  const core::LowerColumns cols{c.ptr.data(), c.row.data(), c.a.data()};
  core::subtract_lower_columns(isa, cols, c.x.data(), 0, cut, cut, rows.data(), below.data());
  core::subtract_lower_columns(isa, cols, c.x.data(), cut, c.n, cut, rows.data(), nullptr);
  for (std::int64_t i = cut; i < c.n; ++i) rows[i].absorb(below[i - cut]);
  return rows;
}

TEST(CompensatedResidual, WithinItsBoundOfTheExactResidualOnEveryKernelAndCut) {
  const double u = core::kUnitRoundoff;
  for (unsigned seed : {1u, 2u, 3u}) {
    const Case c = cancelling_case(36, seed);
    const std::vector<core::CompensatedRow> plain = residual(c, core::KernelIsa::plain, c.n);
    // The coordinate route takes the entries in the order of the columns.
    std::vector<core::CompensatedRow> coo(c.n);
    for (std::int64_t i = 0; i < c.n; ++i) coo[i] = core::CompensatedRow::start(c.b[i]);
    core::subtract_entries(c.row, c.col, c.a, true, c.x.data(), coo.data());
    int resolved = 0;
    for (std::int64_t i = 0; i < c.n; ++i) {
      EXPECT_NEAR(plain[i].scale, c.scale_re[i] + c.scale_im[i], 1e-12 * plain[i].scale);  // |re| + |im| magnitudes
      EXPECT_TRUE(coo[i].value() == plain[i].value()) << seed << " row " << i;
      // The residual is some 1e-16 of the scale: extended precision (64 bits)
      // could not give it to more than a few digits; here it is right to 1e-6.
      const double er = static_cast<double>(c.exact_re[i]);
      if (std::abs(er) <= 1e-3 * u * plain[i].scale) continue;
      ++resolved;
      EXPECT_LE(std::abs(plain[i].value().re - er), 1e-6 * std::abs(er)) << seed << " row " << i;
    }
    EXPECT_GT(resolved, c.n / 2) << seed;
    for (const core::KernelIsa isa : {core::KernelIsa::plain, core::KernelIsa::avx2}) {
      if (!core::processor_runs(isa)) continue;
      for (const std::int64_t cut : {c.n, c.n / 2}) {
        const std::vector<core::CompensatedRow> rows = residual(c, isa, cut);
        for (std::int64_t i = 0; i < c.n; ++i) {
          const zcomplex r = rows[i].value();
          const double er = static_cast<double>(c.exact_re[i]), ei = static_cast<double>(c.exact_im[i]);
          const double g = core::compensated_gamma(rows[i].entries);
          EXPECT_EQ(rows[i].entries, plain[i].entries);
          EXPECT_LE(std::abs(r.re - er), 3 * u * std::abs(er) + g * c.scale_re[i]) << seed << " row " << i;
          EXPECT_LE(std::abs(r.im - ei), 3 * u * std::abs(ei) + g * c.scale_im[i]) << seed << " row " << i;
          // The halves change the order of the sums, the kernels do not.
          EXPECT_TRUE(cut != c.n || r == plain[i].value()) << core::kernel_name(isa) << " row " << i;
        }
      }
    }
  }
}

// Gamma: twice gamma_K^2 for K = 2 (entries + 1) terms; past K u = 1/2 no bound.
TEST(CompensatedResidual, GammaIsTwiceTheSquareOfGammaK) {
  const double u = core::kUnitRoundoff, k = 2 * (20 + 1);
  EXPECT_DOUBLE_EQ(core::compensated_gamma(20), 2 * std::pow(k * u / (1 - k * u), 2));
  EXPECT_TRUE(std::isinf(core::compensated_gamma(std::int64_t{1} << 53)));
}

}  // namespace
