// Refinement on a badly conditioned finite-element system: a shaley-sand
// sample of 11 x 15 cells, 3.9 m, water of 0.12 Pa s, at 53 kHz.  Without
// refinement the unpivoted factorisation leaves a componentwise backward
// error of tens of units of roundoff (its compliance b^T z off by 1e-8);
// refined, the backward error computed here independently is at the
// rounding level, as the refinement reports.
#include <fstream>

#include "tests/fixtures/deck_system.hpp"
#include "run_program.hpp"
#include "tests/yale/support.hpp"
#include "yale/refinement.hpp"

namespace {

using core::zcomplex;

// max_i |b - A z|_i / (|A| |z| + |b|)_i in extended precision, with moduli.
double backward_error(const yale_bench::DeckSystem& s, const std::vector<zcomplex>& z) {
  long double worst = 0;
  for (int32_t i = 0; i < s.n; ++i) {
    std::complex<long double> r = yale_test::to_c(s.b[i]);
    long double scale = std::abs(r);
    for (int32_t e = s.ia[i] - 1; e < s.ia[i + 1] - 1; ++e) {
      r -= yale_test::to_c(s.a[e]) * yale_test::to_c(z[s.ja[e] - 1]);
      scale += std::abs(yale_test::to_c(s.a[e])) * std::abs(yale_test::to_c(z[s.ja[e] - 1]));
    }
    worst = std::max(worst, std::abs(r) / scale);
  }
  return static_cast<double>(worst);
}

TEST(Refinement, BadlyConditionedDeckRefinedToTheRoundingLevel) {
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
  const double before = backward_error(*s, z);
  const yale::YaleMatrix A{s->n, std::span<const int32_t>(s->ia), std::span<const int32_t>(s->ja),
                           std::span<const zcomplex>(s->a)};
  const yale::Refined refined =
      yale::refine(A, std::span<const zcomplex>(s->b), std::span<zcomplex>(z), std::span<zcomplex>(r),
                   [&](yale::Vec1<zcomplex> v) { f.factor(3, std::vector<zcomplex>(v.data(), v.data() + s->n), r); });
  const double after = backward_error(*s, z);
  const double eps = std::numeric_limits<double>::epsilon();
  EXPECT_GT(before, 4 * eps) << "not the badly conditioned case";
  EXPECT_TRUE(after <= 2 * eps && refined.backward_error <= 2 * eps && refined.steps >= 1) << after << " " << refined.steps;
}

}  // namespace
