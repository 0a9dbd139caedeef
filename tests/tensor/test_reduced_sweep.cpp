// The reduced sweep over frequency against direct solves: its results
// within its certified bounds, the bounds not far above the true error, a
// basis too small caught by the certificate, the frequencies' order without
// effect; and its parts: the system split by frequency against the
// assembled one, the small dense solve, the semidefinite check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "support.hpp"
#include "tensor/io.hpp"
#include "tensor/options.hpp"
#include "tensor/reduced_basis.hpp"
#include "tensor/reduced_stiffness.hpp"
#include "tensor/test_system.hpp"

namespace {

using namespace tensor_test;
using core::zcomplex;

constexpr double kTwoPi = 6.283185307179586;
constexpr double kU = std::numeric_limits<double>::epsilon() / 2;

tensor::ReducedStiffness sweep(const tensor::Sample& s, const std::vector<double>& freqs, double tolerance,
                               int max_full = 0) {
  engine::Options eo;
  eo.threads = 1;
  tensor::StiffnessComputation comp(s, engine::make_solver(engine::Backend::own), eo, {});
  tensor::SweepOptions so;
  so.tolerance = tolerance;
  so.max_full_solves = max_full;
  return tensor::reduced_stiffness(s, tensor::cell_law_terms(s), comp.grid(), comp.biaxial(), comp.shear(), {},
                                   comp.solver(), freqs, so);
}

std::vector<double> random_frequencies(unsigned seed, int count) {
  std::mt19937 rng(seed);
  std::vector<double> f;
  for (int i = 0; i < count; ++i) f.push_back(std::pow(10.0, -2.0 + 6.0 * static_cast<double>(rng() % 10000) / 1e4));
  return f;
}

struct Modulus {
  zcomplex tensor::Stiffness::*value;
  double tensor::StiffnessBounds::*bound;
  const char* name;
};
const Modulus kModuli[] = {{&tensor::Stiffness::c11, &tensor::StiffnessBounds::c11, "C11"},
                           {&tensor::Stiffness::c13, &tensor::StiffnessBounds::c13, "C13"},
                           {&tensor::Stiffness::c33, &tensor::StiffnessBounds::c33, "C33"},
                           {&tensor::Stiffness::c55, &tensor::StiffnessBounds::c55, "C55"}};

double distance(zcomplex a, zcomplex b) { return std::hypot(a.re - b.re, a.im - b.im); }
double size(zcomplex a) { return std::hypot(a.re, a.im); }

// Every modulus of the sweep within its bound plus the direct run's of the
// direct one; returns the largest ratio bound / difference where the
// difference is well above the direct run's own bound.
double expect_certified(const tensor::Sample& s, const std::vector<double>& freqs, const tensor::ReducedStiffness& r,
                        const char* what) {
  const std::vector<tensor::Stiffness> d = tensor_at(s, freqs);
  double worst_ratio = 0;
  for (std::size_t k = 0; k < freqs.size(); ++k)
    for (const Modulus& m : kModuli) {
      const zcomplex red = r.rows[k].*m.value, dir = d[k].*m.value;
      const double red_bound = r.rows[k].bounds.*m.bound * size(red), dir_bound = d[k].bounds.*m.bound * size(dir);
      const double diff = distance(red, dir);
      EXPECT_LE(diff, red_bound + dir_bound) << what << " " << m.name << " at " << freqs[k] << " Hz";
      if (diff > 100 * dir_bound) worst_ratio = std::max(worst_ratio, red_bound / diff);
    }
  return worst_ratio;
}

TEST(ReducedSweep, MatchesDirectSolvesWithinItsBoundOnLayeredRandomAndImageSamples) {
  const tensor::Sample base = ice_materials();
  std::mt19937 rng(5);
  const tensor::Sample layered = with_map(base, 6, 8, 0.01, [](int64_t, int64_t k) { return k <= 3 ? 1 : 2; });
  const tensor::Sample random = with_map(base, 7, 6, 0.01, [&](int64_t, int64_t) { return 1 + static_cast<int>(rng() % 2); });
  const tensor::Sample image = tensor::read_sample_file(example("patchy_ice/sample.toml"));
  const tensor::Sample patch = with_map(image, 8, 8, 4 * image.h, [&](int64_t j, int64_t k) {
    return image.material_of_cell[static_cast<std::size_t>((4 * j - 4) + (4 * k - 4) * image.nx)];
  });
  unsigned seed = 1;
  for (const auto& [s, what] : {std::pair{layered, "layered"}, {random, "random"}, {patch, "image"}}) {
    const std::vector<double> f = random_frequencies(seed++, 9);
    const tensor::ReducedStiffness r = sweep(s, f, 1e-8);
    expect_certified(s, f, r, what);
    for (const tensor::Stiffness& row : r.rows) EXPECT_LE(tensor::worst_bound(row.bounds), 1e-8) << what;
    EXPECT_LT(r.full_solves_hz.size(), 2 * f.size()) << what;  // fewer factorisations than direct solves
  }
}

// One full solve per test: the space is too small away from it, and the
// certificate says so: every error within its bound, the bounds above the
// tolerance wherever the error is, and within 100 x of the error.
TEST(ReducedSweep, CertificateCatchesABasisTooSmall) {
  const tensor::Sample s = with_map(ice_materials(), 6, 8, 0.01, [](int64_t, int64_t k) { return k <= 4 ? 1 : 2; });
  const std::vector<double> f = {0.01, 0.3, 3, 30, 300, 3000, 1e4};
  const tensor::ReducedStiffness r = sweep(s, f, 1e-8, 1);
  ASSERT_EQ(r.full_solves_hz.size(), 2u);
  const std::vector<tensor::Stiffness> d = tensor_at(s, f);
  int caught = 0;
  for (std::size_t k = 0; k < f.size(); ++k)
    for (const Modulus& m : kModuli) {
      const double rel_error = distance(r.rows[k].*m.value, d[k].*m.value) / size(d[k].*m.value);
      const double bound = r.rows[k].bounds.*m.bound;
      if (rel_error > 1e-8) {
        EXPECT_GT(bound, 1e-8) << m.name << " at " << f[k];
        ++caught;
      }
    }
  EXPECT_GT(caught, 0);  // the test has a point: one solve does not serve 6 decades
  const double ratio = expect_certified(s, f, r, "one solve");
  EXPECT_LE(ratio, 100.0);
}

TEST(ReducedSweep, FrequencyOrderDoesNotChangeTheResults) {
  const tensor::Sample s = with_map(ice_materials(), 5, 6, 0.01, [](int64_t j, int64_t k) { return (j + k) % 3 ? 1 : 2; });
  std::vector<double> f = random_frequencies(17, 8);
  const tensor::ReducedStiffness a = sweep(s, f, 1e-8);
  std::vector<double> g(f.rbegin(), f.rend());
  std::rotate(g.begin(), g.begin() + 3, g.end());
  const tensor::ReducedStiffness b = sweep(s, g, 1e-8);
  for (std::size_t k = 0; k < f.size(); ++k) {
    const std::size_t at = static_cast<std::size_t>(std::find(g.begin(), g.end(), f[k]) - g.begin());
    for (const Modulus& m : kModuli) {
      const zcomplex x = a.rows[k].*m.value, y = b.rows[at].*m.value;
      // Both within 1e-8 of the exact value by their certificates.
      EXPECT_LE(distance(x, y), (a.rows[k].bounds.*m.bound + b.rows[at].bounds.*m.bound) * size(x)) << m.name;
    }
  }
}

// The parts of the system by frequency add up to the assembled system.
TEST(ReducedSweep, SystemSplitByFrequencyEqualsTheAssembledOne) {
  for (const tensor::LameRelations lame : {tensor::LameRelations::two_d, tensor::LameRelations::three_d}) {
    tensor::Sample s = with_map(ice_materials(), 4, 5, 0.01, [](int64_t j, int64_t) { return j <= 2 ? 1 : 2; });
    s.lame = lame;
    const tensor::GridSystem g(s.nx, s.ny, s.h);
    const tensor::TestSetup biaxial = tensor::biaxial_test(g);
    const tensor::CellLawTerms terms = tensor::cell_law_terms(s);
    EXPECT_EQ(terms.groups.size(), 2u);
    EXPECT_EQ(tensor::reduced_refusal(s, terms), "");
    const tensor::FrequencySystem fs = tensor::test_system(g, biaxial, tensor::TestKindOf::biaxial, s, terms);
    for (double hz : {1e-3, 7.0, 3e4}) {
      const double omega = kTwoPi * hz;
      std::vector<zcomplex> a, b;
      fs.assemble(omega, a, b);
      const std::vector<zcomplex> theta = fs.coefficients(omega);
      // Normwise: entries that cancel between neighbouring cells keep the
      // rounding of the element sums; a handful of roundings per entry.
      double worst_a = 0, largest_a = 0;
      for (std::size_t e = 0; e < a.size(); ++e) {
        zcomplex sum{0, 0};
        for (std::size_t q = 0; q < theta.size(); ++q) sum += theta[q] * fs.term_values[q][e];
        worst_a = std::max(worst_a, distance(sum, a[e])), largest_a = std::max(largest_a, size(a[e]));
      }
      EXPECT_LE(worst_a, 64 * kU * largest_a) << hz << " Hz";
      const auto l = tensor::functionals_at(fs, theta);
      const tensor::PlateFunctionals pf =
          tensor::plate_functionals(g, biaxial, tensor::cell_coefficients(s, omega), omega);
      double worst = 0, largest = 0;
      for (std::size_t i = 0; i < l[0].size(); ++i)
        worst = std::max(worst, distance(l[0][i], pf.right[i])), largest = std::max(largest, size(pf.right[i]));
      EXPECT_LE(worst, 64 * kU * largest) << hz << " Hz";
    }
  }
}

TEST(ReducedSweep, DenseSolveLeavesARoundingResidual) {
  std::mt19937 rng(3);
  const std::size_t r = 9;
  std::vector<zcomplex> m(r * r), b(r * 2);
  for (auto& v : m) v = {static_cast<double>(rng() % 1000) - 500.0, static_cast<double>(rng() % 1000) - 500.0};
  for (auto& v : b) v = {static_cast<double>(rng() % 100), -1.0};
  std::vector<zcomplex> x = b;
  ASSERT_TRUE(tensor::dense_solve(m, r, x, 2));
  for (std::size_t j = 0; j < 2; ++j)
    for (std::size_t i = 0; i < r; ++i) {
      zcomplex s = b[j * r + i];
      double scale = size(s);
      for (std::size_t c = 0; c < r; ++c) s -= m[c * r + i] * x[j * r + c], scale += size(m[c * r + i]) * size(x[j * r + c]);
      EXPECT_LE(size(s), 1e3 * kU * scale);  // backward stable: growth of a 9 x 9 elimination
    }
  std::vector<zcomplex> singular(r * r, zcomplex{0, 0});
  EXPECT_FALSE(tensor::dense_solve(singular, r, x, 2));
}

TEST(ReducedSweep, RefusesACellLawThatIsNotSemidefinite) {
  const tensor::Sample s = with_map(ice_materials(), 3, 3, 0.01, [](int64_t, int64_t) { return 1; });
  tensor::CellLawTerms t = tensor::cell_law_terms(s);
  EXPECT_EQ(tensor::reduced_refusal(s, t), "");
  for (const core::CellCoefficients& c : t.unit) EXPECT_TRUE(tensor::energy_semidefinite(c));
  t.fixed[4].mu1 = -1e6;
  EXPECT_NE(tensor::reduced_refusal(s, t).find("cell j,k = 2,2"), std::string::npos);
  t = tensor::cell_law_terms(s);
  t.friction[0].f12 = 2 * std::sqrt(t.friction[0].f11 * t.friction[0].f22);  // f12^2 > f11 f22
  EXPECT_NE(tensor::reduced_refusal(s, t), "");
  EXPECT_NE(tensor::reduced_refusal(s, t, 0).find("distinct viscous cell laws"), std::string::npos);
}

TEST(ReducedSweep, EnergyRatioIsTheSmallestCoefficientRatio) {
  const std::vector<zcomplex> ref{{1, 0}, {0, 10}, {4, 0}}, at{{1, 0}, {0, 5}, {3, 0}};
  EXPECT_DOUBLE_EQ(tensor::energy_ratio(at, ref), 0.5);
  EXPECT_DOUBLE_EQ(tensor::energy_ratio(ref, ref), 1.0);
}

TEST(ReducedSweep, OptionsOfTheMethod) {
  const char* ok[] = {"tensor_upscale", "x.deck", "--frequency-method", "direct", "--reduced-tolerance", "1e-10"};
  const tensor::Options o = tensor::parse_options(6, ok);
  EXPECT_EQ(o.frequency_method, tensor::FrequencyMethod::direct);
  EXPECT_EQ(o.reduced_tolerance, 1e-10);
  const char* bad_method[] = {"tensor_upscale", "x.deck", "--frequency-method", "krylov"};
  EXPECT_THROW(tensor::parse_options(4, bad_method), std::invalid_argument);
  const char* bad_tol[] = {"tensor_upscale", "x.deck", "--reduced-tolerance", "0.5"};
  EXPECT_THROW(tensor::parse_options(4, bad_tol), std::invalid_argument);
}

}  // namespace
