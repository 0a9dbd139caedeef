// Refinement on a badly conditioned finite-element system: a shaley-sand
// sample of 11 x 15 cells, 3.9 m, water of 0.12 Pa s, at 53 kHz.  The
// unpivoted factorisation alone is off in the sample's compliance, the
// refined solution agrees with a pivoted elimination in long double.
#include <gtest/gtest.h>
#include <unistd.h>

#include <complex>
#include <cstdlib>
#include <fstream>

#include "bench/yale/deck_system.hpp"
#include "core/capacities.hpp"
#include "run_program.hpp"
#include "tests/yale/support.hpp"
#include "yale/refinement.hpp"

namespace {

using core::zcomplex;
using cld = std::complex<long double>;

// Gaussian elimination with partial pivoting in long double on the dense
// matrix; rows exchange within the band of the natural numbering, so the
// work stays in the band (kl below, 2 kl above after the exchanges); three
// steps of refinement with residuals in quadruple precision follow.
std::vector<cld> pivoted_solve(const yale_bench::DeckSystem& s) {
  const int32_t n = s.n;
  std::vector<cld> m(static_cast<std::size_t>(n) * n), x, b;
  std::vector<int32_t> piv(static_cast<std::size_t>(n));
  for (const zcomplex& v : s.b) b.push_back({v.re, v.im});
  int32_t kl = 0;
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t e = s.ia[i - 1]; e < s.ia[i]; ++e) {
      const int32_t j = s.ja[e - 1];
      m[(i - 1) * std::size_t(n) + j - 1] = {s.a[e - 1].re, s.a[e - 1].im};
      kl = std::max(kl, std::abs(i - j));
    }
  auto at = [&](int32_t i, int32_t j) -> cld& { return m[i * std::size_t(n) + j]; };
  for (int32_t k = 0; k < n; ++k) {
    const int32_t last = std::min(n - 1, k + kl), right = std::min(n - 1, k + 2 * kl);
    int32_t& p = piv[k] = k;
    for (int32_t i = k + 1; i <= last; ++i)
      if (std::abs(at(i, k)) > std::abs(at(p, k))) p = i;
    for (int32_t j = k; j <= right; ++j) std::swap(at(k, j), at(p, j));
    for (int32_t i = k + 1; i <= last; ++i) {
      at(i, k) /= at(k, k);
      for (int32_t j = k + 1; j <= right; ++j) at(i, j) -= at(i, k) * at(k, j);
    }
  }
  auto solve = [&](std::vector<cld> y) {
    for (int32_t k = 0; k < n; ++k) {
      std::swap(y[k], y[piv[k]]);
      for (int32_t i = k + 1; i <= std::min(n - 1, k + kl); ++i) y[i] -= at(i, k) * y[k];
    }
    for (int32_t k = n - 1; k >= 0; --k) {
      for (int32_t j = k + 1; j <= std::min(n - 1, k + 2 * kl); ++j) y[k] -= at(k, j) * y[j];
      y[k] /= at(k, k);
    }
    return y;
  };
  x = solve(b);
  for (int step = 0; step < 3; ++step) {  // residuals in quadruple precision
    std::vector<cld> r(static_cast<std::size_t>(n));
    for (int32_t i = 1; i <= n; ++i) {
      __float128 re = s.b[i - 1].re, im = s.b[i - 1].im;
      for (int32_t e = s.ia[i - 1]; e < s.ia[i]; ++e) {
        const cld xj = x[s.ja[e - 1] - 1];
        const __float128 ar = s.a[e - 1].re, ai = s.a[e - 1].im, xr = xj.real(), xi = xj.imag();
        re -= ar * xr - ai * xi;
        im -= ar * xi + ai * xr;
      }
      r[i - 1] = {static_cast<long double>(re), static_cast<long double>(im)};
    }
    const std::vector<cld> d = solve(r);
    for (int32_t i = 0; i < n; ++i) x[i] += d[i];
  }
  return x;
}

cld compliance(const yale_bench::DeckSystem& s, const std::vector<cld>& z) {
  cld c = 0;
  for (int32_t i = 0; i < s.n; ++i) c += cld(s.b[i].re, s.b[i].im) * z[i];
  return c;
}
cld compliance(const yale_bench::DeckSystem& s, const std::vector<zcomplex>& z) {
  std::vector<cld> w;
  for (const zcomplex& v : z) w.push_back(yale_test::to_c(v));
  return compliance(s, w);
}

TEST(Refinement, BadlyConditionedDeckAgreesWithPivotedLongDoubleElimination) {
  char dir[] = "/tmp/refinement_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  ASSERT_EQ(chdir(dir), 0);  // the coefficient routines write their plotting files
  support::Deck d = support::deck_lines("shale.deck");
  for (auto [record, text] : std::vector<std::pair<int, const char*>>{
           {1, "5.3e4"}, {4, "3.9"}, {5, "11"}, {6, "15"}, {10, "8"}, {13, "0.12"}, {30, "7"}, {33, "0.12"}})
    d = support::with_record(d, record, text);
  std::ofstream("deck") << support::join(d);
  const auto s = yale_bench::deck_system("deck", drivers::kCompressionalSetup);
  ASSERT_TRUE(s.has_value());

  yale_test::Solve<zcomplex> solver(yale_bench::Pattern{s->n, s->ia, s->ja}, s->a);
  std::vector<zcomplex> z(static_cast<std::size_t>(s->n)), r(z);
  ASSERT_EQ(solver.order(), 0);
  ASSERT_EQ(solver.factor(1, s->b, z), 0);
  const cld unrefined = compliance(*s, z);
  const yale::YaleMatrix A{s->n, std::span<const int32_t>(s->ia), std::span<const int32_t>(s->ja),
                          std::span<const zcomplex>(s->a)};
  const yale::Refined refined = yale::refine(A, std::span<const zcomplex>(s->b), std::span<zcomplex>(z),
                                             std::span<zcomplex>(r), [&](yale::Vec1<zcomplex> v) {
                                               std::vector<zcomplex> rhs(v.data(), v.data() + s->n);
                                               int32_t flag = 0;
                                               yale::zndrv(s->n, solver.perm, solver.perm, solver.iperm, s->ia,
                                                           s->ja, s->a, rhs, std::span<zcomplex>(v.data(), s->n),
                                                           solver.nwork, solver.ws, solver.esp, 3, flag);
                                             });
  const cld exact = compliance(*s, pivoted_solve(*s));
  EXPECT_GE(std::abs(unrefined - exact) / std::abs(exact), 1e-8) << "not the badly conditioned case";
  EXPECT_LE(std::abs(compliance(*s, z) - exact) / std::abs(exact), 1e-12);
  EXPECT_LE(refined.backward_error, 2 * std::numeric_limits<double>::epsilon());
  EXPECT_GE(refined.steps, 1);
  std::system((std::string("rm -rf ") + dir).c_str());
}

}  // namespace
