// Test matrices shaped like the finite-element systems: the pattern of the
// compressional test on an nx x ny cell grid (four solid unknowns per
// vertex, one fluid unknown per edge, each cell coupling its 20 unknowns
// densely), numbered band by band as the mesh numbering does, with random
// diagonally dominant values.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "core/capacities.hpp"
#include "core/complex.hpp"

namespace yale_bench {

// A pattern in Yale storage, 1-based, columns sorted within each row.
struct Pattern {
  int32_t n = 0;
  std::vector<int32_t> ia;  // n+1
  std::vector<int32_t> ja;  // ia[n]-1
  int32_t nnz() const { return ia.empty() ? 0 : ia.back() - 1; }
};

// From per-row column lists (0-based rows, 1-based columns); sorts and
// removes repeats.
inline Pattern pattern_from_rows(std::vector<std::vector<int32_t>> rows) {
  Pattern p;
  p.n = static_cast<int32_t>(rows.size());
  p.ia.assign(1, 1);
  for (auto& r : rows) {
    std::sort(r.begin(), r.end());
    r.erase(std::unique(r.begin(), r.end()), r.end());
    p.ja.insert(p.ja.end(), r.begin(), r.end());
    p.ia.push_back(static_cast<int32_t>(p.ja.size()) + 1);
  }
  return p;
}

// Global numbers of the 20 unknowns of cell (j, k): solid-1 x and y at the
// four corners, the fluid on the left, right, bottom and top edges, solid-3
// x and y at the four corners.
inline void cell_unknowns(int32_t nx, int32_t j, int32_t k, int32_t out[20]) {
  const int32_t r = 6 * nx + 5;
  const int32_t b = (k - 1) * r + 5 * (j - 1);
  const int32_t t = k * r + 5 * (j - 1);
  const int32_t v = (k - 1) * r + 5 * nx + 4;
  const int32_t tab[20] = {b + 1, b + 6, t + 6, t + 1, b + 2, b + 7, t + 7, t + 2, v + j, v + j + 1,
                           b + 5, t + 5, b + 3, b + 8, t + 8, t + 3, b + 4, b + 9, t + 9, t + 4};
  std::copy(tab, tab + 20, out);
}

// The union of the cells' dense 20 x 20 blocks.
inline Pattern grid_pattern(int32_t nx, int32_t ny) {
  std::vector<std::vector<int32_t>> rows(static_cast<std::size_t>(core::unknowns_of(nx, ny)));
  int32_t u[20];
  for (int32_t j = 1; j <= nx; ++j)
    for (int32_t k = 1; k <= ny; ++k) {
      cell_unknowns(nx, j, k, u);
      for (int32_t a = 0; a < 20; ++a)
        for (int32_t b = 0; b < 20; ++b) rows[static_cast<std::size_t>(u[a] - 1)].push_back(u[b]);
    }
  return pattern_from_rows(std::move(rows));
}

template <class V>
struct ValueTraits {
  using Real = V;
  static constexpr bool kComplex = false;
  static V make(double re, double /*im*/) { return static_cast<V>(re); }
  static double re(V v) { return static_cast<double>(v); }
  static double im(V) { return 0.0; }
};
template <class T>
struct ValueTraits<core::Complex<T>> {
  using Real = T;
  static constexpr bool kComplex = true;
  static core::Complex<T> make(double re, double im) { return {static_cast<T>(re), static_cast<T>(im)}; }
  static double re(core::Complex<T> v) { return static_cast<double>(v.re); }
  static double im(core::Complex<T> v) { return static_cast<double>(v.im); }
};

// Random values on a pattern: off-diagonal parts uniform in [-1, 1], each
// diagonal of modulus 1 + the sum of its row's off-diagonal moduli and of
// random phase (random sign for real types).
template <class V>
std::vector<V> dominant_values(const Pattern& p, uint32_t seed) {
  using Tr = ValueTraits<V>;
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<V> a(static_cast<std::size_t>(p.nnz()));
  for (int32_t i = 1; i <= p.n; ++i) {
    double sum = 0.0;
    int32_t diag = 0;
    for (int32_t e = p.ia[i - 1]; e < p.ia[i]; ++e) {
      if (p.ja[e - 1] == i) {
        diag = e;
        continue;
      }
      const double re = u(gen), im = Tr::kComplex ? u(gen) : 0.0;
      a[e - 1] = Tr::make(re, im);
      sum += std::hypot(Tr::re(a[e - 1]), Tr::im(a[e - 1]));
    }
    if (diag != 0) {
      const double phase = Tr::kComplex ? std::acos(-1.0) * u(gen) : (u(gen) < 0 ? std::acos(-1.0) : 0.0);
      const double mod = 1.0 + sum;
      a[diag - 1] = Tr::make(mod * std::cos(phase), mod * std::sin(phase));
    }
  }
  return a;
}

}  // namespace yale_bench
