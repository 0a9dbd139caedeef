#include "tensor/reduced_basis.hpp"

#include <cmath>
#include <utility>

#include <cblas.h>

#include "core/backward_error.hpp"
#include "tensor/mpi_run.hpp"

namespace tensor {

namespace {

// Four partial sums, so that the loop vectorises without reassociation.
double dot(std::span<const double> a, std::span<const double> b) {
  double s[4] = {0, 0, 0, 0};
  const std::size_t n = a.size(), m = n - n % 4;
  for (std::size_t i = 0; i < m; i += 4)
    for (std::size_t k = 0; k < 4; ++k) s[k] += a[i + k] * b[i + k];
  for (std::size_t i = m; i < n; ++i) s[0] += a[i] * b[i];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

double norm(std::span<const double> a) { return std::sqrt(dot(a, a)); }

using core::magnitude;

blasint blas(std::size_t k) { return static_cast<blasint>(k); }

}  // namespace

std::span<const double> ReducedBasis::column(std::size_t k) const {
  const std::size_t n = static_cast<std::size_t>(s_.n);
  return std::span<const double>(blocks_[k / kBlock]).subspan((k % kBlock) * n, n);
}

std::vector<double> ReducedBasis::project(std::span<const double> v) const {
  const std::size_t n = static_cast<std::size_t>(s_.n);
  std::vector<double> d(size_);
  for (std::size_t b = 0; b < blocks_.size(); ++b)
    cblas_dgemv(CblasColMajor, CblasTrans, blas(n), blas(blocks_[b].size() / n), 1.0, blocks_[b].data(), blas(n),
                v.data(), 1, 0.0, d.data() + b * kBlock, 1);
  return d;
}

std::vector<double> ReducedBasis::project_block(std::span<const double> w, std::size_t m) const {
  const std::size_t n = static_cast<std::size_t>(s_.n);
  std::vector<double> p(size_ * m);
  for (std::size_t b = 0; b < blocks_.size(); ++b)
    cblas_dgemm(CblasColMajor, CblasTrans, CblasNoTrans, blas(blocks_[b].size() / n), blas(m), blas(n), 1.0,
                blocks_[b].data(), blas(n), w.data(), blas(n), 0.0, p.data() + b * kBlock, blas(size_));
  return p;
}

void ReducedBasis::subtract(std::span<const double> d, std::vector<double>& v) const {
  const std::size_t n = static_cast<std::size_t>(s_.n);
  for (std::size_t b = 0; b < blocks_.size(); ++b)
    cblas_dgemv(CblasColMajor, CblasNoTrans, blas(n), blas(blocks_[b].size() / n), -1.0, blocks_[b].data(),
                blas(n), d.data() + b * kBlock, 1, 1.0, v.data(), 1);
}

bool ReducedBasis::orthonormalise(std::vector<double>& v) const {
  for (std::size_t i = 0; i < v.size(); ++i)
    if (!s_.free[i]) v[i] = 0;
  const double before = norm(v);
  if (!(before > 0)) return false;
  // Classical Gram-Schmidt twice: as orthogonal as the modified one, in fewer passes.
  for (int pass = 0; pass < 2; ++pass) subtract(project(v), v);
  const double after = norm(v);
  // What is left of a column already in the space is rounding.
  if (!(after > 1e-10 * before)) return false;
  for (double& x : v) x /= after;
  return true;
}

std::size_t ReducedBasis::add(std::vector<std::vector<double>> vs) {
  // Products of a few columns: memory-bound, and a second BLAS thread would only spin.
  const engine::OneBlasThread one;
  const std::size_t first = size_, n = static_cast<std::size_t>(s_.n);
  const bool lead = leads_output();  // in a job, rank 0 holds the basis
  for (std::vector<double>& v : vs) {
    if (!lead || !orthonormalise(v)) continue;
    if (size_ % kBlock == 0) {
      blocks_.emplace_back();
      blocks_.back().reserve(kBlock * n);
    }
    blocks_.back().insert(blocks_.back().end(), v.begin(), v.end());
    ++size_;
  }
  double kept = static_cast<double>(size_ - first);
  broadcast_from_leader(std::span<double>(&kept, 1));
  const auto added = static_cast<std::size_t>(kept);
  if (added == 0) return 0;
  // The new columns, n x added, for the parts' products in one pass each;
  // in a job every rank multiplies them by its band's share of the parts.
  std::vector<double> fresh(n * added);
  if (lead)
    for (std::size_t j = 0; j < added; ++j) std::copy_n(column(first + j).begin(), n, fresh.begin() + j * n);
  broadcast_from_leader(fresh);
  const std::size_t q_count = s_.term_values.size();
  a_.resize(q_count), b_.resize(q_count), l_.resize(q_count);
  for (std::size_t q = 0; q < q_count; ++q) {
    std::vector<double> av, unused;
    block_product<double, double>(*s_.pattern, s_.term_values[q], fresh, added, 0, av, unused);
    sum_on_leader(av);
    if (lead) project_new(q, first, av);
  }
  return added;
}

// V^T A_q W for the new columns W (their products A_q W in av), and V^T b_q, V^T l_q of each.
void ReducedBasis::project_new(std::size_t q, std::size_t first, std::span<const double> av) {
  const std::size_t added = size_ - first;
  const std::vector<double> p = project_block(av, added);  // size_ x added
  for (std::size_t j = 0; j < added; ++j) {
    const std::size_t at = first + j;
    std::vector<double> row(p.begin() + static_cast<std::ptrdiff_t>(j * size_),
                            p.begin() + static_cast<std::ptrdiff_t>(j * size_ + at + 1));
    for (std::size_t k = 0; k < at; ++k) a_[q][k].push_back(row[k]);
    a_[q].push_back(std::move(row));
    project_parts(q, column(at));
  }
}

// V^T b_q and V^T l_q of a new column v.
void ReducedBasis::project_parts(std::size_t q, std::span<const double> v) {
  const std::size_t n = v.size();
  std::vector<double> bl(static_cast<std::size_t>(s_.loads)), ll(static_cast<std::size_t>(s_.functionals), 0.0);
  for (std::size_t j = 0; j < bl.size(); ++j) bl[j] = dot(v, std::span<const double>(s_.term_rhs[q]).subspan(j * n, n));
  for (std::size_t i = 0; i < ll.size(); ++i)
    if (!s_.term_functionals[q][i].empty()) ll[i] = dot(v, s_.term_functionals[q][i]);
  b_[q].push_back(std::move(bl)), l_[q].push_back(std::move(ll));
}

ReducedBasis::Reduced ReducedBasis::solve(std::span<const zcomplex> theta) const {
  const std::size_t r = size(), loads = static_cast<std::size_t>(s_.loads);
  const std::size_t nf = static_cast<std::size_t>(s_.functionals);
  Reduced out;
  std::vector<zcomplex> m(r * r, zcomplex{0, 0});
  std::vector<zcomplex> rhs(r * (loads + nf), zcomplex{0, 0});
  for (std::size_t q = 0; q < a_.size(); ++q)
    for (std::size_t k = 0; k < r; ++k) {
      for (std::size_t i = 0; i < r; ++i) m[k * r + i] += theta[q] * a_[q][k][i];
      for (std::size_t j = 0; j < loads; ++j) rhs[j * r + k] += theta[q] * b_[q][k][j];
      for (std::size_t i = 0; i < nf; ++i) rhs[(loads + i) * r + k] += theta[q] * l_[q][k][i];
    }
  std::vector<zcomplex> lt(rhs.begin() + static_cast<std::ptrdiff_t>(loads * r), rhs.end());  // V^T l_i
  out.solved = dense_solve(std::move(m), r, rhs, loads + nf);
  out.y.assign(rhs.begin(), rhs.begin() + static_cast<std::ptrdiff_t>(loads * r));
  out.z.assign(rhs.begin() + static_cast<std::ptrdiff_t>(loads * r), rhs.end());
  // l_i^T x_j = (V^T l_i)^T y_j + l_i^T (prescribed values of load j).
  const std::size_t n = static_cast<std::size_t>(s_.n);
  out.value.assign(nf * loads, zcomplex{0, 0});
  for (std::size_t i = 0; i < nf; ++i)
    for (std::size_t j = 0; j < loads; ++j) {
      zcomplex v{0, 0};
      for (std::size_t k = 0; k < r; ++k) v += lt[i * r + k] * out.y[j * r + k];
      for (std::size_t q = 0; q < theta.size(); ++q) {
        const std::vector<double>& l = s_.term_functionals[q][i];
        if (l.empty()) continue;
        double p = 0;
        for (std::size_t u = 0; u < n; ++u) p += l[u] * s_.prescribed[j * n + u];
        v += theta[q] * p;
      }
      out.value[i * loads + j] = v;
    }
  return out;
}

std::vector<zcomplex> ReducedBasis::expand(std::span<const zcomplex> c) const {
  const std::size_t n = static_cast<std::size_t>(s_.n), r = size_, k = r > 0 ? c.size() / r : 0;
  // The real and imaginary parts as 2k real columns: V C in one product.
  std::vector<double> parts(r * 2 * k), out(n * 2 * k, 0.0);
  for (std::size_t j = 0; j < k; ++j)
    for (std::size_t i = 0; i < r; ++i) {
      parts[2 * j * r + i] = c[j * r + i].re;
      parts[(2 * j + 1) * r + i] = c[j * r + i].im;
    }
  const engine::OneBlasThread one;
  for (std::size_t b = 0; b < blocks_.size(); ++b)
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, blas(n), blas(2 * k), blas(blocks_[b].size() / n), 1.0,
                blocks_[b].data(), blas(n), parts.data() + b * kBlock, blas(r), 1.0, out.data(), blas(n));
  std::vector<zcomplex> x(n * k);
  for (std::size_t j = 0; j < k; ++j)
    for (std::size_t i = 0; i < n; ++i) x[j * n + i] = {out[2 * j * n + i], out[(2 * j + 1) * n + i]};
  return x;
}

bool dense_solve(std::vector<zcomplex> m, std::size_t r, std::span<zcomplex> b, std::size_t k) {
  for (std::size_t c = 0; c < r; ++c) {
    std::size_t p = c;
    for (std::size_t i = c + 1; i < r; ++i)
      if (magnitude(m[c * r + i]) > magnitude(m[c * r + p])) p = i;
    if (!(magnitude(m[c * r + p]) > 0)) return false;
    if (p != c) {
      for (std::size_t j = 0; j < r; ++j) std::swap(m[j * r + c], m[j * r + p]);
      for (std::size_t j = 0; j < k; ++j) std::swap(b[j * r + c], b[j * r + p]);
    }
    const zcomplex inv = core::crecip(m[c * r + c]);
    for (std::size_t i = c + 1; i < r; ++i) {
      const zcomplex f = m[c * r + i] * inv;
      if (f.re == 0 && f.im == 0) continue;
      for (std::size_t j = c + 1; j < r; ++j) m[j * r + i] -= f * m[j * r + c];
      for (std::size_t j = 0; j < k; ++j) b[j * r + i] -= f * b[j * r + c];
    }
  }
  for (std::size_t j = 0; j < k; ++j)
    for (std::size_t c = r; c-- > 0;) {
      zcomplex s = b[j * r + c];
      for (std::size_t i = c + 1; i < r; ++i) s -= m[i * r + c] * b[j * r + i];
      b[j * r + c] = core::cdiv(s, m[c * r + c]);
    }
  return true;
}

}  // namespace tensor
