// The reduced sweep over frequency against direct solves of the systems
// assembled at each frequency, for the sealed tests (under both Lame
// relations) and the periodic one: its results within its certified bounds
// (so the system split by frequency is the assembled one), the bounds not
// far above the true error, a basis too small caught by the certificate,
// the frequencies' order without effect; and the semidefinite check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "support.hpp"
#include "tensor/io.hpp"
#include "tensor/reduced_basis.hpp"
#include "tensor/test_system.hpp"

namespace {

using namespace tensor_test;
using core::zcomplex;
using tensor::Boundary;

struct Comparison {
  double worst_ratio = 0;  // bound / difference where the difference is above the direct run's bound
  int above_tolerance = 0, caught = 0;
};

// Every component of the sweep within its bound plus the direct run's. The
// couplings' bounds are normwise (relative to the largest diagonal modulus):
// their ratio is taken against the tensor's largest difference.
Comparison compare(const tensor::Sample& s, const std::vector<double>& f, const tensor::ReducedStiffness& r,
                   double tolerance, const std::string& what, Boundary boundary) {
  const std::vector<Stiffness> d = tensor_at(s, f, boundary);
  Comparison out;
  for (std::size_t k = 0; k < f.size(); ++k) {
    double largest = 0;
    for (const Component& m : components(boundary))
      largest = std::max(largest, core::cabs(r.rows[k].*m.value - d[k].*m.value));
    for (const Component& m : components(boundary)) {
      const double diff = core::cabs(r.rows[k].*m.value - d[k].*m.value);
      const double red = absolute_bound(r.rows[k], m), dir = absolute_bound(d[k], m);
      EXPECT_LE(diff, red + dir) << what << " " << m.name << " at " << f[k] << " Hz";
      if (diff > 100 * dir) out.worst_ratio = std::max(out.worst_ratio, red / (m.to_diagonal ? largest : diff));
      if (diff > tolerance * (m.to_diagonal ? diagonal(d[k]) : core::cabs(d[k].*m.value))) {
        ++out.above_tolerance;
        out.caught += r.rows[k].bounds.*m.bound > tolerance;
      }
    }
  }
  return out;
}

TEST(ReducedSweep, MatchesDirectSolvesWithinItsBound) {
  const tensor::Sample image = tensor::read_sample_file(example("patchy_ice/sample.toml"));
  const tensor::Sample patch = with_map(image, 8, 8, 4 * image.h, [&](int64_t j, int64_t k) { return at(image, 4 * j - 3, 4 * k - 3); });
  const auto layers = [](int64_t nx, tensor::LameRelations lame) {
    tensor::Sample s = with_map(ice_materials(), nx, 8, 0.01, [](int64_t, int64_t k) { return k <= 3 ? 1 : 2; });
    s.lame = lame;
    return s;
  };
  using enum tensor::LameRelations;
  const struct {
    tensor::Sample s;
    Boundary b;
    const char* what;
    unsigned seed;
  } cases[] = {{layers(6, three_d), Boundary::sealed, "layered", 1},         {random_map(7, 6, 5), Boundary::sealed, "random", 2},
               {patch, Boundary::sealed, "image", 3},                {layers(4, two_d), Boundary::periodic, "layered", 3},
               {stripes45(6), Boundary::periodic, "inclined", 4},    {random_map(7, 5, 9), Boundary::periodic, "random", 5}};
  for (const auto& c : cases) {
    const bool periodic = c.b == Boundary::periodic;
    const std::vector<double> f = random_frequencies(c.seed, 9);
    const tensor::ReducedStiffness r = sweep(c.s, f, 1e-8, 0, c.b);
    compare(c.s, f, r, 1e-8, c.what, c.b);
    for (const Stiffness& row : r.rows) {
      EXPECT_LE(tensor::worst_bound(row.bounds), 1e-8) << c.what << periodic;
      if (periodic) {
        EXPECT_TRUE(std::isnan(row.bounds.condition)) << c.what;
      }
    }
    // Fewer factorisations than direct solves (two tests sealed, one periodic).
    EXPECT_LT(r.full_solves_hz.size(), (periodic ? 1 : 2) * f.size()) << c.what << periodic;
    if (std::string(c.what) == "inclined") {  // the coupling is there to be checked
      EXPECT_GT(core::cabs(r.rows[0].c15), 1e-3 * diagonal(r.rows[0]));
    }
    if (c.seed == 2) {  // the frequencies in another order: the same results within the bounds
      std::vector<double> g(f.rbegin(), f.rend());
      std::rotate(g.begin(), g.begin() + 3, g.end());
      const tensor::ReducedStiffness o = sweep(c.s, g, 1e-8);
      for (std::size_t k = 0; k < f.size(); ++k)
        expect_same(r.rows[k], o.rows[static_cast<std::size_t>(std::find(g.begin(), g.end(), f[k]) - g.begin())], "order");
    }
  }
}

// One full solve per test for six decades: the space is too small away from
// it, and the certificate says so: every error within its bound, the bounds
// above the tolerance wherever the error is, and within 100 x of the error.
// (Periodic layers and inclined stripes of this size are served by one solve
// to 1e-12: their fields hardly leave the space of its derivatives.)
TEST(ReducedSweep, CertificateCatchesABasisTooSmall) {
  const std::vector<double> f = {0.01, 0.3, 3, 30, 300, 3000, 1e4};
  const tensor::Sample layered = with_map(ice_materials(), 6, 8, 0.01, [](int64_t, int64_t k) { return k <= 4 ? 1 : 2; });
  for (const auto& [s, b] : {std::pair{layered, Boundary::sealed}, {random_map(8, 8, 9), Boundary::periodic}}) {
    const tensor::ReducedStiffness r = sweep(s, f, 1e-8, 1, b);
    ASSERT_EQ(r.full_solves_hz.size(), b == Boundary::sealed ? 2u : 1u);
    const Comparison c = compare(s, f, r, 1e-8, "one solve", b);
    EXPECT_GT(c.above_tolerance, 0);  // the test has a point: one solve does not serve six decades
    EXPECT_EQ(c.caught, c.above_tolerance);
    EXPECT_LE(c.worst_ratio, 100.0);
  }
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

}  // namespace
