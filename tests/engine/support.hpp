// Complex symmetric test matrices shaped like finite-element systems, and an
// independent dense solve to check the engine against.
#pragma once

#include <complex>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "engine/analysis.hpp"
#include "run_program.hpp"
#include "tests/fixtures/dense_solve.hpp"
#include "tests/fixtures/grid_system.hpp"

namespace engine_test {

using engine::Index;
using engine::zcomplex;
using cld = std::complex<long double>;

// The small ice deck's compressional test tiled over an n x n grid.
inline std::optional<engine_bench::GridSystem> ice_grid(int n) {
  return engine_bench::grid_system(support::example_path("ice_small.deck"), n);
}

// A matrix as the engine receives it: lower-triangle entries, repeats allowed.
struct Coo {
  engine::Pattern pattern;
  std::vector<zcomplex> values;
  void add(Index i, Index j, zcomplex v) {
    if (i < j) std::swap(i, j);
    pattern.row.push_back(i), pattern.col.push_back(j), values.push_back(v);
  }
};

// A = B + iC summed over random "elements" of 2..5 unknowns, each adding
// g g^T to B and h h^T to C (both positive semidefinite), plus `shift` on
// the diagonal of B so that B + C is definite. Elements repeat entries, as
// an assembly does.
inline Coo random_system(Index n, Index elements, std::uint32_t seed, double shift = 1e-3) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::uniform_int_distribution<Index> pick(0, n - 1), size(2, 5);
  Coo a;
  a.pattern.n = n;
  for (Index e = 0; e < elements; ++e) {
    std::vector<Index> idx(static_cast<std::size_t>(size(gen)));
    std::vector<zcomplex> gh(idx.size());  // g in re, h in im
    for (std::size_t r = 0; r < idx.size(); ++r) {
      idx[r] = pick(gen);
      gh[r] = {u(gen), 0.3 * u(gen)};
    }
    for (std::size_t r = 0; r < idx.size(); ++r)
      for (std::size_t c = 0; c <= r; ++c) {
        const double twice = idx[r] == idx[c] && r != c ? 2.0 : 1.0;  // both triangles land on the diagonal
        a.add(idx[r], idx[c], {twice * gh[r].re * gh[c].re, twice * gh[r].im * gh[c].im});
      }
  }
  for (Index i = 0; i < n; ++i) a.add(i, i, {shift, 0});
  return a;
}

// The entries summed into the engine's layout (by the engine's input step,
// which the solves against the dense route check).
struct Summed {
  std::shared_ptr<engine::LowerPattern> lower;
  std::vector<zcomplex> values;
};
inline Summed summed(const engine::Pattern& pattern, const std::vector<zcomplex>& values) {
  engine::detail::InputMatrix in = engine::detail::input_matrix(pattern);
  Summed s{std::make_shared<engine::LowerPattern>(std::move(in.lower)), {}};
  s.values.assign(s.lower->row.size(), zcomplex{0, 0});
  for (std::size_t k = 0; k < values.size(); ++k) s.values[in.slot[k]] += values[k];
  return s;
}

// Gaussian elimination in long double on both triangles, the reference route.
inline std::vector<cld> dense_solve(const Coo& a, const std::vector<zcomplex>& b) {
  const Index n = a.pattern.n;
  std::vector<cld> m(static_cast<std::size_t>(n * n)), x;
  for (std::size_t k = 0; k < a.values.size(); ++k) {
    const Index i = a.pattern.row[k], j = a.pattern.col[k];
    m[i * n + j] += cld(a.values[k].re, a.values[k].im);
    if (i != j) m[j * n + i] += cld(a.values[k].re, a.values[k].im);
  }
  for (const zcomplex& v : b) x.emplace_back(v.re, v.im);
  return fixtures::dense_solve(std::move(m), std::move(x), n);
}

inline bool same_bits(const std::vector<zcomplex>& a, const std::vector<zcomplex>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(zcomplex)) == 0);
}

inline std::vector<zcomplex> random_block(Index n, Index nrhs, std::uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<zcomplex> b(static_cast<std::size_t>(n * nrhs));
  for (auto& v : b) v = {u(gen), u(gen)};
  return b;
}

// max |x - y| / max |y|
inline double relative_difference(const zcomplex* x, const std::vector<cld>& y) {
  long double d = 0, s = 0;
  for (std::size_t i = 0; i < y.size(); ++i) {
    d = std::max(d, std::abs(cld(x[i].re, x[i].im) - y[i]));
    s = std::max(s, std::abs(y[i]));
  }
  return static_cast<double>(d / s);
}

}  // namespace engine_test
