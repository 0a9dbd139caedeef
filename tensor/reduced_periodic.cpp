#include "tensor/reduced_periodic.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/angular_frequency.hpp"
#include "core/backward_error.hpp"
#include "tensor/mpi_run.hpp"
#include "tensor/sweep_shares.hpp"

namespace tensor {

namespace {

using core::kTwoPi;
using core::kUnitRoundoff;

double finite_or_inf(double r) { return std::isnan(r) ? std::numeric_limits<double>::infinity() : r; }

}  // namespace

void periodic_moduli(const PeriodicGrid& g, const SweepPoint& p, const AffineEnergy& d, Stiffness& c) {
  const double area = static_cast<double>(g.nx) * static_cast<double>(g.ny) * g.h * g.h;
  // The sums b_s^T x_t over the unknowns and D over the cells and the terms.
  const double rounding = (static_cast<double>(g.n) + static_cast<double>(g.nx * g.ny) + 40) * kUnitRoundoff;
  Tensor3 t{};
  std::array<std::array<double, kStrains>, kStrains> change{};
  for (std::size_t s = 0; s < kStrains; ++s)
    for (std::size_t u = 0; u < kStrains; ++u) {
      const std::size_t k = s * kStrains + u;
      t[s][u] = (d.value[s][u] - p.value[k]) / area;
      change[s][u] = (p.bound[k] + rounding * (p.magnitude[k] + d.magnitude[s][u])) / area;
    }
  c.c11 = t[0][0], c.c13 = t[0][1], c.c15 = t[0][2];
  c.c31 = t[1][0], c.c33 = t[1][1], c.c35 = t[1][2];
  c.c51 = t[2][0], c.c53 = t[2][1], c.c55 = t[2][2];
  auto relative = [&](std::size_t s, std::size_t u, double scale) {
    return finite_or_inf(change[s][u] / scale + 8 * kUnitRoundoff);
  };
  auto own = [&](std::size_t s, std::size_t u) { return relative(s, u, core::cabs(t[s][u])); };
  const double diagonal = std::max({core::cabs(t[0][0]), core::cabs(t[1][1]), core::cabs(t[2][2])});
  c.bounds.c11 = own(0, 0);
  c.bounds.c13 = std::max(own(0, 1), own(1, 0));
  c.bounds.c33 = own(1, 1);
  c.bounds.c55 = own(2, 2);
  c.bounds.c15 = std::max(relative(0, 2, diagonal), relative(2, 0, diagonal));
  c.bounds.c35 = std::max(relative(1, 2, diagonal), relative(2, 1, diagonal));
  c.backward_error = std::max(c.backward_error, p.backward_error);
}

ReducedStiffness reduced_periodic_stiffness(const Sample& s, const CellLawTerms& terms, const PeriodicGrid& g,
                                            engine::SparseSolver& solver, const std::vector<double>& freqs_hz,
                                            const SweepOptions& o) {
  ReducedStiffness out;
  out.rows = unswept_rows(s, freqs_hz);
  PeriodicFrequencySystem ps;
  all_ranks_pass([&] { ps = periodic_frequency_system(g, s, terms); });  // no rank waits for one that failed
  gather_shares(ps);
  auto moduli = [&](const SweepPoint& p, Stiffness& c) {
    periodic_moduli(g, p, affine_energy(ps, ps.system.coefficients(kTwoPi * p.freq_hz)), c);
  };
  const SweepScore score = [&](const SweepPoint& p) {
    Stiffness c;
    moduli(p, c);
    return worst_bound(c.bounds);
  };
  SweepResult r = reduced_sweep(ps.system, freqs_hz, solver, o, score);
  for (std::size_t k = 0; k < freqs_hz.size(); ++k) moduli(r.points[k], out.rows[k]);
  out.full_solves_hz = std::move(r.full_solves_hz);
  out.factorisations = r.factorisations;
  return out;
}

}  // namespace tensor
