// The reduced sweep of the periodic test against direct solves: all six
// components and their partners within the certified bounds on layered,
// inclined (normal-shear coupling) and random samples; a basis too small
// caught by the certificate; the system split by frequency against the
// assembled torus system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "support.hpp"
#include "tensor/reduced_periodic.hpp"
#include "tensor/test_system.hpp"

namespace {

using namespace tensor_test;
using core::zcomplex;
using tensor::Stiffness;
using tensor::StiffnessBounds;

constexpr double kU = std::numeric_limits<double>::epsilon() / 2;

tensor::ReducedStiffness periodic_sweep(const tensor::Sample& s, const std::vector<double>& f, double tolerance,
                                        int max_full = 0) {
  engine::Options eo;
  eo.threads = 1;
  tensor::StiffnessComputation comp(s, engine::make_solver(engine::Backend::own), eo,
                                    {true, true, tensor::Boundary::periodic});
  tensor::SweepOptions so;
  so.tolerance = tolerance;
  so.max_full_solves = max_full;
  return tensor::reduced_periodic_stiffness(s, tensor::cell_law_terms(s), *comp.periodic_grid(), comp.solver(), f,
                                            so);
}

// A component, its bound, and whether the bound is relative to the largest
// diagonal modulus (the couplings) rather than to the component itself.
struct Component {
  zcomplex Stiffness::*value;
  double StiffnessBounds::*bound;
  bool to_diagonal;
  const char* name;
};
const Component kComponents[] = {
    {&Stiffness::c11, &StiffnessBounds::c11, false, "C11"}, {&Stiffness::c13, &StiffnessBounds::c13, false, "C13"},
    {&Stiffness::c31, &StiffnessBounds::c13, false, "C31"}, {&Stiffness::c33, &StiffnessBounds::c33, false, "C33"},
    {&Stiffness::c55, &StiffnessBounds::c55, false, "C55"}, {&Stiffness::c15, &StiffnessBounds::c15, true, "C15"},
    {&Stiffness::c51, &StiffnessBounds::c15, true, "C51"},  {&Stiffness::c35, &StiffnessBounds::c35, true, "C35"},
    {&Stiffness::c53, &StiffnessBounds::c35, true, "C53"}};

double diagonal(const Stiffness& c) { return std::max({core::cabs(c.c11), core::cabs(c.c33), core::cabs(c.c55)}); }

// The absolute bound a row reports on a component.
double absolute_bound(const Stiffness& c, const Component& m) {
  return c.bounds.*m.bound * (m.to_diagonal ? diagonal(c) : core::cabs(c.*m.value));
}

struct Comparison {
  double worst_ratio = 0;  // bound / difference where the difference is above the direct run's bound
  int above_tolerance = 0, caught = 0;
};

// Every component of the sweep within its bound plus the direct run's. The
// couplings' bounds are normwise (relative to the largest diagonal modulus):
// their ratio is taken against the tensor's largest difference.
Comparison compare(const tensor::Sample& s, const std::vector<double>& f, const tensor::ReducedStiffness& r,
                   double tolerance, const char* what) {
  const std::vector<Stiffness> d = tensor_at(s, f, tensor::Boundary::periodic);
  Comparison out;
  for (std::size_t k = 0; k < f.size(); ++k) {
    double largest = 0;
    for (const Component& m : kComponents) largest = std::max(largest, core::cabs(r.rows[k].*m.value - d[k].*m.value));
    for (const Component& m : kComponents) {
      const double diff = core::cabs(r.rows[k].*m.value - d[k].*m.value);
      const double red = absolute_bound(r.rows[k], m), dir = absolute_bound(d[k], m);
      EXPECT_LE(diff, red + dir) << what << " " << m.name << " at " << f[k] << " Hz";
      const double against = m.to_diagonal ? largest : diff;
      if (diff > 100 * dir) out.worst_ratio = std::max(out.worst_ratio, red / against);
      const double scale = m.to_diagonal ? diagonal(d[k]) : core::cabs(d[k].*m.value);
      if (diff > tolerance * scale) {
        ++out.above_tolerance;
        out.caught += r.rows[k].bounds.*m.bound > tolerance;
      }
    }
  }
  return out;
}

tensor::Sample stripes45(int64_t n) {
  return with_map(ice_materials(), n, n, 0.01, [](int64_t j, int64_t k) { return (j - k + 600) % 6 < 3 ? 1 : 2; });
}

std::vector<double> random_frequencies(unsigned seed, int count) {
  std::mt19937 rng(seed);
  std::vector<double> f;
  for (int i = 0; i < count; ++i) f.push_back(std::pow(10.0, -2.0 + 6.0 * static_cast<double>(rng() % 10000) / 1e4));
  return f;
}

TEST(ReducedPeriodicSweep, MatchesDirectSolvesOnLayeredInclinedAndRandomSamples) {
  std::mt19937 rng(9);
  const tensor::Sample layered = with_map(ice_materials(), 4, 8, 0.01, [](int64_t, int64_t k) { return k <= 3 ? 1 : 2; });
  const tensor::Sample random =
      with_map(ice_materials(), 7, 5, 0.01, [&](int64_t, int64_t) { return 1 + static_cast<int>(rng() % 2); });
  unsigned seed = 3;
  for (const auto& [s, what] : {std::pair{layered, "layered"}, {stripes45(6), "inclined"}, {random, "random"}}) {
    const std::vector<double> f = random_frequencies(seed++, 9);
    const tensor::ReducedStiffness r = periodic_sweep(s, f, 1e-8);
    compare(s, f, r, 1e-8, what);
    for (const Stiffness& row : r.rows) {
      EXPECT_LE(tensor::worst_bound(row.bounds), 1e-8) << what;
      EXPECT_TRUE(std::isnan(row.bounds.condition)) << what;
    }
    EXPECT_LT(r.full_solves_hz.size(), f.size()) << what;
    if (std::string(what) == "inclined") {  // the coupling is there to be checked
      EXPECT_GT(core::cabs(r.rows[0].c15), 1e-3 * diagonal(r.rows[0]));
    }
  }
}

// One full solve for six decades: the certificate must say where the space
// is too small, and its bounds stay within 100 x of the true differences.
TEST(ReducedPeriodicSweep, CertificateCatchesABasisTooSmall) {
  // (Layered and inclined stripes of this size are served by one solve to
  // 1e-12: their fields hardly leave the space of its derivatives.)
  std::mt19937 rng(9);
  const tensor::Sample s =
      with_map(ice_materials(), 8, 8, 0.01, [&](int64_t, int64_t) { return 1 + static_cast<int>(rng() % 2); });
  const std::vector<double> f = {0.01, 0.3, 3, 30, 300, 3000, 1e4};
  const tensor::ReducedStiffness r = periodic_sweep(s, f, 1e-8, 1);
  ASSERT_EQ(r.full_solves_hz.size(), 1u);
  const Comparison c = compare(s, f, r, 1e-8, "one solve");
  EXPECT_GT(c.above_tolerance, 0);  // one solve does not serve six decades
  EXPECT_EQ(c.caught, c.above_tolerance);
  EXPECT_LE(c.worst_ratio, 100.0);
}

// The parts by frequency add up to the assembled torus system: matrix,
// loads and the affine energy, to a few roundings of the largest entry.
TEST(ReducedPeriodicSweep, SystemSplitByFrequencyEqualsTheAssembledOne) {
  const tensor::Sample s = stripes45(6);
  const tensor::PeriodicGrid g(s.nx, s.ny, s.h);
  const tensor::CellLawTerms terms = tensor::cell_law_terms(s);
  const tensor::PeriodicFrequencySystem p = tensor::periodic_frequency_system(g, s, terms);
  for (double hz : {1e-3, 7.0, 3e4}) {
    const double omega = 6.283185307179586 * hz;
    tensor::PeriodicSystem sys;
    tensor::assemble_periodic(g, tensor::cell_coefficients(s, omega), omega, sys);
    const std::vector<zcomplex> theta = p.system.coefficients(omega);
    auto expect_sum = [&](const std::vector<std::vector<double>>& parts, const std::vector<zcomplex>& whole,
                          const char* what) {
      double worst = 0, largest = 0;
      for (std::size_t e = 0; e < whole.size(); ++e) {
        zcomplex sum{0, 0};
        for (std::size_t q = 0; q < theta.size(); ++q) sum += theta[q] * parts[q][e];
        worst = std::max(worst, core::cabs(sum - whole[e])), largest = std::max(largest, core::cabs(whole[e]));
      }
      EXPECT_LE(worst, 64 * kU * largest) << what << " at " << hz << " Hz";
    };
    expect_sum(p.system.term_values, sys.values, "matrix");
    expect_sum(p.system.term_rhs, sys.rhs, "loads");
    const tensor::AffineEnergy d = tensor::affine_energy(p, theta);
    for (int a = 0; a < tensor::kStrains; ++a)
      for (int b = 0; b < tensor::kStrains; ++b)
        EXPECT_LE(core::cabs(d.value[a][b] - sys.affine[a][b]), 64 * kU * d.magnitude[a][b]) << a << b << " " << hz;
    for (const int64_t u : g.held) EXPECT_EQ(p.system.free[static_cast<std::size_t>(u)], 0);
  }
}

}  // namespace
