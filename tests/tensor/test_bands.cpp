// The system of a grid assembled band by band of cell rows (one band a rank
// of an MPI job) is the whole grid's: the coordinate entries of all bands,
// summed where the same (row, col) comes from two bands, and their
// right-hand sides summed, give the whole assembly's values and right-hand
// sides, under sealed and periodic boundaries; the sealed shear test's
// nodal forces enter once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "support.hpp"
#include "tensor/grid_system.hpp"
#include "tensor/periodic_system.hpp"

namespace {

using core::zcomplex;
using Entries = std::map<std::pair<int64_t, int64_t>, zcomplex>;

// Bands of 1, 0, 2 and 4 rows of a 7-row grid: uneven, one empty.
const std::pair<int64_t, int64_t> kBands[] = {{1, 1}, {2, 1}, {2, 3}, {4, 7}};

tensor::Sample striped() {
  return tensor_test::with_map(tensor_test::ice_materials(), 5, 7, 0.01,
                               [](int64_t j, int64_t k) { return (j + 2 * k) % 3 == 0 ? 2 : 1; });
}

void add(const engine::Pattern& p, const std::vector<zcomplex>& v, Entries& to) {
  for (std::size_t e = 0; e < v.size(); ++e) to[{p.row[e], p.col[e]}] += v[e];
}

void add(const std::vector<zcomplex>& v, std::vector<zcomplex>& to) {
  to.resize(v.size(), zcomplex{0, 0});
  for (std::size_t i = 0; i < v.size(); ++i) to[i] += v[i];
}

double largest(const std::vector<zcomplex>& v) {
  double m = 0;
  for (const zcomplex& z : v) m = std::max(m, std::hypot(z.re, z.im));
  return m;
}

// An entry is a sum of at most four cells' terms in another order: within a
// few roundings of the largest.
void expect_same(const Entries& whole, const Entries& bands, double scale) {
  ASSERT_EQ(whole.size(), bands.size());
  for (const auto& [at, z] : whole) {
    const zcomplex b = bands.at(at);
    EXPECT_LE(std::hypot(z.re - b.re, z.im - b.im), 8 * DBL_EPSILON * scale) << at.first << "," << at.second;
  }
}

// `terms`: how many terms each value sums (4 cells a node; every cell for
// the energies of the affine fields), summed in another order.
void expect_same(const std::vector<zcomplex>& whole, const std::vector<zcomplex>& bands, double terms = 4) {
  ASSERT_EQ(whole.size(), bands.size());
  const double scale = largest(whole);
  ASSERT_GT(scale, 0);
  for (std::size_t i = 0; i < whole.size(); ++i)
    EXPECT_LE(std::hypot(whole[i].re - bands[i].re, whole[i].im - bands[i].im), 2 * terms * DBL_EPSILON * scale)
        << i;
}

TEST(Bands, SealedTestsAssembleToTheWholeGrid) {
  const tensor::Sample s = striped();
  const std::vector<core::CellCoefficients> cells = tensor::cell_coefficients(s, 6.283185307179586 * 300);
  const tensor::GridSystem whole(s.nx, s.ny, s.h);
  for (const auto& test : {tensor::biaxial_test(whole), tensor::shear_test(whole)}) {
    std::vector<zcomplex> values, rhs, summed_rhs;
    tensor::assemble(whole, test, cells, 6.283185307179586 * 300, values, rhs);
    Entries expected, got;
    add(whole.pattern, values, expected);
    for (const auto& [first, last] : kBands) {
      const tensor::GridSystem band(s.nx, s.ny, s.h, first, last);
      std::vector<zcomplex> v, b;
      tensor::assemble(band, test, cells, 6.283185307179586 * 300, v, b);
      add(band.pattern, v, got);
      add(b, summed_rhs);
    }
    expect_same(expected, got, largest(values));
    expect_same(rhs, summed_rhs);  // the shear test's forces once, not once a band
  }
}

TEST(Bands, PeriodicSystemAssemblesToTheWholeTorus) {
  const tensor::Sample s = striped();
  const std::vector<core::CellCoefficients> cells = tensor::cell_coefficients(s, 6.283185307179586 * 300);
  const tensor::PeriodicGrid whole(s.nx, s.ny, s.h);
  tensor::PeriodicSystem all;
  tensor::assemble_periodic(whole, cells, 6.283185307179586 * 300, all);
  Entries expected, got;
  add(whole.pattern, all.values, expected);
  std::vector<zcomplex> rhs, affine, affine_all;
  for (const auto& row : all.affine) affine_all.insert(affine_all.end(), row.begin(), row.end());
  for (const auto& [first, last] : kBands) {
    const tensor::PeriodicGrid band(s.nx, s.ny, s.h, first, last);
    tensor::PeriodicSystem part;
    tensor::assemble_periodic(band, cells, 6.283185307179586 * 300, part);
    add(band.pattern, part.values, got);
    add(part.rhs, rhs);
    std::vector<zcomplex> d;
    for (const auto& row : part.affine) d.insert(d.end(), row.begin(), row.end());
    add(d, affine);
  }
  expect_same(expected, got, largest(all.values));
  expect_same(all.rhs, rhs);
  expect_same(affine_all, affine, static_cast<double>(s.nx * s.ny));
}

TEST(Bands, RowsOutsideTheGridAreRefused) {
  EXPECT_THROW(tensor::GridSystem(4, 6, 0.01, 0, 3), std::invalid_argument);
  EXPECT_THROW(tensor::GridSystem(4, 6, 0.01, 4, 7), std::invalid_argument);
  EXPECT_THROW(tensor::PeriodicGrid(4, 6, 0.01, 5, 3), std::invalid_argument);
  EXPECT_TRUE(tensor::GridSystem(4, 6, 0.01, 4, 3).pattern.row.empty());  // an empty band
}

}  // namespace
