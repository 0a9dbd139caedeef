// Points on a logarithmic scale: exact ends, one ratio between neighbours.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/log_scale.hpp"

namespace {

// Each point is 10^e, e = a + (b - a) i/(n-1) from a = log10 f1 and
// b = log10 f2 in five roundings, each at most (|a| + |b|) u; an error de
// in e is ln 10 de relative in the point. The ratio of neighbours is
// (f2/f1)^(1/(n-1)) to within twice that, plus the rounding of the powers.
TEST(LogScale, EndsExactAndNeighboursInOneRatio) {
  constexpr double u = std::numeric_limits<double>::epsilon() / 2;
  struct Case {
    double f1, f2;
    long n;
  };
  for (const Case c : {Case{1e-3, 1e5, 33}, Case{0.5, 7.25, 4}, Case{10, 100, 10}, Case{2e4, 3e-2, 6}}) {
    const std::vector<double> f = core::log_scale(c.f1, c.f2, c.n);
    ASSERT_EQ(f.size(), static_cast<std::size_t>(c.n));
    EXPECT_EQ(f.front(), c.f1);
    EXPECT_EQ(f.back(), c.f2);
    const double ratio = std::pow(c.f2 / c.f1, 1.0 / static_cast<double>(c.n - 1));
    const double exponent = std::abs(std::log10(c.f1)) + std::abs(std::log10(c.f2)) + 1;
    const double tol = (2 * 5 * exponent * std::log(10.0) + 8) * u;
    for (std::size_t i = 1; i + 1 < f.size(); ++i)
      EXPECT_NEAR(f[i] / f[i - 1] / ratio, 1.0, tol) << c.f1 << ".." << c.f2 << " point " << i;
  }
  EXPECT_EQ(core::log_scale(3.0, 3.0, 1), std::vector<double>{3.0});
  EXPECT_TRUE(core::log_scale(3.0, 4.0, 0).empty());
}

}  // namespace
