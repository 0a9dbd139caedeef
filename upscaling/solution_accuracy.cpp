#include "upscaling/solution_accuracy.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/backward_error.hpp"
#include "upscaling/cell_strains.hpp"
#include "upscaling/tied_modulus.hpp"
#include "waves/diffusion_length.hpp"

namespace upscaling {

using core::TestKind;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
using core::kUnitRoundoff;

// l with sum_i l_i z_i = sum over the cells of f(u, j, k): each cell's
// linear formula probed with the twenty unit values.
template <class CellFormula>
std::vector<zcomplex> cell_sum_functional(const SolvedTest& t, CellFormula f) {
  std::vector<zcomplex> l(t.z.size(), zcomplex{0, 0});
  CellSolution u{};
  for (int k = 1; k <= t.ny; ++k)
    for (int j = 1; j <= t.nx; ++j) {
      const int serial = fem::cell_serial(j, k, t.nx);
      for (int c = 1; c <= 20; ++c) {
        u.v[c - 1] = {1, 0};
        l[t.xnod(serial, c) - 1] += f(u, j, k);
        u.v[c - 1] = {0, 0};
      }
    }
  return l;
}

zcomplex dot(std::span<const zcomplex> l, std::span<const zcomplex> z) {
  zcomplex s{0, 0};
  for (std::size_t i = 0; i < l.size(); ++i) s += l[i] * z[i];
  return s;
}

// a y + b v, elementwise.
std::vector<zcomplex> combined(zcomplex a, std::span<const zcomplex> y, zcomplex b, std::span<const zcomplex> v) {
  std::vector<zcomplex> c(y.size());
  for (std::size_t i = 0; i < y.size(); ++i) c[i] = a * y[i] + b * v[i];
  return c;
}

double finite_or_inf(double r) { return std::isnan(r) ? kInf : r; }

// sum_i |m_i| |z_i|: what a relative change of every component of z moves
// m^T z by at most.
double magnitude_product(std::span<const zcomplex> m, std::span<const zcomplex> z) {
  double s = 0;
  for (std::size_t i = 0; i < m.size(); ++i) s += core::cabs(m[i]) * core::cabs(z[i]);
  return s;
}


std::vector<zcomplex> difference(std::span<const zcomplex> a, std::span<const zcomplex> b) {
  std::vector<zcomplex> d(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) d[i] = a[i] - b[i];
  return d;
}

}  // namespace

// Relative error of 1000/Q on the layered decks: at most 0.15 (h/l_p)^2 while
// h <= l_p; beyond, 2 to 10 % up to h/l_p = 9 and more on coarser grids.
double expected_over_q_error(double r) { return std::min(0.15, 0.15 * r * r); }

ResultFunctionals result_functionals(const SolvedTest& t, const core::Coefficients& coef) {
  const bool compressional = t.kind == TestKind::compressional;
  const double h = t.h;
  ResultFunctionals f;
  f.strain1 = mean_work_strain_functional(t.kind, kSolid1, t.nx, t.ny, h, t.xnod, t.z.size());
  f.strain3 = mean_work_strain_functional(t.kind, kSolid3, t.nx, t.ny, h, t.xnod, t.z.size());
  using enum fem::Vertex;
  const double height = t.ny * h;
  f.boundary = cell_sum_functional(t, [&](const CellSolution& u, int j, int k) {
    if (k != t.ny) return zcomplex{0, 0};
    if (compressional) return h * u(fem::s1y(upper_right));
    const zcomplex left = j == 1 ? u(fem::s1x(upper_left)) / height : zcomplex{0, 0};
    return (left + u(fem::s1x(upper_right)) / height) / static_cast<double>(t.nx + 1);
  });
  f.stress = cell_sum_functional(t, [&](const CellSolution& u, int j, int k) {
    if (!compressional)
      return 2 * coef.mu1(j, k) * shear_strain(u, kSolid1, h) + coef.mu13(j, k) * shear_strain(u, kSolid3, h);
    return (coef.lambda1(j, k) + 2 * coef.mu1(j, k)) * vertical_strain(u, kSolid1, h) +
           coef.d3(j, k) * fluid_divergence(u, h) + coef.mu13(j, k) * vertical_strain(u, kSolid3, h);
  });
  return f;
}

