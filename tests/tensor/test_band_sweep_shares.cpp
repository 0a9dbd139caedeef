// The reduced sweep of a job of several ranks sees each rank's band of the
// sample: the bands' own law terms, renumbered to the job's groups, are the
// whole sample's for their cells and in the whole sample's order; and the
// bands' shares of a test's system (parts' products, right-hand sides,
// functionals, affine energies) add up to the whole sample's system, under
// sealed and periodic boundaries. The bands here stand for the ranks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support.hpp"
#include "tensor/io.hpp"
#include "tensor/periodic_frequency_system.hpp"
#include "tensor/reduced_basis.hpp"
#include "tensor/sweep_shares.hpp"
#include "tensor/test_system.hpp"

namespace {

using core::zcomplex;
constexpr double kU = std::numeric_limits<double>::epsilon() / 2;

// Bands of a 7-row grid from the base up, as ranks hold them: uneven, one empty.
const std::pair<int64_t, int64_t> kBands[] = {{1, 2}, {3, 2}, {3, 3}, {4, 7}};

// Two materials, four water proportions: up to eight viscous groups, the
// base rows meeting them in another order than the top rows.
tensor::Sample patchy() { return tensor_test::patchy_map(5, 7, 20261208, 5); }
using tensor_test::band_of;

// Every band's terms, renumbered to the job's groups as the ranks do.
std::vector<tensor::CellLawTerms> job_terms(const tensor::Sample& s) {
  std::vector<tensor::CellLawTerms> terms;
  std::vector<double> listed;
  for (const auto& b : kBands) {
    terms.push_back(tensor::cell_law_terms(band_of(s, b)));
    const std::vector<double> own = tensor::listed_groups(terms.back());
    listed.insert(listed.end(), own.begin(), own.end());
  }
  for (tensor::CellLawTerms& t : terms) tensor::adopt_job_groups(t, listed);
  return terms;
}

bool same_law(const core::CellCoefficients& a, const core::CellCoefficients& b) {
  return a.lambda1 == b.lambda1 && a.lambda3 == b.lambda3 && a.mu1 == b.mu1 && a.mu3 == b.mu3 && a.mu13 == b.mu13 &&
         a.b1 == b.b1 && a.b2 == b.b2 && a.m == b.m && a.d3 == b.d3 && a.f11 == b.f11 && a.f12 == b.f12 &&
         a.f22 == b.f22;
}

TEST(BandSweepShares, TheBandsTermsAreTheWholeSamplesInItsOrder) {
  const tensor::Sample s = patchy();
  const tensor::CellLawTerms whole = tensor::cell_law_terms(s);
  ASSERT_GE(whole.groups.size(), 4u);
  const std::vector<tensor::CellLawTerms> bands = job_terms(s);
  for (std::size_t i = 0; i < bands.size(); ++i) {
    const tensor::Sample part = band_of(s, kBands[i]);
    const tensor::CellLawTerms& t = bands[i];
    ASSERT_EQ(t.groups.size(), whole.groups.size());
    for (std::size_t g = 0; g < whole.groups.size(); ++g) {
      EXPECT_EQ(t.groups[g].material, whole.groups[g].material);
      EXPECT_EQ(t.groups[g].water, whole.groups[g].water);
    }
    ASSERT_EQ(t.fixed.size(), part.held_cells());
    for (int64_t k = part.band_first(); k <= part.held_last(); ++k)
      for (int64_t j = 1; j <= s.nx; ++j) {
        const std::size_t mine = part.cell_at(j, k), all = s.cell_at(j, k);
        EXPECT_EQ(t.group_of_cell[mine], whole.group_of_cell[all]) << j << "," << k;
        EXPECT_TRUE(same_law(t.fixed[mine], whole.fixed[all]) && same_law(t.unit[mine], whole.unit[all]) &&
                    same_law(t.friction[mine], whole.friction[all]))
            << j << "," << k;
      }
    EXPECT_EQ(tensor::reduced_refusal(part, t), "");
  }
  // A band's cell that is not semidefinite is named by its place in the whole grid.
  tensor::CellLawTerms spoilt = bands.back();
  const tensor::Sample top = band_of(s, kBands[3]);
  spoilt.fixed[top.cell_at(2, 5)].mu1 = -1e6;
  EXPECT_NE(tensor::reduced_refusal(top, spoilt).find("cell j,k = 2,5"), std::string::npos);
}

// |sum of the bands' values - whole| within the rounding of regrouping the
// cells' contributions: at most `terms` of them an entry, each band's sum
// and the whole's of magnitude at most `scale`.
void expect_shares(const std::vector<double>& sum, const std::vector<double>& whole, const std::vector<double>& scale,
                   double terms, const std::string& what) {
  ASSERT_EQ(sum.size(), whole.size()) << what;
  for (std::size_t i = 0; i < sum.size(); ++i)
    ASSERT_LE(std::fabs(sum[i] - whole[i]), 2 * terms * kU * scale[i]) << what << " at " << i;
}

// The shares' sum, and of their magnitudes, of one part of the bands' systems.
struct Summed {
  std::vector<double> sum, scale;
  void add(const std::vector<double>& v) {
    if (sum.empty()) sum.assign(v.size(), 0.0), scale.assign(v.size(), 0.0);
    for (std::size_t i = 0; i < v.size(); ++i) sum[i] += v[i], scale[i] += std::fabs(v[i]);
  }
};

std::vector<double> product(const tensor::FrequencySystem& f, std::size_t q, const std::vector<double>& v, bool abs) {
  std::vector<double> a = f.term_values[q], y(v.size(), 0.0);
  if (abs)
    for (double& x : a) x = std::fabs(x);
  tensor::symmetric_product<double, double>(*f.pattern, a, v, y);
  return y;
}

void expect_systems_add_up(const tensor::FrequencySystem& whole, const std::vector<tensor::FrequencySystem>& bands,
                           const std::string& what) {
  std::mt19937 rng(13);
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<double> v(static_cast<std::size_t>(whole.n)), av(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = d(rng), av[i] = std::fabs(v[i]);
  for (std::size_t q = 0; q < whole.term_values.size(); ++q) {
    Summed b;
    std::vector<double> ax(v.size(), 0.0), scale(v.size(), 0.0);  // sum A_q v and |A_q| |v| over the bands
    for (const tensor::FrequencySystem& f : bands) {
      ASSERT_EQ(f.term_values.size(), whole.term_values.size()) << what;
      const std::vector<double> y = product(f, q, v, false), m = product(f, q, av, true);
      for (std::size_t i = 0; i < v.size(); ++i) ax[i] += y[i], scale[i] += m[i];
      b.add(f.term_rhs[q]);
    }
    // Every row sums at most 2 x 60 products (two triangles of the blocks
    // around a node), regrouped over the bands.
    expect_shares(ax, product(whole, q, v, false), scale, 120, what + ": A_q v, term " + std::to_string(q));
    expect_shares(b.sum, whole.term_rhs[q], b.scale, 8, what + ": b_q, term " + std::to_string(q));
    for (std::size_t i = 0; i < whole.term_functionals[q].size(); ++i) {
      Summed l;
      for (const tensor::FrequencySystem& f : bands) {
        ASSERT_EQ(f.term_functionals[q][i].empty(), whole.term_functionals[q][i].empty()) << what;
        if (!f.term_functionals[q][i].empty()) l.add(f.term_functionals[q][i]);
      }
      if (!whole.term_functionals[q][i].empty())
        expect_shares(l.sum, whole.term_functionals[q][i], l.scale, 8, what + ": l_q, term " + std::to_string(q));
    }
  }
}

TEST(BandSweepShares, TheBandsSealedSystemsAddUpToTheWholeSamples) {
  const tensor::Sample s = patchy();
  const tensor::CellLawTerms whole_terms = tensor::cell_law_terms(s);
  const std::vector<tensor::CellLawTerms> terms = job_terms(s);
  const tensor::GridSystem g(s.nx, s.ny, s.h);
  std::vector<tensor::Sample> parts;
  std::vector<tensor::GridSystem> grids;
  for (const auto& b : kBands) parts.push_back(band_of(s, b)), grids.emplace_back(s.nx, s.ny, s.h, b.first, b.second);
  for (const tensor::TestKindOf which : {tensor::TestKindOf::biaxial, tensor::TestKindOf::shear}) {
    const tensor::TestSetup test = which == tensor::TestKindOf::biaxial ? tensor::biaxial_test(g) : tensor::shear_test(g);
    const tensor::FrequencySystem whole = tensor::test_system(g, test, which, s, whole_terms);
    std::vector<tensor::FrequencySystem> bands;
    for (std::size_t i = 0; i < parts.size(); ++i)
      bands.push_back(tensor::test_system(grids[i], test, which, parts[i], terms[i]));
    expect_systems_add_up(whole, bands, which == tensor::TestKindOf::biaxial ? "biaxial" : "shear");
    const double omega = 6.283185307179586 * 40;
    for (const tensor::FrequencySystem& f : bands) EXPECT_EQ(f.coefficients(omega), whole.coefficients(omega));
  }
}

TEST(BandSweepShares, TheBandsTorusSystemsAddUpToTheWholeSamples) {
  const tensor::Sample s = patchy();
  const tensor::CellLawTerms whole_terms = tensor::cell_law_terms(s);
  const std::vector<tensor::CellLawTerms> terms = job_terms(s);
  const tensor::PeriodicGrid g(s.nx, s.ny, s.h);
  const tensor::PeriodicFrequencySystem whole = tensor::periodic_frequency_system(g, s, whole_terms);
  std::vector<tensor::Sample> parts;
  std::vector<tensor::PeriodicGrid> grids;
  for (const auto& b : kBands) parts.push_back(band_of(s, b)), grids.emplace_back(s.nx, s.ny, s.h, b.first, b.second);
  std::vector<tensor::PeriodicFrequencySystem> bands;
  std::vector<tensor::FrequencySystem> systems;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    bands.push_back(tensor::periodic_frequency_system(grids[i], parts[i], terms[i]));
    systems.push_back(bands.back().system);
  }
  expect_systems_add_up(whole.system, systems, "periodic");
  // The affine energies at a frequency: the whole's sum over its cells
  // regrouped by the bands, its rounding bounded as the sweep bounds it.
  for (double hz : {1e-3, 40.0, 3e4}) {
    const std::vector<zcomplex> theta = whole.system.coefficients(6.283185307179586 * hz);
    const tensor::AffineEnergy d = tensor::affine_energy(whole, theta);
    for (int a = 0; a < tensor::kStrains; ++a)
      for (int b = 0; b < tensor::kStrains; ++b) {
        zcomplex sum{0, 0};
        for (const tensor::PeriodicFrequencySystem& p : bands) sum += tensor::affine_energy(p, theta).value[a][b];
        EXPECT_LE(core::cabs(sum - d.value[a][b]), 2.0 * static_cast<double>(s.nx * s.ny + 40) * kU * d.magnitude[a][b])
            << hz << " Hz, " << a << b;
      }
  }
}

}  // namespace
