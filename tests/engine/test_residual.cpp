// The engine's residual and backward error on a whole sparse system against
// a second route: the dense matrix of the same entries, with a residual
// planted in the right-hand side. And the ordering the automatic choice takes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "engine/analysis.hpp"
#include "engine/numeric.hpp"
#include "tests/engine/support.hpp"

namespace {

using engine_test::cld;
using engine_test::Coo;
using engine_test::random_system;
using engine_test::zcomplex;

long double magnitude(cld z) { return std::fabs(z.real()) + std::fabs(z.imag()); }

TEST(EngineResidual, PlantedResidualAndBackwardErrorByTheDenseMatrix) {
  const Coo a = random_system(60, 150, 7);
  const engine::Index n = a.pattern.n;
  const std::vector<cld> m = engine_test::dense(a);
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<zcomplex> x(static_cast<std::size_t>(n)), b(x.size()), r(x.size());
  std::vector<cld> planted(x.size());
  for (auto& v : x) v = {u(gen), u(gen)};
  // b = A x + d, with d of relative size 1e-6: far above the rounding of b.
  std::vector<long double> size(x.size(), 0);
  for (engine::Index i = 0; i < n; ++i) {
    cld ax = 0;
    for (engine::Index j = 0; j < n; ++j) {
      const cld xj(x[j].re, x[j].im);
      ax += m[i * n + j] * xj;
      size[i] += magnitude(m[i * n + j]) * magnitude(xj);
    }
    const cld bi = ax + cld(1e-6 * u(gen), 1e-6 * u(gen)) * magnitude(ax);
    b[i] = {static_cast<double>(bi.real()), static_cast<double>(bi.imag())};
    planted[i] = cld(b[i].re, b[i].im) - ax;  // the residual b really carries, after rounding b
  }
  const engine::detail::InputMatrix input = engine::detail::input_matrix(a.pattern);
  std::vector<zcomplex> summed(input.lower.row.size(), zcomplex{0, 0});
  for (std::size_t k = 0; k < a.values.size(); ++k) summed[input.slot[k]] += a.values[k];
  const double omega = engine::detail::residual(input.lower, summed.data(), x.data(), b.data(), r.data());
  // Two threads sum the same halves in the same order: the same bits.
  std::vector<zcomplex> r2(x.size());
  const double omega2 = engine::detail::residual(input.lower, summed.data(), x.data(), b.data(), r2.data(), 2);
  EXPECT_EQ(omega2, omega);
  for (engine::Index i = 0; i < n; ++i) {
    EXPECT_EQ(r2[i].re, r[i].re) << i;
    EXPECT_EQ(r2[i].im, r[i].im) << i;
  }
  const double eps = std::numeric_limits<double>::epsilon();
  long double expected = 0;
  for (engine::Index i = 0; i < n; ++i) {
    // Both routes sum the same products in extended precision, in other
    // orders, and round to double once: a few units of the row's size.
    const long double slack = 4 * eps * (size[i] + magnitude(cld(b[i].re, b[i].im)));
    EXPECT_NEAR(r[i].re, static_cast<double>(planted[i].real()), static_cast<double>(slack)) << i;
    EXPECT_NEAR(r[i].im, static_cast<double>(planted[i].imag()), static_cast<double>(slack)) << i;
    expected = std::max(expected, magnitude(planted[i]) / (size[i] + magnitude(cld(b[i].re, b[i].im))));
  }
  // The numerators are 1e-6 of the rows' sizes: a relative 1e-6 x 4 eps
  // error of r and n eps of the sums leave omega good to 1e-9 relative.
  EXPECT_NEAR(omega, static_cast<double>(expected), 1e-9 * static_cast<double>(expected));
  EXPECT_GT(omega, 1e-8);
}

TEST(EngineResidual, TheAutomaticOrderingIsTheGridsWhereTheGridIsKnown) {
  Coo a = random_system(5, 6, 1);
  engine::GridPlaces places{1, 1, {0, 1, 2, 0, 1}, {0, 0, 0, 2, 1}};
  engine::Options o;  // automatic
  o.grid = &places;
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(a.pattern, o);
  EXPECT_EQ(s->statistics().ordering, "geometric nested dissection");
  o.grid = nullptr;
  s->analyse(a.pattern, o);
  EXPECT_EQ(s->statistics().ordering, "METIS nested dissection");
}

}  // namespace
