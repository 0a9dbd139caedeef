#include "tensor/stiffness_accuracy.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/backward_error.hpp"
#include "core/two_pieces.hpp"
#include "upscaling/cell_strains.hpp"
#include "upscaling/error_bounds.hpp"
#include "upscaling/solution_accuracy.hpp"
#include "upscaling/tied_modulus.hpp"
#include "waves/diffusion_length.hpp"

namespace tensor {

namespace bounds = upscaling::bounds;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
using core::kUnitRoundoff;

double finite_or_inf(double r) { return std::isnan(r) ? kInf : r; }

bounds::MatrixView matrix(const GridSystem& g, std::span<const zcomplex> values) {
  if (g.lower) return bounds::LowerColumnsView{g.n, g.lower->ptr, g.lower->row, values};
  return bounds::CooView{g.n, g.pattern.row, g.pattern.col, values, true};
}


zcomplex dot(std::span<const zcomplex> l, std::span<const zcomplex> z) {
  zcomplex s{0, 0};
  for (std::size_t i = 0; i < l.size(); ++i) s += l[i] * z[i];
  return s;
}

double magnitude_product(std::span<const zcomplex> m, std::span<const zcomplex> z) {
  double s = 0;
  for (std::size_t i = 0; i < m.size(); ++i) s += core::cabs(m[i]) * core::cabs(z[i]);
  return s;
}

std::vector<zcomplex> combined(zcomplex a, std::span<const zcomplex> y, zcomplex b, std::span<const zcomplex> v) {
  std::vector<zcomplex> c(y.size());
  for (std::size_t i = 0; i < y.size(); ++i) c[i] = a * y[i] + b * v[i];
  return c;
}

// Per load: the residual bound w of the raw solution; the worst condition into b.
std::vector<std::vector<double>> residual_bounds(const GridSystem& g, const SolvedLoads& t,
                                                 const bounds::SolveCallbacks& solves,
                                                 const bounds::StartSolves& starts, StiffnessBounds& b) {
  const std::size_t n = static_cast<std::size_t>(g.n);
  std::vector<bounds::ResidualBound> r(2);
  const std::vector<std::span<const zcomplex>> raw = {t.raw.first(n), t.raw.subspan(n, n)};
  const auto load = [&](std::size_t l) { r[l] = bounds::residual_bound(matrix(g, t.values), t.rhs.subspan(l * n, n), raw[l]); };
  core::two_pieces(t.two_threads, [&] { load(0); }, [&] { load(1); });
  for (const bounds::SolutionBounds& s : bounds::solution_bounds(r, raw, solves, &starts))
    b.condition = std::max(b.condition, finite_or_inf(s.condition));
  std::vector<std::vector<double>> w;
  for (bounds::ResidualBound& one : r) w.push_back(std::move(one.w));
  return w;
}

// Relative bound of l^T x from the adjoint y of l's free part.
double relative_bound(std::span<const zcomplex> y, std::span<const double> w, std::span<const zcomplex> l,
                      std::span<const zcomplex> x, double rounding) {
  const double change = bounds::functional_bound(y, w) + rounding * magnitude_product(l, x);
  return finite_or_inf(change / core::cabs(dot(l, x)) + 8 * kUnitRoundoff);
}

}  // namespace

// The solves with the factors (complex symmetric: A^{-T} = A^{-1}). The
// factors may carry static pivot perturbations, so the adjoints, which the
// bounds take as exact, are refined against A; the condition estimate needs
// no more than the plain solves. Vectors known together are solved as one
// block, in one sweep of the factor (the engine gives each the bits of its
// solve alone).
bounds::SolveCallbacks solves_of(engine::SparseSolver& solver, bool refine, bool two_threads) {
  auto solve = [&solver, refine](std::span<zcomplex> v) { solver.solve(v, 1, refine); };
  auto several = [&solver, refine](std::span<const std::span<zcomplex>> vs) {
    const std::size_t n = vs.front().size();
    std::vector<zcomplex> block(n * vs.size());
    for (std::size_t k = 0; k < vs.size(); ++k) std::copy(vs[k].begin(), vs[k].end(), block.begin() + k * n);
    solver.solve(block, static_cast<engine::Index>(vs.size()), refine);
    for (std::size_t k = 0; k < vs.size(); ++k) std::copy_n(block.begin() + k * n, n, vs[k].begin());
  };
  return {solve, solve, several, several, two_threads};
}

// l with l^T u = the mean engineering shear strain of solid s (as
// mean_shear_strains): each cell's formula probed with unit values.
std::vector<zcomplex> mean_shear_functional(const GridSystem& g, upscaling::SolidComponents s) {
  return upscaling::mean_work_strain_functional(core::TestKind::shear, s, static_cast<int>(g.nx), static_cast<int>(g.ny),
                                              g.h, g.xnod, static_cast<std::size_t>(g.n));
}

