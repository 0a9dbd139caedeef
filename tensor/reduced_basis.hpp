// The space a sweep over frequency solves in: real orthonormal columns V
// (the real and imaginary parts of full solutions), and the parts of the
// system projected onto it, V^T A_q V, V^T b_q, V^T l_q, so that the
// reduced system of any frequency costs O(terms x r^2).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tensor/frequency_system.hpp"

namespace tensor {

// y += A x for the lower triangle (row >= col) of a symmetric matrix.
template <class V, class X>
void symmetric_product(const engine::Pattern& p, std::span<const V> a, std::span<const X> x, std::span<X> y) {
  for (std::size_t e = 0; e < a.size(); ++e) {
    const auto r = static_cast<std::size_t>(p.row[e]), c = static_cast<std::size_t>(p.col[e]);
    y[r] += a[e] * x[c];
    if (r != c) y[c] += a[e] * x[r];
  }
}

inline double magnitude_of(double a) { return a < 0 ? -a : a; }
inline double magnitude_of(zcomplex a) { return magnitude_of(a.re) + magnitude_of(a.im); }

// One pass over the entries of A for interleaved columns: K and M fixed
// where they are known (the loops then unroll), else k and m.
template <class V, class X, std::size_t K, std::size_t M>
void block_pass(const engine::Pattern& p, std::span<const V> a, const std::vector<X>& vi,
                const std::vector<double>& mi, std::vector<X>& yi, std::vector<double>& ai, std::size_t k = K,
                std::size_t m = M) {
  if constexpr (K > 0) k = K, m = M;
  for (std::size_t e = 0; e < a.size(); ++e) {
    const auto r = static_cast<std::size_t>(p.row[e]), c = static_cast<std::size_t>(p.col[e]);
    const V ae = a[e];
    const double me = m > 0 ? magnitude_of(ae) : 0.0;
    for (std::size_t j = 0; j < k; ++j) yi[r * k + j] += ae * vi[c * k + j];
    for (std::size_t j = 0; j < m; ++j) ai[r * m + j] += me * mi[c * m + j];
    if (r == c) continue;
    for (std::size_t j = 0; j < k; ++j) yi[c * k + j] += ae * vi[r * k + j];
    for (std::size_t j = 0; j < m; ++j) ai[c * m + j] += me * mi[r * m + j];
  }
}

// y (n x k, column-major) = A v for the lower triangle of a symmetric A and
// the k columns of v, and |A| |v| for the first m of them (magnitudes as
// |re| + |im|, never below the modulus), in one pass over A.
template <class V, class X>
void block_product(const engine::Pattern& p, std::span<const V> a, std::span<const X> v, std::size_t k,
                   std::size_t m, std::vector<X>& y, std::vector<double>& abs_y) {
  const std::size_t n = k > 0 ? v.size() / k : 0;
  // Interleaved (unknown-major), so that one entry of A serves every column at once.
  std::vector<X> vi(n * k), yi(n * k, X{});
  std::vector<double> mi(n * m), ai(n * m, 0.0);
  for (std::size_t c = 0; c < k; ++c)
    for (std::size_t i = 0; i < n; ++i) vi[i * k + c] = v[c * n + i];
  for (std::size_t c = 0; c < m; ++c)
    for (std::size_t i = 0; i < n; ++i) mi[i * m + c] = magnitude_of(v[c * n + i]);
  if (k == 4 && m == 2) {
    block_pass<V, X, 4, 2>(p, a, vi, mi, yi, ai);  // the residuals of two loads and two adjoints
  } else if (k == 4 && m == 0) {
    block_pass<V, X, 4, 0>(p, a, vi, mi, yi, ai);
  } else {
    block_pass<V, X, 0, 0>(p, a, vi, mi, yi, ai, k, m);
  }
  y.assign(n * k, X{});
  abs_y.assign(n * m, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t c = 0; c < k; ++c) y[c * n + i] = yi[i * k + c];
    for (std::size_t c = 0; c < m; ++c) abs_y[c * n + i] = ai[i * m + c];
  }
}

class ReducedBasis {
 public:
  explicit ReducedBasis(const FrequencySystem& s) : s_(s) {}
  // Orthonormalises each vector in turn (prescribed entries dropped)
  // against the columns (Gram-Schmidt twice) and keeps what is left when it
  // is not negligible, then projects the parts onto the new columns.
  // Returns how many were kept. In a job of several ranks (collective)
  // rank 0 holds the basis and the projections: the vectors of the other
  // ranks are ignored, and each rank's parts are its band's share, whose
  // products with the new columns are summed on rank 0.
  std::size_t add(std::vector<std::vector<double>> vs);
  std::size_t size() const { return size_; }
  std::span<const double> column(std::size_t k) const;

  // The reduced solution at the coefficients theta: y (r x loads) of the
  // loads and z (r x functionals) of the functionals' free parts, and the
  // functionals' values l_i^T x_j (functionals x loads, row-major).
  struct Reduced {
    std::vector<zcomplex> y, z, value;
    bool solved = false;  // false when the reduced matrix is singular
  };
  Reduced solve(std::span<const zcomplex> theta) const;
  // V c for the reduced vectors c (r x k, column-major): n x k.
  std::vector<zcomplex> expand(std::span<const zcomplex> c) const;

 private:
  const FrequencySystem& s_;
  // The columns in blocks of kBlock (n x kBlock, column-major, filled in
  // place: the space grows without moving what it holds).
  static constexpr std::size_t kBlock = 32;
  std::vector<std::vector<double>> blocks_;
  std::size_t size_ = 0;
  // d = V^T v, and v -= V d; V^T W for the m columns of W (size x m).
  std::vector<double> project(std::span<const double> v) const;
  void subtract(std::span<const double> d, std::vector<double>& v) const;
  std::vector<double> project_block(std::span<const double> w, std::size_t m) const;
  bool orthonormalise(std::vector<double>& v) const;
  void project_parts(std::size_t q, std::span<const double> v);
  void project_new(std::size_t q, std::size_t first, std::span<const double> av);
  // Per term, column-major growing: a_[q][j][i] = v_i^T A_q v_j (j >= i stored as full rows).
  std::vector<std::vector<std::vector<double>>> a_;
  std::vector<std::vector<std::vector<double>>> b_;  // [q][k] : v_k^T b_q (loads)
  std::vector<std::vector<std::vector<double>>> l_;  // [q][k] : v_k^T l_q (functionals)
};

// Solves the complex r x r system m (column-major) for the columns of b
// (r x k) in place, by Gaussian elimination with partial pivoting. False
// when a pivot is zero.
bool dense_solve(std::vector<zcomplex> m, std::size_t r, std::span<zcomplex> b, std::size_t k);

}  // namespace tensor
