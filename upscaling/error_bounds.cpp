#include "upscaling/error_bounds.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/backward_error.hpp"

namespace upscaling::bounds {

namespace {

using core::kExtendedRoundoff;
using core::kUnitRoundoff;
using core::magnitude;

// Calls f(i, j, a_ij), 0-based, for every entry of A (both triangles of a
// symmetric coordinate view).
template <class F>
void for_each_entry(const MatrixView& A, F&& f) {
  if (const CsrView* m = std::get_if<CsrView>(&A)) {
    for (Index i = 0; i < m->n; ++i)
      for (Index e = m->ia[i] - m->base; e < m->ia[i + 1] - m->base; ++e) f(i, Index{m->ja[e]} - m->base, m->a[e]);
    return;
  }
  const CooView& m = std::get<CooView>(A);
  for (std::size_t e = 0; e < m.a.size(); ++e) {
    f(m.row[e], m.col[e], m.a[e]);
    if (m.lower_symmetric && m.row[e] != m.col[e]) f(m.col[e], m.row[e], m.a[e]);
  }
}

// A^{-T} v for each v, in one sweep where the solves offer it.
void solve_transposed(std::span<std::vector<zcomplex>> vs, const SolveCallbacks& s) {
  if (!s.solve_transpose_several || vs.size() < 2) {
    for (std::vector<zcomplex>& v : vs) s.solve_transpose(v);
    return;
  }
  std::vector<std::span<zcomplex>> views(vs.begin(), vs.end());
  s.solve_transpose_several(views);
}

std::vector<zcomplex> conjugated(std::span<const zcomplex> v) {
  std::vector<zcomplex> c(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) c[i] = core::conj(v[i]);
  return c;
}

// B = diag(g) A^{-H} and its adjoint, whose 1-norm is || |A^{-1}| g ||_inf.
struct WeightedInverse {
  std::span<const double> g;
  const SolveCallbacks& s;
  // B v = g o conj(A^{-T} conj(v)), for each v of vs in place.
  void apply(std::span<std::vector<zcomplex>> vs) const {
    for (std::vector<zcomplex>& v : vs) v = conjugated(v);
    solve_transposed(vs, s);
    for (std::vector<zcomplex>& t : vs)
      for (std::size_t i = 0; i < t.size(); ++i) t[i] = g[i] * core::conj(t[i]);
  }
  std::vector<zcomplex> apply(std::span<const zcomplex> v) const {
    std::vector<zcomplex> t(v.begin(), v.end());
    apply(std::span<std::vector<zcomplex>>(&t, 1));
    return t;
  }
  // B^H v = A^{-1} (g o v)
  std::vector<zcomplex> adjoint(std::span<const zcomplex> v) const {
    std::vector<zcomplex> t(v.size());
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = g[i] * v[i];
    s.solve(t);
    return t;
  }
};

double norm1(std::span<const zcomplex> v) {
  double s = 0;
  for (const zcomplex& x : v) s += core::cabs(x);
  return s;
}

std::vector<zcomplex> unit_phases(std::span<const zcomplex> y) {
  std::vector<zcomplex> x(y.size());
  for (std::size_t i = 0; i < y.size(); ++i) {
    const double a = core::cabs(y[i]);
    x[i] = a > std::numeric_limits<double>::min() ? y[i] / a : zcomplex{1, 0};
  }
  return x;
}

std::size_t largest(std::span<const zcomplex> z) {
  std::size_t j = 0;
  for (std::size_t i = 1; i < z.size(); ++i)
    if (core::cabs(z[i]) > core::cabs(z[j])) j = i;
  return j;
}

}  // namespace

Index order(const MatrixView& A) {
  return std::visit([](const auto& m) { return m.n; }, A);
}

ResidualBound residual_bound(const MatrixView& A, std::span<const zcomplex> b, std::span<const zcomplex> x) {
  const std::size_t n = static_cast<std::size_t>(order(A));
  std::vector<core::ResidualRow> rows(n);
  for (std::size_t i = 0; i < n; ++i) rows[i] = core::ResidualRow(b[i]);
  for_each_entry(A, [&](Index i, Index j, zcomplex a) { rows[i].subtract(a, x[static_cast<std::size_t>(j)]); });
  ResidualBound out;
  out.scale.resize(n);
  out.w.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const zcomplex r = rows[i].value();
    out.scale[i] = rows[i].scale();
    // Each extended product and sum rounds once per part: 2 entries' worth
    // of roundings per entry, and the final rounding to double.
    const double gamma = static_cast<double>(2 * (rows[i].entries() + 2) * kExtendedRoundoff);
    out.w[i] = (1 + 2 * kUnitRoundoff) * magnitude(r) + gamma * out.scale[i];
    out.backward_error = std::max(out.backward_error, core::backward_ratio(r, out.scale[i]));
  }
  return out;
}

