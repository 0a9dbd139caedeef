// Matrices and checks shared by the solver tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "sparse_io/grid_matrix.hpp"
#include "yale/yale.hpp"

namespace yale_test {

using yale_bench::Pattern;
using yale_bench::ValueTraits;

inline Pattern from_entries(int32_t n, const std::vector<std::pair<int32_t, int32_t>>& entries) {
  std::vector<std::vector<int32_t>> rows(static_cast<std::size_t>(n));
  for (auto [i, j] : entries) rows[static_cast<std::size_t>(i - 1)].push_back(j);
  return yale_bench::pattern_from_rows(std::move(rows));
}

// Diagonal plus every entry within `bw` of it.
inline Pattern banded(int32_t n, int32_t bw) {
  std::vector<std::pair<int32_t, int32_t>> e;
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t j = std::max(1, i - bw); j <= std::min(n, i + bw); ++j) e.push_back({i, j});
  return from_entries(n, e);
}
inline Pattern diagonal(int32_t n) { return banded(n, 0); }
inline Pattern dense(int32_t n) { return banded(n, n); }

// First row and column full, plus the diagonal.
inline Pattern arrow(int32_t n) {
  std::vector<std::pair<int32_t, int32_t>> e;
  for (int32_t i = 1; i <= n; ++i) {
    e.push_back({i, i});
    e.push_back({1, i});
    e.push_back({i, 1});
  }
  return from_entries(n, e);
}

// Structurally symmetric random pattern with the diagonal: each row draws
// about `per_row` partners uniformly.
inline Pattern random_symmetric(int32_t n, int32_t per_row, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int32_t> col(1, n);
  std::vector<std::pair<int32_t, int32_t>> e;
  for (int32_t i = 1; i <= n; ++i) {
    e.push_back({i, i});
    for (int32_t m = 0; m < per_row / 2; ++m) {
      const int32_t j = col(gen);
      e.push_back({i, j});
      e.push_back({j, i});
    }
  }
  return from_entries(n, e);
}

// The entries of p with their columns shuffled within each row: order
// within a row is free in Yale storage.
inline void shuffle_rows(Pattern& p, uint32_t seed) {
  std::mt19937 gen(seed);
  for (int32_t i = 1; i <= p.n; ++i) std::shuffle(p.ja.begin() + (p.ia[i - 1] - 1), p.ja.begin() + (p.ia[i] - 1), gen);
}

template <class V>
std::complex<long double> to_c(V v) {
  return {static_cast<long double>(ValueTraits<V>::re(v)), static_cast<long double>(ValueTraits<V>::im(v))};
}

// ||op(A) z - b||_inf / (||op(A)||_inf ||z||_inf), in extended precision;
// op is A or its plain transpose.
template <class V>
double residual(const Pattern& p, const std::vector<V>& a, const std::vector<V>& z, const std::vector<V>& b,
                bool transpose = false) {
  std::vector<std::complex<long double>> r(static_cast<std::size_t>(p.n));
  std::vector<long double> rowsum(static_cast<std::size_t>(p.n));  // of |op(A)|
  for (int32_t i = 1; i <= p.n; ++i)
    for (int32_t e = p.ia[i - 1]; e < p.ia[i]; ++e) {
      const int32_t j = p.ja[e - 1], row = transpose ? j : i, col = transpose ? i : j;
      r[row - 1] += to_c(a[e - 1]) * to_c(z[col - 1]);
      rowsum[row - 1] += std::abs(to_c(a[e - 1]));
    }
  long double rnorm = 0, znorm = 0;
  for (std::size_t i = 0; i < r.size(); ++i) {
    rnorm = std::max(rnorm, std::abs(r[i] - to_c(b[i])));
    znorm = std::max(znorm, std::abs(to_c(z[i])));
  }
  return static_cast<double>(rnorm / (*std::max_element(rowsum.begin(), rowsum.end()) * znorm));
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

// Ordering, factorisation and solve through the drivers.
template <class V>
struct Solve {
  Pattern p;
  std::vector<V> a;
  std::vector<int32_t> perm, iperm;
  int32_t nwork;
  yale::BasicWorkspace<V> ws;
  int32_t esp = 0;

  Solve(Pattern pat, std::vector<V> vals)
      : p(std::move(pat)),
        a(std::move(vals)),
        perm(static_cast<std::size_t>(p.n)),
        iperm(static_cast<std::size_t>(p.n)),
        nwork(4 * p.n + 2 * p.nnz() + p.n * p.n + 64),  // room for any fill
        ws(nwork) {}

  int32_t order() {
    int32_t flag = -1;
    yale::odrv<V>(p.n, p.ia, p.ja, a, perm, iperm, nwork, ws, 1, flag);
    return flag;
  }
  int32_t factor(int32_t job, const std::vector<V>& b, std::vector<V>& z) {
    int32_t flag = 0;
    yale::ndrv<V>(p.n, perm, perm, iperm, p.ia, p.ja, a, b, z, nwork, ws, esp, job, flag);
    return flag;
  }
};

inline bool is_permutation(const std::vector<int32_t>& perm, const std::vector<int32_t>& iperm) {
  const auto n = static_cast<int32_t>(perm.size());
  for (int32_t k = 1; k <= n; ++k) {
    const int32_t v = perm[static_cast<std::size_t>(k - 1)];
    if (v < 1 || v > n || iperm[static_cast<std::size_t>(v - 1)] != k) return false;
  }
  return true;
}

}  // namespace yale_test
