#include "tensor/sweep_residuals.hpp"

#include <algorithm>

#include "core/backward_error.hpp"

namespace tensor {

using core::magnitude;

void block_product(const engine::Pattern& p, std::span<const zcomplex> a, std::span<const zcomplex> v, std::size_t k,
                   std::size_t m, std::vector<zcomplex>& y, std::vector<double>& abs_y) {
  const std::size_t n = k > 0 ? v.size() / k : 0;
  // Interleaved (unknown-major), so that one entry of A serves every column at once.
  std::vector<zcomplex> vi(n * k), yi(n * k, zcomplex{0, 0});
  std::vector<double> mi(n * m), ai(n * m, 0.0);
  for (std::size_t c = 0; c < k; ++c)
    for (std::size_t i = 0; i < n; ++i) vi[i * k + c] = v[c * n + i];
  for (std::size_t c = 0; c < m; ++c)
    for (std::size_t i = 0; i < n; ++i) mi[i * m + c] = magnitude(v[c * n + i]);
  for (std::size_t e = 0; e < a.size(); ++e) {
    const auto r = static_cast<std::size_t>(p.row[e]), c = static_cast<std::size_t>(p.col[e]);
    const zcomplex ae = a[e];
    const double me = magnitude(ae);
    for (std::size_t j = 0; j < k; ++j) yi[r * k + j] += ae * vi[c * k + j];
    for (std::size_t j = 0; j < m; ++j) ai[r * m + j] += me * mi[c * m + j];
    if (r == c) continue;
    for (std::size_t j = 0; j < k; ++j) yi[c * k + j] += ae * vi[r * k + j];
    for (std::size_t j = 0; j < m; ++j) ai[c * m + j] += me * mi[r * m + j];
  }
  y.assign(n * k, zcomplex{0, 0});
  abs_y.assign(n * m, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t c = 0; c < k; ++c) y[c * n + i] = yi[i * k + c];
    for (std::size_t c = 0; c < m; ++c) abs_y[c * n + i] = ai[i * m + c];
  }
}

SweepResiduals sweep_residuals(const FrequencySystem& s, std::span<const zcomplex> a, std::span<const zcomplex> b,
                               std::span<const zcomplex> x, std::span<const zcomplex> yhat,
                               const std::vector<std::vector<zcomplex>>& l) {
  const std::size_t n = static_cast<std::size_t>(s.n), loads = static_cast<std::size_t>(s.loads);
  const std::size_t nf = static_cast<std::size_t>(s.functionals);
  std::vector<zcomplex> v(x.begin(), x.end());
  v.insert(v.end(), yhat.begin(), yhat.end());
  std::vector<zcomplex> av;
  SweepResiduals out;
  block_product(*s.pattern, a, v, loads + nf, loads, av, out.scale);
  out.r.assign(n * (loads + nf), zcomplex{0, 0});
  for (std::size_t c = 0; c < loads + nf; ++c)
    for (std::size_t i = 0; i < n; ++i) {
      if (!s.free[i]) {
        if (c < loads) out.scale[c * n + i] = 0;
        continue;
      }
      const zcomplex target = c < loads ? b[c * n + i] : l[c - loads][i];
      out.r[c * n + i] = target - av[c * n + i];
      if (c >= loads) continue;
      const double sc = out.scale[c * n + i] += magnitude(target);
      if (sc > 0) out.backward_error = std::max(out.backward_error, magnitude(out.r[c * n + i]) / sc);
    }
  return out;
}

}  // namespace tensor
