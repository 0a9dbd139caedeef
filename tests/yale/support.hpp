// Patterns, values, residuals and a driver harness shared by the solver tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "sparse_io/grid_matrix.hpp"
#include "yale/yale.hpp"

namespace yale_test {

using yale_bench::grid_pattern;
using yale_bench::Pattern;
using yale_bench::ValueTraits;

inline Pattern from_entries(int32_t n, const std::vector<std::pair<int32_t, int32_t>>& entries) {
  std::vector<std::vector<int32_t>> rows(static_cast<std::size_t>(n));
  for (auto [i, j] : entries) rows[static_cast<std::size_t>(i - 1)].push_back(j);
  return yale_bench::pattern_from_rows(std::move(rows));
}

// Every entry within `bw` of the diagonal (bw >= n: dense).
inline Pattern banded(int32_t n, int32_t bw) {
  std::vector<std::pair<int32_t, int32_t>> e;
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t j = std::max(1, i - bw); j <= std::min(n, i + bw); ++j) e.push_back({i, j});
  return from_entries(n, e);
}

// First row and column full, plus the diagonal.
inline Pattern arrow(int32_t n) {
  std::vector<std::pair<int32_t, int32_t>> e;
  for (int32_t i = 1; i <= n; ++i) e.insert(e.end(), {{i, i}, {1, i}, {i, 1}});
  return from_entries(n, e);
}

// The columns of each row in a random order: the solver takes them in any.
inline Pattern shuffled(Pattern p, uint32_t seed) {
  for (int32_t i = 1; i <= p.n; ++i)
    std::shuffle(p.ja.begin() + (p.ia[i - 1] - 1), p.ja.begin() + (p.ia[i] - 1), std::mt19937(seed + i));
  return p;
}

// The value types the solver is built for.
using ValueTypes = ::testing::Types<float, double, core::ccomplex, core::zcomplex>;

template <class V>
bool same_bits(const std::vector<V>& x, const std::vector<V>& y) {
  return x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(V)) == 0);
}

template <class V>
std::complex<long double> to_c(V v) {
  return {static_cast<long double>(ValueTraits<V>::re(v)), static_cast<long double>(ValueTraits<V>::im(v))};
}

template <class V>
double unit_roundoff() {
  return static_cast<double>(std::numeric_limits<typename ValueTraits<V>::Real>::epsilon());
}

template <class V>
std::vector<V> random_vector(int32_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<V> v(static_cast<std::size_t>(n));
  for (auto& x : v) x = ValueTraits<V>::make(u(gen), u(gen));
  return v;
}

// A system, its ordering and a workspace with room for any fill, driven
// through odrv and ndrv; by default diagonally dominant values.
template <class V>
struct Solve {
  Pattern p;
  std::vector<V> a;
  std::vector<int32_t> perm, iperm;
  int32_t nwork;
  yale::BasicWorkspace<V> ws;
  int32_t esp = 0;

  Solve(Pattern pat, std::vector<V> vals, int32_t words = 0)
      : p(std::move(pat)), a(std::move(vals)), perm(static_cast<std::size_t>(p.n)), iperm(perm),
        nwork(words > 0 ? words : 4 * p.n + 2 * p.nnz() + p.n * p.n + 64), ws(nwork) {}
  Solve(const Pattern& pat, uint32_t seed, int32_t words = 0)
      : Solve(pat, yale_bench::dominant_values<V>(pat, seed), words) {}

  int32_t order(int32_t job = 1) {
    int32_t flag = -1;
    yale::odrv<V>(p.n, p.ia, p.ja, a, perm, iperm, nwork, ws, job, flag);
    return flag;
  }
  // The natural order, or a given one, instead of the minimum degree's.
  void set_order(std::vector<int32_t> order = {}) {
    for (int32_t k = 1; order.empty() && k <= p.n; ++k) perm[k - 1] = k;
    if (!order.empty()) perm = std::move(order);
    for (int32_t k = 1; k <= p.n; ++k) iperm[perm[k - 1] - 1] = k;
  }
  int32_t factor(int32_t job, const std::vector<V>& b, std::vector<V>& z, int32_t flag = 0) {
    yale::ndrv<V>(p.n, perm, perm, iperm, p.ia, p.ja, a, b, z, nwork, ws, esp, job, flag);
    return flag;
  }
  // Ordered and factorised for b: the first non-zero flag, or 0.
  int32_t order_and_factor(const std::vector<V>& b, std::vector<V>& z) {
    const int32_t flag = order();
    return flag != 0 ? flag : factor(1, b, z);
  }
  int32_t l_count() { return ws.iword(p.n + 1) - 1; }
  int32_t u_count() { return ws.iword(2 * p.n + 2) - 1; }
};

}  // namespace yale_test
