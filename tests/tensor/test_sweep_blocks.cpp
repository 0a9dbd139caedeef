// The sweep's block arithmetic against one column at a time: the
// certificate's residuals (products of several columns and their
// magnitudes in one pass over the matrix) against the plain product; and
// where a certification pass solves in full next. (The reduced space and
// its solutions: the sweep against direct solves, test_reduced_sweep.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "support.hpp"
#include "tensor/reduced_sweep.hpp"
#include "tensor/sweep_residuals.hpp"
#include "tensor/test_system.hpp"

namespace {

using namespace tensor_test;
using core::zcomplex;

double size(zcomplex a) { return std::hypot(a.re, a.im); }

// A small biaxial system of two materials, kept alive with what it refers to.
struct SmallSystem {
  tensor::Sample s = with_map(ice_materials(), 4, 5, 0.01, [](int64_t j, int64_t k) { return (j + k) % 3 ? 1 : 2; });
  tensor::GridSystem g{s.nx, s.ny, s.h};
  tensor::TestSetup test = tensor::biaxial_test(g);
  tensor::CellLawTerms terms = tensor::cell_law_terms(s);
  tensor::FrequencySystem fs = tensor::test_system(g, test, tensor::TestKindOf::biaxial, s, terms);
  std::size_t n = static_cast<std::size_t>(fs.n), loads = static_cast<std::size_t>(fs.loads);
  // The block of `count` columns of n random entries, zero where prescribed.
  std::vector<zcomplex> random_block(std::mt19937& rng, std::size_t count) const {
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<zcomplex> v(count * n);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = fs.free[i % n] ? zcomplex{u(rng), u(rng)} : zcomplex{0, 0};
    return v;
  }
};

// A v by the plain product, one column at a time, and |A| |v| (moduli):
// the reference of the certificate's residuals.
void reference(const engine::Pattern& p, const std::vector<zcomplex>& a, std::span<const zcomplex> v,
               std::vector<zcomplex>& product, std::vector<double>& magnitude) {
  std::vector<double> abs_a(a.size()), abs_v(v.size());
  std::transform(a.begin(), a.end(), abs_a.begin(), size);
  std::transform(v.begin(), v.end(), abs_v.begin(), size);
  product.assign(v.size(), zcomplex{0, 0});
  magnitude.assign(v.size(), 0.0);
  tensor::symmetric_product<zcomplex, zcomplex>(p, a, v, product);
  tensor::symmetric_product<double, double>(p, abs_a, abs_v, magnitude);
}

// The residuals b - A x of the loads and l - A y of the adjoint solutions
// against the plain product, the loads' scale never below |b| + |A| |x|
// (a row of the grid sums at most 80 products: 20 unknowns of 4 cells).
TEST(SweepBlocks, ResidualsOfTheFullSystemAndTheirScale) {
  const SmallSystem sys;
  const std::size_t n = sys.n, loads = sys.loads, nf = static_cast<std::size_t>(sys.fs.functionals);
  std::vector<zcomplex> a, b;
  const double omega = kTwoPi * 0.2;
  sys.fs.assemble(omega, a, b);
  const auto l = tensor::functionals_at(sys.fs, sys.fs.coefficients(omega));
  std::mt19937 rng(5);
  const std::vector<zcomplex> x = sys.random_block(rng, loads), yhat = sys.random_block(rng, nf);
  const tensor::SweepResiduals res = tensor::sweep_residuals(sys.fs, a, b, x, yhat, l);
  const double gamma = 2 * (80 + 2) * kU;
  double backward = 0;
  std::vector<zcomplex> ax;
  std::vector<double> abs_ax;
  for (std::size_t c = 0; c < loads + nf; ++c) {
    const bool load = c < loads;
    reference(*sys.fs.pattern, a, std::span<const zcomplex>(load ? x : yhat).subspan((load ? c : c - loads) * n, n), ax, abs_ax);
    for (std::size_t i = 0; i < n; ++i) {
      const zcomplex got = res.r[c * n + i], target = load ? b[c * n + i] : l[c - loads][i];
      if (!sys.fs.free[i]) {
        EXPECT_TRUE(size(got) == 0 && (!load || res.scale[c * n + i] == 0)) << c << ", row " << i;
      } else if (load) {
        const double sc = res.scale[c * n + i];
        EXPECT_LE(size(got - (target - ax[i])), 2 * gamma * sc) << "load " << c << ", row " << i;
        EXPECT_GE(sc * (1 + gamma), size(target) + abs_ax[i]);
        backward = std::max(backward, (std::fabs(got.re) + std::fabs(got.im)) / sc);
      } else {
        EXPECT_LE(size(got - (target - ax[i])), 4 * gamma * (size(target) + abs_ax[i])) << "adjoint " << c << ", row " << i;
      }
    }
  }
  EXPECT_DOUBLE_EQ(res.backward_error, backward);
}

TEST(SweepBlocks, NextFullSolvesTakeTheWorstOfEachRunOfFailures) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::vector<double> scores;
    std::vector<bool> certified, chosen;
    std::size_t room;
    std::vector<std::size_t> expected;
  };
  const Case cases[] = {
      // Two runs of failures; the second's worst was solved in full already.
      {{0.1, 5, 7, 0.1, 3, 9, 2}, {true, false, false, true, false, false, false},
       {false, false, false, false, false, true, false}, 5, {2, 4}},
      {{0.1, 5, 7, 0.1, 3, 9, 2}, {true, false, false, true, false, false, false},
       {false, false, false, false, false, true, false}, 1, {2}},
      // Every frequency certified; a run made only of full solves.
      {{0.1, 0.2, 0.3}, {true, true, true}, {false, false, false}, 3, {}},
      {{0.1, 4, 0.3}, {true, false, true}, {false, true, false}, 3, {}},
      // No room left; a failure with no score (inf) first; ends of the range.
      {{1, 2, 3}, {false, false, false}, {false, false, false}, 0, {}},
      {{6, 0.1, inf, 8, 0.1, 9}, {false, true, false, false, true, false}, {false, false, false, false, false, false},
       4, {2, 5, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(tensor::next_full_solves(c.scores, c.certified, c.chosen, c.room), c.expected);
}

}  // namespace
