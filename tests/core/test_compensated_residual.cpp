// The doubled-double residual against the exact one: integer matrices and
// vectors scaled by powers of two, whose products and sums are exact in
// 128-bit integers, with a right-hand side that cancels all but the last
// bits of the row (a residual of about u times the row's scale, which
// extended precision alone could not resolve). The residual must lie within
// the bound u |r| + gamma S of every part, the same bits on every kernel and
// in both halves of a cut column range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "core/backward_error.hpp"
#include "core/compensated_residual.hpp"

namespace {

using core::zcomplex;
using Int = __int128;

// m 2^e, m an integer below 2^30 (sign random), e in 0 .. 30: exact in Int.
struct Scaled {
  double value;
  Int exact;
};

Scaled scaled(std::mt19937_64& gen) {
  const std::int64_t m = static_cast<std::int64_t>(gen() % (1u << 30)) * (gen() % 2 ? 1 : -1);
  const int e = static_cast<int>(gen() % 31);
  return {std::ldexp(static_cast<double>(m), e), Int{m} * (Int{1} << e)};
}

// A symmetric matrix's lower triangle by columns, its values and x, all of
// scaled integers; b cancels the row's sum to the rounding of double.
struct Case {
  std::int64_t n = 0;
  std::vector<std::int64_t> ptr{0}, row;
  std::vector<zcomplex> a, x, b;
  std::vector<Int> are, aim, xre, xim;
  std::vector<Int> exact_re, exact_im;  // b - A x exactly
  std::vector<double> scale_re, scale_im;  // sums of the parts' term magnitudes
};

double to_double(Int v) {
  const bool negative = v < 0;
  unsigned __int128 m = negative ? static_cast<unsigned __int128>(-v) : static_cast<unsigned __int128>(v);
  const double hi = static_cast<double>(static_cast<std::uint64_t>(m >> 64)), lo = static_cast<double>(static_cast<std::uint64_t>(m));
  const double d = std::ldexp(hi, 64) + lo;  // within a unit or two of the last place: enough for a tolerance
  return negative ? -d : d;
}

Case cancelling_case(std::int64_t n, unsigned seed) {
  std::mt19937_64 gen(seed);
  Case c;
  c.n = n;
  for (std::int64_t i = 0; i < n; ++i) {
    const Scaled re = scaled(gen), im = scaled(gen);
    c.x.push_back({re.value, im.value}), c.xre.push_back(re.exact), c.xim.push_back(im.exact);
  }
  for (std::int64_t j = 0; j < n; ++j) {
    for (std::int64_t i = j; i < n; ++i) {
      if (i != j && gen() % 3 != 0) continue;
      const Scaled re = scaled(gen), im = scaled(gen);
      c.row.push_back(i), c.a.push_back({re.value, im.value}), c.are.push_back(re.exact), c.aim.push_back(im.exact);
    }
    c.ptr.push_back(static_cast<std::int64_t>(c.row.size()));
  }
  std::vector<Int> sre(n, 0), sim(n, 0);
  c.scale_re.assign(n, 0), c.scale_im.assign(n, 0);
  auto take = [&](std::int64_t i, std::size_t e, std::int64_t j) {
    const Int rr = c.are[e] * c.xre[j], ii = c.aim[e] * c.xim[j], ri = c.are[e] * c.xim[j], ir = c.aim[e] * c.xre[j];
    sre[i] += rr - ii, sim[i] += ri + ir;
    c.scale_re[i] += std::abs(to_double(rr)) + std::abs(to_double(ii));
    c.scale_im[i] += std::abs(to_double(ri)) + std::abs(to_double(ir));
  };
  for (std::int64_t j = 0; j < n; ++j)
    for (std::int64_t e = c.ptr[j]; e < c.ptr[j + 1]; ++e) {
      take(c.row[e], static_cast<std::size_t>(e), j);
      if (c.row[e] != j) take(j, static_cast<std::size_t>(e), c.row[e]);
    }
  for (std::int64_t i = 0; i < n; ++i) {
    // b: the row's sum rounded to double (exact in Int: a double of this size is an integer).
    const zcomplex b{to_double(sre[i]), to_double(sim[i])};
    c.b.push_back(b);
    const Int bre = static_cast<Int>(b.re), bim = static_cast<Int>(b.im);
    c.exact_re.push_back(bre - sre[i]), c.exact_im.push_back(bim - sim[i]);
    c.scale_re[i] += std::abs(b.re), c.scale_im[i] += std::abs(b.im);
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

TEST(CompensatedResidual, WithinItsBoundOfTheExactResidualUnderCancellation) {
  const double u = core::kUnitRoundoff;
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    const Case c = cancelling_case(30, seed);
    const std::vector<core::CompensatedRow> rows = residual(c, core::KernelIsa::plain, c.n);
    int resolved = 0;
    for (std::int64_t i = 0; i < c.n; ++i) {
      const zcomplex r = rows[i].value();
      const double er = to_double(c.exact_re[i]), ei = to_double(c.exact_im[i]);
      const double g = core::compensated_gamma(rows[i].entries);
      // The bound of each part, with two units of the exact value's conversion to double.
      EXPECT_LE(std::abs(r.re - er), 4 * u * std::abs(er) + g * c.scale_re[i]) << seed << " row " << i;
      EXPECT_LE(std::abs(r.im - ei), 4 * u * std::abs(ei) + g * c.scale_im[i]) << seed << " row " << i;
      // The scale is |A||x| + |b| in the |re| + |im| magnitude.
      EXPECT_NEAR(rows[i].scale, c.scale_re[i] + c.scale_im[i], 1e-12 * rows[i].scale);
      // The residual is some 1e-16 of the scale: extended precision (64 bits)
      // could not give it to more than a few digits; here it is right to 1e-6.
      if (std::abs(er) > 1e-3 * u * rows[i].scale) {
        ++resolved;
        EXPECT_LE(std::abs(r.re - er), 1e-6 * std::abs(er)) << seed << " row " << i;
      }
    }
    EXPECT_GT(resolved, c.n / 2);
  }
}

TEST(CompensatedResidual, SameBitsOnEveryKernelAndEveryCut) {
  const Case c = cancelling_case(40, 7);
  const std::vector<core::CompensatedRow> plain = residual(c, core::KernelIsa::plain, c.n);
  for (const core::KernelIsa isa : {core::KernelIsa::plain, core::KernelIsa::avx2}) {
    if (!core::processor_runs(isa)) continue;
    for (const std::int64_t cut : {c.n, c.n / 2}) {
      const std::vector<core::CompensatedRow> rows = residual(c, isa, cut);
      for (std::int64_t i = 0; i < c.n; ++i) {
        // The halves change the order of the sums: the values only within the bound.
        const zcomplex r = rows[i].value(), p = plain[i].value();
        if (cut == c.n) {
          EXPECT_TRUE(r == p) << core::kernel_name(isa) << " row " << i;
        } else {
          EXPECT_NEAR(r.re, p.re, 4 * core::kUnitRoundoff * std::abs(p.re) + core::compensated_gamma(rows[i].entries) * rows[i].scale);
        }
        EXPECT_EQ(rows[i].entries, plain[i].entries);
      }
    }
  }
  // The coordinate route takes the entries in the order of the columns: the same bits.
  std::vector<std::int64_t> col;
  for (std::int64_t j = 0; j < c.n; ++j)
    for (std::int64_t e = c.ptr[j]; e < c.ptr[j + 1]; ++e) col.push_back(j);
  std::vector<core::CompensatedRow> coo(c.n);
  for (std::int64_t i = 0; i < c.n; ++i) coo[i] = core::CompensatedRow::start(c.b[i]);
  core::subtract_entries(c.row, col, c.a, true, c.x.data(), coo.data());
  for (std::int64_t i = 0; i < c.n; ++i) EXPECT_TRUE(coo[i].value() == plain[i].value()) << i;
}

// Gamma: twice gamma_K^2 for K = 2 (entries + 1) terms; past K u = 1/2 no bound.
TEST(CompensatedResidual, GammaIsTwiceTheSquareOfGammaK) {
  const double u = core::kUnitRoundoff;
  const double k = 2 * (20 + 1);
  EXPECT_DOUBLE_EQ(core::compensated_gamma(20), 2 * std::pow(k * u / (1 - k * u), 2));
  EXPECT_TRUE(std::isinf(core::compensated_gamma(std::int64_t{1} << 53)));
}

}  // namespace