RunAccuracy run_accuracy(const SolvedTest& t, const core::Coefficients& coef, const TiedWorkModuli& tied,
                         const bounds::MatrixView& A, const bounds::SolveCallbacks& solves,
                         double backward_error, double omega) {
  const bool compressional = t.kind == TestKind::compressional;
  RunAccuracy a;
  a.backward_error = backward_error;
  const bounds::ResidualBound rz = bounds::residual_bound(A, t.load, t.z);
  const bounds::SolutionBounds sb = bounds::solution_bounds(rz, t.z, solves);
  a.condition = sb.condition;
  a.forward_error_solution = sb.forward_error;

  // The two solutions of the tied modulus and their residual bounds.
  const std::span<const zcomplex> x = tied.second_solution;
  const std::vector<double> wx = bounds::residual_bound(A, tied.second_load, x).w;
  const std::vector<zcomplex> rest = compressional ? difference(t.z, x) : std::vector<zcomplex>();
  const std::span<const zcomplex> on1 = compressional ? x : t.z;
  const std::span<const zcomplex> on3 = compressional ? std::span<const zcomplex>(rest) : x;

  // M_T to first order: dM = sum over (i, j) of dM/dg_ij l_i^T dz_j, z_j the
  // response to a traction on solid j, so the adjoints of the two strains,
  // combined per solution before their magnitudes are taken, bound it.
  const ResultFunctionals f = result_functionals(t, coef);
  // The adjoints of the four functionals, in one sweep of the factors.
  const std::span<const zcomplex> functionals[] = {f.strain1, f.strain3, f.boundary, f.stress};
  const std::vector<std::vector<zcomplex>> adjoints = bounds::adjoints(functionals, solves);
  const std::vector<zcomplex>&y1 = adjoints[0], &y3 = adjoints[1];
  const TiedDerivatives dm = tied_derivatives(dot(f.strain1, on1), dot(f.strain1, on3), dot(f.strain3, on1),
                                              dot(f.strain3, on3));
  const std::vector<zcomplex> y_on1 = combined(dm.d11, y1, dm.d31, y3), y_on3 = combined(dm.d13, y1, dm.d33, y3);
  // Compressional: on1 = x, on3 = z - x; shear: on1 = z, on3 = x.
  const double tied_change =
      compressional ? bounds::functional_bound(combined({1, 0}, y_on1, {-1, 0}, y_on3), wx) +
                          bounds::functional_bound(y_on3, rz.w)
                    : bounds::functional_bound(y_on1, rz.w) + bounds::functional_bound(y_on3, wx);
  // Beside the solve's error, the rounding of the solution to double and of
  // the modulus' evaluation (sums over the cells): `rounding` per unit of
  // the functionals' magnitudes.
  const double rounding = (static_cast<double>(t.nx) * t.ny + 20) * kUnitRoundoff;
  const double tied_rounding =
      rounding * (magnitude_product(combined(dm.d11, f.strain1, dm.d31, f.strain3), on1) +
                  magnitude_product(combined(dm.d13, f.strain1, dm.d33, f.strain3), on3));
  a.moduli.push_back({"mt", finite_or_inf((tied_change + tied_rounding) / core::cabs(dm.m) + dm.rounding)});

  // The original estimates: the reciprocal of a boundary functional, exactly;
  // the stress sum over solid 1's strain sum, c = s / e, to first order
  // through the functional (l_s - c l_e) / e.
  const zcomplex boundary = dot(f.boundary, t.z);
  const double boundary_error = bounds::functional_bound(adjoints[2], rz.w) +
                                rounding * magnitude_product(f.boundary, t.z);
  const double rb = boundary_error / core::cabs(boundary);
  a.moduli.push_back({compressional ? "mstar" : "cmu", rb < 1 ? rb / (1 - rb) + 8 * kUnitRoundoff : kInf});
  const zcomplex stress = dot(f.stress, t.z), strain = dot(f.strain1, t.z);
  const zcomplex c = core::cdiv(stress, strain);
  const std::vector<zcomplex> y_c = combined({1, 0}, adjoints[3], -c, y1);
  const double c_change = bounds::functional_bound(y_c, rz.w) +
                          rounding * magnitude_product(combined({1, 0}, f.stress, -c, f.strain1), t.z);
  a.moduli.push_back({compressional ? "c33" : "c13", finite_or_inf(c_change / core::cabs(stress) + 8 * kUnitRoundoff)});
  for (const ModulusBound& m : a.moduli)
    a.forward_error_bound = std::isnan(m.relative) ? kInf : std::max(a.forward_error_bound, m.relative);
  a.cells_per_diffusion_length = waves::cells_per_diffusion_length(coef, t.nx, t.ny, t.h, omega);
  return a;
}

std::string no_correct_digit(const RunAccuracy& a, double freq) {
  if (a.forward_error_bound <= kLargestRelativeError) return "";
  const ModulusBound* worst = &a.moduli.front();
  for (const ModulusBound& m : a.moduli)
    if (!(m.relative <= worst->relative)) worst = &m;
  char text[512];
  std::snprintf(text, sizeof text,
                "at %g Hz the relative error bound of the modulus %s is %.3g, above 1e-3, so the results carry no "
                "certain digit: the finite-element system is numerically singular (condition estimate %.3g), most "
                "likely because the fluid is almost free of friction (eta or freq near the bottom of its range) or "
                "the contrasts between the materials are extreme",
                freq, worst->name, worst->relative, a.condition);
  return text;
}

std::string unresolved_grid(const RunAccuracy& a, double freq) {
  if (!(a.cells_per_diffusion_length < kResolvedCells)) return "";
  const double r = 1 / a.cells_per_diffusion_length;  // h / l_p
  char size[128];
  if (r <= 1)
    std::snprintf(size, sizeof size, "up to %.2g %%", 100 * expected_over_q_error(r));
  else
    std::snprintf(size, sizeof size, "several percent (tens of percent far below one cell per length)");
  char text[512];
  std::snprintf(text, sizeof text,
                "warning: cells per diffusion length = %.3g at %g Hz (below %g): the grid does not resolve the "
                "diffusion of the fluid pressure; expect an error of %s in 1000/Q (doc/accuracy.md); use more "
                "cells or a thinner sample",
                a.cells_per_diffusion_length, freq, kResolvedCells, size);
  return text;
}

}  // namespace upscaling
