#include "tensor/periodic_accuracy.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/backward_error.hpp"
#include "upscaling/error_bounds.hpp"
#include "tensor/stiffness_accuracy.hpp"

namespace tensor {

namespace bounds = upscaling::bounds;

namespace {

using core::kUnitRoundoff;

double finite_or_inf(double r) { return std::isnan(r) ? std::numeric_limits<double>::infinity() : r; }

}  // namespace

void bound_periodic(const PeriodicGrid& g, const PeriodicSystem& sys, std::span<const zcomplex> x,
                    const Tensor3& c, engine::SparseSolver& solver, StiffnessBounds& b) {
  const std::size_t n = static_cast<std::size_t>(g.n);
  const bounds::MatrixView a = bounds::CooView{g.n, g.pattern.row, g.pattern.col, sys.values, true};
  std::vector<bounds::ResidualBound> r;
  std::vector<std::span<const zcomplex>> xs;
  for (std::size_t t = 0; t < kStrains; ++t) {
    xs.push_back(x.subspan(t * n, n));
    r.push_back(bounds::residual_bound(a, std::span<const zcomplex>(sys.rhs).subspan(t * n, n), xs.back()));
  }
  for (const bounds::SolutionBounds& s : bounds::solution_bounds(r, xs, solves_of(solver, false)))
    b.condition = std::max(b.condition, finite_or_inf(s.condition));
  std::vector<std::vector<double>> w;
  for (bounds::ResidualBound& one : r) w.push_back(std::move(one.w));
  const double area = static_cast<double>(g.nx) * static_cast<double>(g.ny) * g.h * g.h;
  // Rounding of the sums: the affine energy over the cells and the dot product.
  const double rounding = (static_cast<double>(g.nx * g.ny) + 20 + static_cast<double>(n)) * kUnitRoundoff;
  auto change = [&](std::size_t s, std::size_t t) {
    const auto xs = x.subspan(s * n, n), xt = x.subspan(t * n, n);
    const auto rs = std::span<const zcomplex>(sys.rhs).subspan(s * n, n);
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += core::cabs(rs[i]) * core::cabs(xt[i]);
    return (bounds::functional_bound(xs, w[t]) + rounding * (sum + core::cabs(sys.affine[s][t]))) / area;
  };
  auto relative = [&](std::size_t s, std::size_t t, double scale) {
    return finite_or_inf(change(s, t) / scale + 8 * kUnitRoundoff);
  };
  const double diagonal = std::max({core::cabs(c[0][0]), core::cabs(c[1][1]), core::cabs(c[2][2])});
  b.c11 = relative(0, 0, core::cabs(c[0][0]));
  b.c13 = std::max(relative(0, 1, core::cabs(c[0][1])), relative(1, 0, core::cabs(c[1][0])));
  b.c33 = relative(1, 1, core::cabs(c[1][1]));
  b.c55 = relative(2, 2, core::cabs(c[2][2]));
  b.c15 = std::max(relative(0, 2, diagonal), relative(2, 0, diagonal));
  b.c35 = std::max(relative(1, 2, diagonal), relative(2, 1, diagonal));
}

}  // namespace tensor