std::vector<zcomplex> adjoint(std::span<const zcomplex> l, const SolveCallbacks& s) {
  std::vector<zcomplex> y(l.begin(), l.end());
  s.solve_transpose(y);
  return y;
}

std::vector<std::vector<zcomplex>> adjoints(std::span<const std::span<const zcomplex>> ls, const SolveCallbacks& s) {
  std::vector<std::vector<zcomplex>> ys;
  for (const std::span<const zcomplex> l : ls) ys.emplace_back(l.begin(), l.end());
  solve_transposed(ys, s);
  return ys;
}

double functional_bound(std::span<const zcomplex> y, std::span<const double> w) {
  double sum = 0;
  for (std::size_t i = 0; i < y.size(); ++i) sum += magnitude(y[i]) * w[i];
  return std::isnan(sum) ? std::numeric_limits<double>::infinity() : sum;
}

double inverse_weighted_norm(std::span<const double> g, const SolveCallbacks& s, int max_steps) {
  const std::size_t n = g.size();
  if (n == 0) return 0;
  const WeightedInverse B{g, s};
  // The start x = (1/n, ..., 1/n) and, beside it in the same sweep, the
  // alternating-sign vector, which catches what the steps below miss.
  std::vector<std::vector<zcomplex>> first(n > 1 ? 2 : 1);
  first[0].assign(n, zcomplex{1.0 / static_cast<double>(n), 0});
  if (n > 1) {
    first[1].resize(n);
    for (std::size_t i = 0; i < n; ++i)
      first[1][i] = {(i % 2 ? -1.0 : 1.0) * (1.0 + static_cast<double>(i) / static_cast<double>(n - 1)), 0};
  }
  B.apply(first);
  std::vector<zcomplex> x(n), y = std::move(first[0]);
  double est = norm1(y);
  if (n > 1) {
    std::size_t j = largest(B.adjoint(unit_phases(y)));
    for (int step = 2; step <= max_steps; ++step) {
      std::fill(x.begin(), x.end(), zcomplex{0, 0});
      x[j] = {1, 0};
      y = B.apply(x);
      const double previous = est;
      est = norm1(y);
      if (!(est > previous)) break;
      const std::vector<zcomplex> z = B.adjoint(unit_phases(y));
      const std::size_t last = j;
      j = largest(z);
      if (core::cabs(z[last]) == core::cabs(z[j])) break;
    }
    est = std::max(est, 2 * norm1(first[1]) / (3.0 * static_cast<double>(n)));
  }
  return std::isnan(est) ? std::numeric_limits<double>::infinity() : est;
}

SolutionBounds solution_bounds(const ResidualBound& r, std::span<const zcomplex> x, const SolveCallbacks& s) {
  double xmax = 0, ratio = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    xmax = std::max(xmax, core::cabs(x[i]));
    if (r.w[i] > 0) ratio = std::max(ratio, r.scale[i] > 0 ? r.w[i] / r.scale[i] : INFINITY);
  }
  SolutionBounds out;
  const double estimate = inverse_weighted_norm(r.scale, s);
  out.condition = xmax > 0 ? estimate / xmax : INFINITY;
  // w <= ratio * (|A||x| + |b|) componentwise, so || |A^{-1}| w || <= ratio times the estimate.
  out.forward_error = ratio * out.condition;
  if (std::isnan(out.forward_error)) out.forward_error = INFINITY;
  return out;
}

}  // namespace upscaling::bounds
