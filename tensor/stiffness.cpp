#include "tensor/stiffness.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "core/angular_frequency.hpp"
#include "upscaling/cell_strains.hpp"
#include "upscaling/tied_modulus.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/file_access.hpp"
#include "tensor/mpi_run.hpp"
#include "tensor/periodic_accuracy.hpp"

namespace tensor {

namespace {

using core::kTwoPi;

double worst(const engine::SparseSolver& s) {
  const std::vector<double> e = s.backward_errors();
  return e.empty() ? 0.0 : *std::max_element(e.begin(), e.end());
}

}  // namespace

SolidShear mean_shear_strains(const GridSystem& g, std::span<const zcomplex> x) {
  const int nx = static_cast<int>(g.nx), ny = static_cast<int>(g.ny);
  const drivers::SolidStrains s =
      drivers::mean_work_strains(core::TestKind::shear, drivers::SolutionView(x.data(), g.xnod, nx), nx, ny, g.h);
  return {s.solid1, s.solid3};
}

StiffnessComputation::StiffnessComputation(const Sample& sample, std::unique_ptr<engine::SparseSolver> solver,
                                           const engine::Options& options, TestChoice tests)
    : sample_(sample), grid_(sample.nx, sample.ny, sample.h), tests_(tests), solver_(std::move(solver)) {
  check_sample(sample);
  engine::Options o = options;
  if (tests.boundary == Boundary::periodic) {
    // The torus has no geometric ordering of its own: the engine orders it.
    periodic_ = std::make_unique<PeriodicGrid>(sample.nx, sample.ny, sample.h);
    o.grid = nullptr;
    solver_->analyse(periodic_->pattern, o);
    return;
  }
  biaxial_ = biaxial_test(grid_);
  shear_ = shear_test(grid_);
  o.grid = &grid_.places;
  solver_->analyse(grid_.pattern, o);
}

Stiffness StiffnessComputation::periodic_at(double omega, const std::vector<core::CellCoefficients>& cells,
                                            Solutions* keep) {
  const PeriodicGrid& g = *periodic_;
  PeriodicSystem sys;
  assemble_periodic(g, cells, omega, sys);
  if (on_factorise) on_factorise("periodic");
  solver_->factorise(sys.values);
  std::vector<zcomplex> x = sys.rhs;
  solver_->solve(x, kStrains);
  Stiffness s{};
  s.backward_error = worst(*solver_);
  const Tensor3 c = periodic_tensor(g, sys, x);
  s.c11 = c[0][0], s.c13 = c[0][1], s.c15 = c[0][2];
  s.c31 = c[1][0], s.c33 = c[1][1], s.c35 = c[1][2];
  s.c51 = c[2][0], s.c53 = c[2][1], s.c55 = c[2][2];
  s.bounds.cells_per_diffusion_length = cells_per_diffusion_length(cells, g.h, omega);
  if (job_ranks().size == 1) {
    bound_periodic(g, sys, x, c, *solver_, s.bounds);
  } else {
    const double none = std::nan("");
    s.bounds.condition = s.bounds.c11 = s.bounds.c13 = s.bounds.c33 = s.bounds.c55 = none;
    s.bounds.c15 = s.bounds.c35 = none;
  }
  if (keep) keep->periodic = std::move(x);
  return s;
}

Stiffness StiffnessComputation::at(double freq_hz, Solutions* keep) {
  const double omega = kTwoPi * freq_hz;
  const std::vector<core::CellCoefficients> cells = cell_coefficients(sample_, omega);
  if (periodic_) return periodic_at(omega, cells, keep);
  const std::size_t n = static_cast<std::size_t>(grid_.n);
  std::vector<zcomplex> values, x, rhs, raw;
  // A modulus whose test is not run is not a number.
  const zcomplex none{std::nan(""), std::nan("")};
  Stiffness s{none, none, none, none, none, 0.0, {}};
  s.bounds.cells_per_diffusion_length = cells_per_diffusion_length(cells, grid_.h, omega);
  // The bounds take a number of solves that depends on the values; under a
  // distributed backend every solve is collective and the solution lives on
  // one rank, so a job of several ranks reports no bound (not a number).
  const bool bounded = job_ranks().size == 1;
  if (!bounded) s.bounds.condition = s.bounds.c11 = s.bounds.c13 = s.bounds.c33 = s.bounds.c55 = std::nan("");
  auto solve = [&](const TestSetup& test, const char* name) {
    assemble(grid_, test, cells, omega, values, x);
    if (on_factorise) on_factorise(name);
    solver_->factorise(values);
    rhs = x;
    solver_->solve(x, 2);
    s.backward_error = std::max(s.backward_error, worst(*solver_));
    raw = x;
    for (int l = 0; l < 2; ++l) impose(test, l, std::span<zcomplex>(x).subspan(l * n, n));
  };
  const double width = static_cast<double>(grid_.nx) * grid_.h, height = static_cast<double>(grid_.ny) * grid_.h;
  if (tests_.biaxial) {
    solve(biaxial_, "biaxial");
    // Load 1: eps_xx = 1; load 2: eps_zz = 1. Mean stress = force / side.
    const PlateForces f1 = plate_forces(grid_, biaxial_, cells, omega, std::span<const zcomplex>(x).first(n));
    const PlateForces f2 = plate_forces(grid_, biaxial_, cells, omega, std::span<const zcomplex>(x).subspan(n, n));
    s.c11 = f1.right / height, s.c31 = f1.top / width;
    s.c13 = f2.right / height, s.c33 = f2.top / width;
    if (bounded) bound_biaxial(grid_, biaxial_, cells, omega, {values, rhs, raw, x}, *solver_, s.bounds);
    if (keep) keep->biaxial = x;
  }
  if (tests_.shear) {
    solve(shear_, "shear");
    const SolidShear on1 = mean_shear_strains(grid_, std::span<const zcomplex>(x).first(n));
    const SolidShear on3 = mean_shear_strains(grid_, std::span<const zcomplex>(x).subspan(n, n));
    s.c55 = drivers::tied_modulus({on1.solid1, on3.solid1, on1.solid3, on3.solid3});
    if (bounded) bound_shear(grid_, shear_, {values, rhs, raw, x}, *solver_, s.bounds);
    if (keep) keep->shear = x;
  }
  return s;
}

void StiffnessComputation::export_matrix(double freq_hz, const std::string& path) const {
  const double omega = kTwoPi * freq_hz;
  const std::vector<core::CellCoefficients> cells = cell_coefficients(sample_, omega);
  std::vector<zcomplex> values, rhs;
  const engine::Pattern& pattern = periodic_ ? periodic_->pattern : grid_.pattern;
  if (periodic_) {
    PeriodicSystem sys;
    assemble_periodic(*periodic_, cells, omega, sys);
    values = std::move(sys.values);
  } else {
    assemble(grid_, biaxial_, cells, omega, values, rhs);
  }
  std::string text = "%%MatrixMarket matrix coordinate complex symmetric\n";
  char line[128];
  std::snprintf(line, sizeof line, "%% %s test at %.17g Hz, lower triangle, prescribed rows kept as diagonal\n",
                periodic_ ? "periodic" : "biaxial", freq_hz);
  text += line;
  std::snprintf(line, sizeof line, "%lld %lld %lld\n", static_cast<long long>(pattern.n),
                static_cast<long long>(pattern.n), static_cast<long long>(values.size()));
  text += line;
  for (std::size_t p = 0; p < values.size(); ++p) {
    std::snprintf(line, sizeof line, "%lld %lld %.17g %.17g\n", static_cast<long long>(pattern.row[p] + 1),
                  static_cast<long long>(pattern.col[p] + 1), values[p].re, values[p].im);
    text += line;
  }
  write_file_atomically(path, text);
}

}  // namespace tensor
