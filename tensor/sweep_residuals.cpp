#include "tensor/sweep_residuals.hpp"

#include <algorithm>

#include "core/backward_error.hpp"
#include "tensor/mpi_run.hpp"

namespace tensor {

using core::magnitude;

SweepResiduals sweep_residuals(const FrequencySystem& s, std::span<const zcomplex> a, std::span<const zcomplex> b,
                               std::span<const zcomplex> x, std::span<const zcomplex> yhat,
                               const std::vector<std::vector<zcomplex>>& l) {
  const std::size_t n = static_cast<std::size_t>(s.n), loads = static_cast<std::size_t>(s.loads);
  const std::size_t nf = static_cast<std::size_t>(s.functionals);
  std::vector<zcomplex> v(x.begin(), x.end());
  v.insert(v.end(), yhat.begin(), yhat.end());
  std::vector<zcomplex> av;
  SweepResiduals out;
  block_product<zcomplex, zcomplex>(*s.pattern, a, v, loads + nf, loads, av, out.scale);
  // In a job each rank's matrix is its band's share: the products add up on rank 0.
  sum_on_leader(av);
  sum_on_leader(out.scale);
  if (!leads_output()) return out;
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
      out.backward_error = std::max(out.backward_error, core::backward_ratio(out.r[c * n + i], sc));
    }
  return out;
}

}  // namespace tensor