void bound_biaxial(const GridSystem& g, const TestFunctionals& f, const SolvedLoads& t, engine::SparseSolver& solver,
                   StiffnessBounds& b) {
  const std::size_t n = static_cast<std::size_t>(g.n);
  const std::vector<std::vector<double>> w = residual_bounds(g, t, solves_of(solver, false, t.two_threads), f.starts(), b);
  const double rounding = (static_cast<double>(g.nx * g.ny) + 20) * kUnitRoundoff;
  const auto x1 = t.x.first(n), x2 = t.x.subspan(n, n);
  // l[0] the force on the right plate, l[1] that on the top plate.
  b.c11 = relative_bound(f.y[0], w[0], f.l[0], x1, rounding);
  b.c13 = relative_bound(f.y[0], w[1], f.l[0], x2, rounding);
  b.c33 = relative_bound(f.y[1], w[1], f.l[1], x2, rounding);
}

void bound_shear(const GridSystem& g, const TestFunctionals& f, const SolvedLoads& t, engine::SparseSolver& solver,
                 StiffnessBounds& b) {
  const std::size_t n = static_cast<std::size_t>(g.n);
  const std::vector<std::vector<double>> w = residual_bounds(g, t, solves_of(solver, false, t.two_threads), f.starts(), b);
  // l[0], l[1]: the mean shear strains of solids 1 and 3; z1, z3: the
  // responses to the tractions on solid 1 and on solid 3.
  const std::vector<zcomplex>&l1 = f.l[0], &l3 = f.l[1], &y1 = f.y[0], &y3 = f.y[1];
  const auto z1 = t.x.first(n), z3 = t.x.subspan(n, n);
  const upscaling::TiedDerivatives dm = upscaling::tied_derivatives(dot(l1, z1), dot(l1, z3), dot(l3, z1), dot(l3, z3));
  const double change = bounds::functional_bound(combined(dm.d11, y1, dm.d31, y3), w[0]) +
                        bounds::functional_bound(combined(dm.d13, y1, dm.d33, y3), w[1]);
  const double rounding = (static_cast<double>(g.nx * g.ny) + 20) * kUnitRoundoff;
  const double change_rounding = rounding * (magnitude_product(combined(dm.d11, l1, dm.d31, l3), z1) +
                                             magnitude_product(combined(dm.d13, l1, dm.d33, l3), z3));
  b.c55 = finite_or_inf((change + change_rounding) / core::cabs(dm.m) + dm.rounding);
}

double cells_per_diffusion_length(std::span<const core::CellCoefficients> cells, double h, double omega) {
  double least = kInf;
  for (const core::CellCoefficients& c : cells) least = std::min(least, waves::diffusion_length(c, omega) / h);
  return least;
}

double worst_bound(const StiffnessBounds& b, const char** name) {
  const std::pair<const char*, double> all[6] = {{"C11", b.c11}, {"C13", b.c13}, {"C33", b.c33},
                                                 {"C55", b.c55}, {"C15", b.c15}, {"C35", b.c35}};
  std::size_t at = 0;
  for (std::size_t i = 1; i < 6; ++i)
    if (!(all[i].second <= all[at].second)) at = i;
  if (name) *name = all[at].first;
  return all[at].second;
}

void add_accuracy_columns(TensorRow& row, const StiffnessBounds& b) {
  const Column mine[3] = {{"condition_estimate", "1", b.condition},
                          {"forward_error_bound", "1", worst_bound(b)},
                          {"cells_per_diffusion_length", "1", b.cells_per_diffusion_length}};
  row.extra.insert(row.extra.begin(), std::begin(mine), std::end(mine));
}

std::string resolution_warning(const StiffnessBounds& b, double freq_hz) {
  upscaling::RunAccuracy a;
  a.cells_per_diffusion_length = b.cells_per_diffusion_length;
  return upscaling::unresolved_grid(a, freq_hz);
}

std::string no_certain_digit(const StiffnessBounds& b, double freq_hz) {
  const char* name = nullptr;
  const double worst = worst_bound(b, &name);
  if (worst <= upscaling::kLargestRelativeError) return "";
  char text[512];
  std::snprintf(text, sizeof text,
                "at %g Hz the relative error bound of %s is %.3g, above 1e-3, so the results carry no certain "
                "digit: the finite-element system is numerically singular (condition estimate %.3g), most likely "
                "because the fluid is almost free of friction or the contrasts between the materials are extreme",
                freq_hz, name, worst, b.condition);
  return text;
}

}  // namespace tensor
