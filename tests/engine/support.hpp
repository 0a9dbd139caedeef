// Complex symmetric test matrices shaped like finite-element systems, and an
// independent dense solve to check the engine against.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <cstdint>
#include <random>
#include <vector>

#include <filesystem>
#include <map>
#include <memory>
#include <fstream>
#include <optional>

#include "engine/sparse_solver.hpp"
#include "run_program.hpp"
#include "tests/fixtures/grid_system.hpp"
#include "tests/fixtures/dense_solve.hpp"

namespace engine_test {

// The small ice deck's material tiled over an n x n grid (the coefficient
// routines' plotting files land in a scratch folder).
inline std::optional<engine_bench::GridSystem> ice_grid(int n) {
  const support::ScratchDir scratch("engine_test");
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(scratch.path());
  std::ofstream("deck") << support::join(support::deck_lines("ice_small.deck"));
  auto g = engine_bench::grid_system("deck", n);
  std::filesystem::current_path(home);
  return g;
}

using engine::Index;
using engine::zcomplex;
using cld = std::complex<long double>;

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
// G G^T to B and H H^T to C (both positive semidefinite), plus `shift` on
// the diagonal of B so that B + C is definite. Elements repeat entries, as
// an assembly does.
inline Coo random_system(Index n, Index elements, std::uint32_t seed, double shift = 1e-3) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::uniform_int_distribution<Index> pick(0, n - 1), size(2, 5);
  Coo a;
  a.pattern.n = n;
  for (Index e = 0; e < elements; ++e) {
    const Index k = size(gen);
    std::vector<Index> idx(static_cast<std::size_t>(k));
    for (auto& i : idx) i = pick(gen);
    std::vector<double> g(static_cast<std::size_t>(k * k)), h(g.size());
    for (auto& x : g) x = u(gen);
    for (auto& x : h) x = 0.3 * u(gen);
    for (Index r = 0; r < k; ++r)
      for (Index c = 0; c <= r; ++c) {
        double br = 0, ci = 0;
        for (Index t = 0; t < k; ++t) br += g[r * k + t] * g[c * k + t], ci += h[r * k + t] * h[c * k + t];
        if (idx[r] == idx[c] && r != c) br *= 2, ci *= 2;  // both triangles land on the diagonal
        a.add(idx[r], idx[c], {br, ci});
      }
  }
  for (Index i = 0; i < n; ++i) a.add(i, i, {shift, 0});
  return a;
}

// The coordinate entries summed in their order into the engine's layout,
// every diagonal entry present: built here from a map, independently of
// the engine's two counting sorts.
struct Summed {
  std::shared_ptr<engine::LowerPattern> lower = std::make_shared<engine::LowerPattern>();
  std::vector<zcomplex> values;
};

inline Summed summed(const Coo& a) {
  std::map<std::pair<Index, Index>, zcomplex> m;  // (column, row)
  for (Index i = 0; i < a.pattern.n; ++i) m[{i, i}] = {0, 0};
  for (std::size_t k = 0; k < a.values.size(); ++k) m[{a.pattern.col[k], a.pattern.row[k]}] += a.values[k];
  Summed s;
  s.lower->n = a.pattern.n;
  s.lower->ptr.assign(static_cast<std::size_t>(a.pattern.n) + 1, 0);
  for (const auto& [at, v] : m) {
    ++s.lower->ptr[static_cast<std::size_t>(at.first) + 1];
    s.lower->row.push_back(at.second);
    s.values.push_back(v);
  }
  for (Index j = 0; j < a.pattern.n; ++j) s.lower->ptr[j + 1] += s.lower->ptr[j];
  return s;
}

inline std::vector<cld> dense(const Coo& a) {
  const Index n = a.pattern.n;
  std::vector<cld> m(static_cast<std::size_t>(n * n));
  for (std::size_t k = 0; k < a.values.size(); ++k) {
    const Index i = a.pattern.row[k], j = a.pattern.col[k];
    const cld v(a.values[k].re, a.values[k].im);
    m[i * n + j] += v;
    if (i != j) m[j * n + i] += v;
  }
  return m;
}

// Gaussian elimination in long double, the reference route.
inline std::vector<cld> dense_solve(const Coo& a, const std::vector<zcomplex>& b) {
  std::vector<cld> x(b.size());
  for (std::size_t i = 0; i < b.size(); ++i) x[i] = {b[i].re, b[i].im};
  return fixtures::dense_solve(dense(a), std::move(x), a.pattern.n);
}

inline bool same_bits(const std::vector<zcomplex>& a, const std::vector<zcomplex>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(zcomplex)) == 0;
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
