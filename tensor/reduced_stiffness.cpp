#include "tensor/reduced_stiffness.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/angular_frequency.hpp"
#include "core/backward_error.hpp"
#include "upscaling/tied_modulus.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/mpi_run.hpp"
#include "tensor/side_by_side.hpp"
#include "tensor/sweep_shares.hpp"
#include "tensor/test_system.hpp"

namespace tensor {

namespace {

using core::kTwoPi;
using core::kUnitRoundoff;
constexpr double kInf = std::numeric_limits<double>::infinity();

double sum_rounding(const GridSystem& g) { return (static_cast<double>(g.nx * g.ny) + 20) * kUnitRoundoff; }

// Bound on |error| of result k of the point, the rounding of its sum included.
double absolute(const GridSystem& g, const SweepPoint& p, std::size_t k) {
  return p.bound[k] + sum_rounding(g) * p.magnitude[k];
}

double relative(const GridSystem& g, const SweepPoint& p, std::size_t k) {
  const double r = absolute(g, p, k) / core::cabs(p.value[k]) + 8 * kUnitRoundoff;
  return std::isnan(r) ? kInf : r;
}

}  // namespace

std::string reduced_refusal(const Sample& s, const CellLawTerms& terms, std::size_t max_groups) {
  if (terms.groups.size() > max_groups)
    return std::to_string(terms.groups.size()) + " distinct viscous cell laws (materials and water proportions), "
           "more than the " + std::to_string(max_groups) + " a reduced sweep takes";
  return semidefinite_refusal(s, terms);
}

std::vector<Stiffness> unswept_rows(const Sample& s, const std::vector<double>& freqs_hz) {
  const zcomplex none{std::nan(""), std::nan("")};
  std::vector<Stiffness> rows;
  for (double f : freqs_hz) {
    Stiffness c{none, none, none, none, none, 0.0, {}};
    c.bounds.condition = std::nan("");  // no factorisation at this frequency to estimate it with
    const double omega = kTwoPi * f;
    c.bounds.cells_per_diffusion_length =
        least_over_ranks(cells_per_diffusion_length(cell_coefficients(s, omega), s.h, omega));
    rows.push_back(c);
  }
  return rows;
}

void biaxial_moduli(const GridSystem& g, const SweepPoint& p, Stiffness& c) {
  // Functionals: right, top plate; loads: eps_xx = 1, eps_zz = 1.
  const double width = static_cast<double>(g.nx) * g.h, height = static_cast<double>(g.ny) * g.h;
  c.c11 = p.value[0] / height, c.c13 = p.value[1] / height;
  c.c31 = p.value[2] / width, c.c33 = p.value[3] / width;
  c.bounds.c11 = relative(g, p, 0), c.bounds.c13 = relative(g, p, 1), c.bounds.c33 = relative(g, p, 3);
  c.backward_error = std::max(c.backward_error, p.backward_error);
}

void shear_moduli(const GridSystem& g, const SweepPoint& p, Stiffness& c) {
  // Functionals: mean strain of solid 1, of solid 3; loads: tractions on solid 1, on solid 3.
  const upscaling::SolidCompliance gc{p.value[0], p.value[1], p.value[2], p.value[3]};
  c.c55 = upscaling::tied_modulus(gc);
  const upscaling::TiedDerivatives d = upscaling::tied_derivatives(gc.g11, gc.g13, gc.g31, gc.g33);
  const double change = core::cabs(d.d11) * absolute(g, p, 0) + core::cabs(d.d13) * absolute(g, p, 1) +
                        core::cabs(d.d31) * absolute(g, p, 2) + core::cabs(d.d33) * absolute(g, p, 3);
  const double r = change / core::cabs(d.m) + d.rounding;
  c.bounds.c55 = std::isnan(r) ? kInf : r;
  c.backward_error = std::max(c.backward_error, p.backward_error);
}

ReducedStiffness reduced_stiffness(const Sample& s, const CellLawTerms& terms, const GridSystem& g,
                                   const TestSetup& biaxial, const TestSetup& shear, TestChoice tests,
                                   engine::SparseSolver& solver, const std::vector<double>& freqs_hz,
                                   const SweepOptions& o, engine::SparseSolver* shear_solver) {
  using Moduli = void (*)(const GridSystem&, const SweepPoint&, Stiffness&);
  auto sweep = [&](const TestSetup& test, TestKindOf which, Moduli moduli, engine::SparseSolver& on) {
    FrequencySystem fs;
    all_ranks_pass([&] { fs = test_system(g, test, which, s, terms); });  // no rank waits for one that failed
    gather_shares(fs);
    const SweepScore score = [&](const SweepPoint& p) {
      Stiffness c;
      moduli(g, p, c);
      return worst_bound(c.bounds);
    };
    return reduced_sweep(fs, freqs_hz, on, o, score);
  };
  SweepResult rb, rs;
  if (tests.biaxial && tests.shear && shear_solver) {
    side_by_side([&] { rb = sweep(biaxial, TestKindOf::biaxial, biaxial_moduli, solver); },
                 [&] { rs = sweep(shear, TestKindOf::shear, shear_moduli, *shear_solver); });
  } else {
    if (tests.biaxial) rb = sweep(biaxial, TestKindOf::biaxial, biaxial_moduli, solver);
    if (tests.shear) rs = sweep(shear, TestKindOf::shear, shear_moduli, solver);
  }
  ReducedStiffness out;
  out.rows = unswept_rows(s, freqs_hz);
  for (auto [r, moduli] : {std::pair<SweepResult*, Moduli>{&rb, biaxial_moduli}, {&rs, shear_moduli}}) {
    if (r->points.empty()) continue;
    for (std::size_t k = 0; k < freqs_hz.size(); ++k) moduli(g, r->points[k], out.rows[k]);
    out.full_solves_hz.insert(out.full_solves_hz.end(), r->full_solves_hz.begin(), r->full_solves_hz.end());
    out.factorisations += r->factorisations;
  }
  return out;
}

}  // namespace tensor
