// Refinement on a badly conditioned finite-element system: a shaley-sand
// sample of 11 x 15 cells, 3.9 m, water of 0.12 Pa s, at 53 kHz.  Without
// refinement the unpivoted factorisation is off in the sample's compliance
// b^T z (the inverse of its modulus) by 1e-8 and more; refined, it agrees
// with a pivoted elimination in long double to 1e-12.
#include <fstream>

#include "tests/fixtures/deck_system.hpp"
#include "tests/fixtures/dense_solve.hpp"
#include "run_program.hpp"
#include "tests/yale/support.hpp"
#include "yale/refinement.hpp"

namespace {

using core::zcomplex;
using cld = std::complex<long double>;

// Partial pivoting in long double, rows exchanged within the band of the
// natural numbering, then three corrections from residuals in quadruple
// precision.
std::vector<cld> pivoted_solve(const yale_bench::DeckSystem& s) {
  const int32_t n = s.n;
  int32_t band = 0;
  std::vector<cld> m(static_cast<std::size_t>(n) * n), b;
  for (int32_t i = 0; i < n; ++i)
    for (int32_t e = s.ia[i] - 1; e < s.ia[i + 1] - 1; ++e)
      m[i * std::size_t(n) + s.ja[e] - 1] = {s.a[e].re, s.a[e].im}, band = std::max(band, std::abs(i + 1 - s.ja[e]));
  for (const zcomplex& v : s.b) b.push_back({v.re, v.im});
  std::vector<cld> x = fixtures::dense_solve(m, b, n, band);
  for (int step = 0; step < 3; ++step) {
    std::vector<cld> r(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      __float128 re = s.b[i].re, im = s.b[i].im;
      for (int32_t e = s.ia[i] - 1; e < s.ia[i + 1] - 1; ++e) {
        const __float128 ar = s.a[e].re, ai = s.a[e].im, xr = x[s.ja[e] - 1].real(), xi = x[s.ja[e] - 1].imag();
        re -= ar * xr - ai * xi, im -= ar * xi + ai * xr;
      }
      r[i] = {static_cast<long double>(re), static_cast<long double>(im)};
    }
    const std::vector<cld> d = fixtures::dense_solve(m, r, n, band);
    for (int32_t i = 0; i < n; ++i) x[i] += d[i];
  }
  return x;
}

cld as_cld(cld v) { return v; }
cld as_cld(zcomplex v) { return {v.re, v.im}; }
template <class Z>
cld compliance(const yale_bench::DeckSystem& s, const std::vector<Z>& z) {
  cld c = 0;
  for (int32_t i = 0; i < s.n; ++i) c += cld(s.b[i].re, s.b[i].im) * as_cld(z[i]);
  return c;
}

TEST(Refinement, BadlyConditionedDeckAgreesWithPivotedLongDoubleElimination) {
  const support::ScratchDir dir("refinement");
  support::Deck d = support::deck_lines("shale.deck");
  for (auto [record, text] : std::vector<std::pair<int, const char*>>{
           {1, "5.3e4"}, {4, "3.9"}, {5, "11"}, {6, "15"}, {10, "8"}, {13, "0.12"}, {30, "7"}, {33, "0.12"}})
    d = support::with_record(d, record, text);
  std::ofstream(dir / "deck") << support::join(d);
  const auto s = yale_bench::deck_system(dir / "deck", drivers::kCompressionalSetup);
  ASSERT_TRUE(s.has_value());

  yale_test::Solve<zcomplex> f(yale_bench::Pattern{s->n, s->ia, s->ja}, s->a);
  std::vector<zcomplex> z(static_cast<std::size_t>(s->n)), r(z);
  ASSERT_EQ(f.order_and_factor(s->b, z), 0);
  const cld unrefined = compliance(*s, z), exact = compliance(*s, pivoted_solve(*s));
  const yale::YaleMatrix A{s->n, std::span<const int32_t>(s->ia), std::span<const int32_t>(s->ja),
                           std::span<const zcomplex>(s->a)};
  const yale::Refined refined =
      yale::refine(A, std::span<const zcomplex>(s->b), std::span<zcomplex>(z), std::span<zcomplex>(r),
                   [&](yale::Vec1<zcomplex> v) { f.factor(3, std::vector<zcomplex>(v.data(), v.data() + s->n), r); });
  EXPECT_GE(std::abs(unrefined - exact) / std::abs(exact), 1e-8) << "not the badly conditioned case";
  EXPECT_LE(std::abs(compliance(*s, z) - exact) / std::abs(exact), 1e-12);
  EXPECT_LE(refined.backward_error, 2 * std::numeric_limits<double>::epsilon());
  EXPECT_GE(refined.steps, 1);
}

}  // namespace
