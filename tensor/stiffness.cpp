#include "tensor/stiffness.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <utility>

#include "core/angular_frequency.hpp"
#include "core/heap_reuse.hpp"
#include "core/heap_warm.hpp"
#include "upscaling/cell_strains.hpp"
#include "upscaling/tied_modulus.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/file_access.hpp"
#include "tensor/mpi_run.hpp"
#include "tensor/periodic_accuracy.hpp"
#include "tensor/side_by_side.hpp"
#include "core/memory_room.hpp"

namespace tensor {

namespace {

using core::kTwoPi;

double worst(const engine::SparseSolver& s) {
  const std::vector<double> e = s.backward_errors();
  return e.empty() ? 0.0 : *std::max_element(e.begin(), e.end());
}

// In a job of several ranks that solves every frequency directly nothing
// after the analysis reads the rows of the band's pattern (the assembly
// finds an entry by its row's start and its column; the bounds run in jobs
// of one rank), and the distributed backend keeps its own 32-bit copy of
// them. A reduced sweep multiplies by the band's parts: the rows stay.
void release_rows(engine::Pattern& pattern) { std::vector<engine::Index>().swap(pattern.row); }

}  // namespace

SolidShear mean_shear_strains(const GridSystem& g, std::span<const zcomplex> x) {
  const int nx = static_cast<int>(g.nx), ny = static_cast<int>(g.ny);
  const upscaling::SolidStrains s =
      upscaling::mean_work_strains(core::TestKind::shear, upscaling::SolutionView(x.data(), g.xnod, nx), nx, ny, g.h);
  return {s.solid1, s.solid3};
}

StiffnessComputation::StiffnessComputation(const Sample& sample, std::unique_ptr<engine::SparseSolver> solver,
                                           const engine::Options& options, TestChoice tests)
    : sample_(sample), tests_(tests), solver_(std::move(solver)) {
  // The grid's and the analysis's temporaries reuse each other's pages;
  // the heap is given back before the pair's memory is weighed.
  auto reuse = std::make_unique<core::HeapReuse>();
  const bool periodic = tests.boundary == Boundary::periodic;
  const CellRows band = band_of_rank(sample.ny);
  const bool lean = tests.lean && !periodic && solver_->takes_lower() && job_ranks().size == 1;
  threads_ = options.threads > 0 ? options.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  // Every rank builds its share (or fails) before any enters the analysis,
  // which is collective. Under periodic boundaries the sealed grid keeps
  // its numbering alone, for the cell fields.
  all_ranks_pass([&] {
    check_sample(sample);
    if (lean) core::warm_heap(grid_lower_bytes(sample.nx, sample.ny), threads_ > 1);
    if (lean) grid_.emplace(sample.nx, sample.ny, sample.h, PatternLayout::engine_lower, threads_);
    else grid_.emplace(sample.nx, sample.ny, sample.h, periodic ? 1 : band.first, periodic ? 0 : band.last);
    if (periodic) {
      periodic_ = std::make_unique<PeriodicGrid>(sample.nx, sample.ny, sample.h, band.first, band.last);
      return;
    }
    biaxial_ = biaxial_test(*grid_);
    shear_ = shear_test(*grid_);
  });
  engine::Options o = options;
  if (periodic) {
    // The torus has no geometric ordering of its own: the engine orders it.
    o.grid = nullptr;
    solver_->analyse(periodic_->pattern, o);
    if (job_ranks().size > 1 && tests.lean) release_rows(periodic_->pattern);
    return;
  }
  o.grid = &grid_->places;
  if (grid_->lower) solver_->analyse_lower(grid_->lower, o);
  else solver_->analyse(grid_->pattern, o);
  if (job_ranks().size > 1 && tests.lean) release_rows(grid_->pattern);
  reuse.reset();
  if (tests_.biaxial && tests_.shear) pair_solvers(options);
}

engine::Statistics StiffnessComputation::statistics() const {
  engine::Statistics st = solver_->statistics();
  if (!pair_[0]) return st;
  // Side by side: the time of the slower test.
  for (const auto& p : pair_) {
    st.factorise_seconds = std::max(st.factorise_seconds, p->statistics().factorise_seconds);
    st.solve_seconds = std::max(st.solve_seconds, p->statistics().solve_seconds);
  }
  return st;
}

// With two threads or more, two solvers of one thread each that share the
// analysis, each with factors of its own, for the two sealed tests side by
// side, where the memory holds both (the own engine on one rank, factors
// in memory).
void StiffnessComputation::pair_solvers(const engine::Options& options) {
  const int threads =
      options.threads > 0 ? options.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (threads < 2 || job_ranks().size != 1 || !options.out_of_core_dir.empty()) return;
  std::unique_ptr<engine::SparseSolver> a = solver_->twin(1);
  if (!a) return;
  const core::MemoryRoom room = core::memory_room();
  const std::int64_t limit = options.memory_limit > 0 ? options.memory_limit : room.bytes;
  if (limit >= 0 && 2 * a->memory_needed() > limit) return;
  pair_[1] = solver_->twin(1);
  pair_[0] = std::move(a);
}

Stiffness StiffnessComputation::periodic_at(double omega, const std::vector<core::CellCoefficients>& cells,
                                            Solutions* keep, engine::SparseSolver& solver) {
  const PeriodicGrid& g = *periodic_;
  PeriodicSystem sys;
  assemble_periodic(g, cells, omega, sys);
  sum_on_leader(sys.rhs);  // each rank assembled its band's share
  sum_on_leader(std::span<zcomplex>(&sys.affine[0][0], kStrains * kStrains));
  if (on_factorise) on_factorise("periodic");
  solver.factorise_kept(sys.values);  // sys lives until the solves are done
  std::vector<zcomplex> x = sys.rhs;
  solver.solve(x, kStrains);
  Stiffness s{};
  s.backward_error = worst(solver);
  const Tensor3 c = periodic_tensor(g, sys, x);
  s.c11 = c[0][0], s.c13 = c[0][1], s.c15 = c[0][2];
  s.c31 = c[1][0], s.c33 = c[1][1], s.c35 = c[1][2];
  s.c51 = c[2][0], s.c53 = c[2][1], s.c55 = c[2][2];
  s.bounds.cells_per_diffusion_length = least_over_ranks(cells_per_diffusion_length(cells, g.h, omega));
  if (job_ranks().size == 1) {
    bound_periodic(g, sys, x, c, solver, s.bounds);
  } else {
    const double none = std::nan("");
    s.bounds.condition = s.bounds.c11 = s.bounds.c13 = s.bounds.c33 = s.bounds.c55 = none;
    s.bounds.c15 = s.bounds.c35 = none;
  }
  if (keep) keep->periodic = std::move(x);
  return s;
}

void StiffnessComputation::solve_test(bool biaxial, engine::SparseSolver& solver,
                                      const std::vector<core::CellCoefficients>& cells, double omega, Stiffness& s,
                                      std::vector<zcomplex>* keep) {
  const GridSystem& grid = *grid_;
  const std::size_t n = static_cast<std::size_t>(grid.n);
  const TestSetup& test = biaxial ? biaxial_ : shear_;
  std::vector<zcomplex> values, x, rhs, raw;
  // The bounds take a number of solves that depends on the values; under a
  // distributed backend every solve is collective and the solution lives on
  // one rank, so a job of several ranks reports no bound (not a number).
  const bool bounded = job_ranks().size == 1;
  // The values and the loads take fresh pages, cleared on two threads.
  const bool two = !pair_[0] && threads_ > 1;  // this test has the threads to itself
  core::warm_heap(16 * (grid.entries() + 2 * grid.n), two);
  assemble(grid, test, cells, omega, values, x, pair_[0] ? 1 : threads_);
  sum_on_leader(x);  // each rank assembled its band's share
  if (on_factorise) on_factorise(biaxial ? "biaxial" : "shear");
  std::span<const zcomplex> matrix = values;
  if (grid.lower) {  // the values become the solver's: one copy
    solver.factorise_owned(std::move(values));
    matrix = solver.matrix_values();
  } else {
    solver.factorise_kept(values);  // values live until the solves are done
  }
  // The bounds' residuals want the loads and the raw solutions; their
  // adjoints and estimator starts share the loads' sweeps of the factor.
  TestFunctionals bounds_ahead;
  if (bounded) {
    rhs = std::move(x);
    bounds_ahead = test_functionals(grid, test, cells, omega, biaxial);
    s.backward_error = std::max(s.backward_error, solve_with_bounds(solver, test, rhs, x, bounds_ahead));
  } else {
    solver.solve(x, 2);
    s.backward_error = std::max(s.backward_error, worst(solver));
  }
  if (bounded) raw = x;
  for (int l = 0; l < 2; ++l) impose(test, l, std::span<zcomplex>(x).subspan(l * n, n));
  if (biaxial) {
    const double width = static_cast<double>(grid.nx) * grid.h, height = static_cast<double>(grid.ny) * grid.h;
    // Load 1: eps_xx = 1; load 2: eps_zz = 1. Mean stress = force / side.
    // Each rank holds the law of its band's cells: it adds their share of
    // the forces on the solution rank 0 sends, and rank 0 sums the shares.
    broadcast_from_leader(x);
    const PlateForces f1 = plate_forces(grid, test, cells, omega, std::span<const zcomplex>(x).first(n));
    const PlateForces f2 = plate_forces(grid, test, cells, omega, std::span<const zcomplex>(x).subspan(n, n));
    std::array<zcomplex, 4> forces{f1.right, f1.top, f2.right, f2.top};
    sum_on_leader(forces);
    s.c11 = forces[0] / height, s.c31 = forces[1] / width;
    s.c13 = forces[2] / height, s.c33 = forces[3] / width;
    if (bounded) bound_biaxial(grid, bounds_ahead, {matrix, rhs, raw, x, two}, solver, s.bounds);
  } else {
    const SolidShear on1 = mean_shear_strains(grid, std::span<const zcomplex>(x).first(n));
    const SolidShear on3 = mean_shear_strains(grid, std::span<const zcomplex>(x).subspan(n, n));
    s.c55 = upscaling::tied_modulus({on1.solid1, on3.solid1, on1.solid3, on3.solid3});
    if (bounded) bound_shear(grid, bounds_ahead, {matrix, rhs, raw, x, two}, solver, s.bounds);
  }
  if (keep) *keep = std::move(x);
}

Stiffness StiffnessComputation::at(double freq_hz, Solutions* keep) {
  // The matrix values, the solves' and the bounds' vectors and the
  // residuals' rows are built and dropped many times a frequency: freed
  // blocks serve the next instead of fresh pages cleared by the kernel.
  const core::HeapReuse reuse;
  const double omega = kTwoPi * freq_hz;
  const std::vector<core::CellCoefficients> cells = cell_coefficients(sample_, omega);
  if (periodic_) return periodic_at(omega, cells, keep, *solver_);
  // A modulus whose test is not run is not a number.
  const zcomplex none{std::nan(""), std::nan("")};
  Stiffness s{none, none, none, none, none, 0.0, {}};
  s.bounds.cells_per_diffusion_length = least_over_ranks(cells_per_diffusion_length(cells, grid_->h, omega));
  if (job_ranks().size != 1) s.bounds.condition = s.bounds.c11 = s.bounds.c13 = s.bounds.c33 = s.bounds.c55 = std::nan("");
  Stiffness b = s, sh = s;
  auto biaxial = [&](engine::SparseSolver& on) { solve_test(true, on, cells, omega, b, keep ? &keep->biaxial : nullptr); };
  auto shear = [&](engine::SparseSolver& on) { solve_test(false, on, cells, omega, sh, keep ? &keep->shear : nullptr); };
  if (pair_[0]) {
    side_by_side([&] { biaxial(*pair_[0]); }, [&] { shear(*pair_[1]); });
  } else {
    if (tests_.biaxial) biaxial(*solver_);
    if (tests_.shear) shear(*solver_);
  }
  s.c11 = b.c11, s.c13 = b.c13, s.c31 = b.c31, s.c33 = b.c33, s.c55 = sh.c55;
  s.bounds.c11 = b.bounds.c11, s.bounds.c13 = b.bounds.c13, s.bounds.c33 = b.bounds.c33, s.bounds.c55 = sh.bounds.c55;
  s.bounds.condition = std::max(b.bounds.condition, sh.bounds.condition);
  s.backward_error = std::max(b.backward_error, sh.backward_error);
  return s;
}

void StiffnessComputation::export_matrix(double freq_hz, const std::string& path) const {
  const double omega = kTwoPi * freq_hz;
  const std::vector<core::CellCoefficients> cells = cell_coefficients(sample_, omega);
  std::vector<zcomplex> values, rhs;
  // The whole matrix, also where this rank holds a band of it alone.
  std::optional<PeriodicGrid> torus;
  std::optional<GridSystem> sealed;
  if (periodic_) {
    torus.emplace(sample_.nx, sample_.ny, sample_.h);
    PeriodicSystem sys;
    assemble_periodic(*torus, cells, omega, sys);
    values = std::move(sys.values);
  } else {
    sealed.emplace(sample_.nx, sample_.ny, sample_.h);
    assemble(*sealed, biaxial_, cells, omega, values, rhs);
  }
  const engine::Pattern& pattern = torus ? torus->pattern : sealed->pattern;
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
