// The reduced sweep of a job of several ranks sees each rank's band of the
// sample: the bands' own law terms, renumbered to the job's groups, are the
// whole sample's for their cells and in the whole sample's order; and the
// bands' shares of a test's system (parts of the matrix, right-hand sides,
// functionals, affine energies) add up to the whole sample's system, under
// sealed and periodic boundaries. The bands here stand for the ranks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support.hpp"
#include "tensor/periodic_frequency_system.hpp"
#include "tensor/sweep_shares.hpp"
#include "tensor/test_system.hpp"

namespace {

using namespace tensor_test;

// Bands of a 7-row grid from the base up: uneven, one empty.
const std::pair<int64_t, int64_t> kBands[] = {{1, 2}, {3, 2}, {3, 3}, {4, 7}};

// Up to eight viscous groups, the base rows meeting them in another order
// than the top rows.
tensor::Sample patchy() { return random_map(5, 7, 20261208, 5); }

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
  return std::memcmp(&a, &b, sizeof a) == 0;
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
    for (std::size_t g = 0; g < whole.groups.size(); ++g)
      EXPECT_TRUE(t.groups[g].material == whole.groups[g].material && t.groups[g].water == whole.groups[g].water);
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
  tensor::CellLawTerms spoilt = bands[3];
  const tensor::Sample part = band_of(s, kBands[3]);
  spoilt.fixed[part.cell_at(2, 5)].mu1 = -1e6;
  EXPECT_NE(tensor::reduced_refusal(part, spoilt).find("cell j,k = 2,5"), std::string::npos);
}

// Each term's matrix (a node's entry sums 4 cells' parts), loads and
// functionals of the bands against the whole's.
void expect_systems_add_up(const tensor::FrequencySystem& whole, const std::vector<tensor::FrequencySystem>& bands,
                           const std::string& what) {
  for (std::size_t q = 0; q < whole.term_values.size(); ++q) {
    const std::string term = what + ", term " + std::to_string(q);
    Sum a, b, band_a, band_b;
    a.add(whole.term_values[q], whole.pattern), b.add(whole.term_rhs[q]);
    for (const tensor::FrequencySystem& f : bands) {
      ASSERT_EQ(f.term_values.size(), whole.term_values.size()) << what;
      band_a.add(f.term_values[q], f.pattern), band_b.add(f.term_rhs[q]);
    }
    expect_same_sums(a, band_a, 4, term + ": A_q");
    expect_same_sums(b, band_b, 4, term + ": b_q");
    for (std::size_t i = 0; i < whole.term_functionals[q].size(); ++i) {
      Sum l, band_l;
      l.add(whole.term_functionals[q][i]);
      for (const tensor::FrequencySystem& f : bands) band_l.add(f.term_functionals[q][i]);
      expect_same_sums(l, band_l, 8, term + ": l_q");
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
    for (const tensor::FrequencySystem& f : bands) EXPECT_EQ(f.coefficients(kTwoPi * 40), whole.coefficients(kTwoPi * 40));
  }
}

// The affine energies at a frequency: the whole's sum over its cells
// regrouped by the bands, its rounding bounded as the sweep bounds it.
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
  for (double hz : {1e-3, 40.0, 3e4}) {
    const std::vector<zcomplex> theta = whole.system.coefficients(kTwoPi * hz);
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
