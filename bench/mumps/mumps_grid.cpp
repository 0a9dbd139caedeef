// The MUMPS backend on the system of an nx x ny grid of one porous rock,
// distributed by bands of cell rows, run under mpirun:
//
//   mpirun -np P mumps_grid NX NY [--plan] [--out-of-core DIR] [--ordering automatic|metis|amd]
//
// --plan: the analysis alone and MUMPS's estimates per rank. Otherwise one
// factorisation and one refined solve, with the time of each phase and each
// rank's memory (MUMPS's estimate, what it allocated, the process's peak).
#include <mpi.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/capacities.hpp"
#include "engine/mpi_job.hpp"
#include "engine/mumps_plan.hpp"
#include "engine/mumps_solver.hpp"
#include "fem/element.hpp"
#include "sparse_io/grid_matrix.hpp"

namespace {

struct Args {
  int nx = 0, ny = 0;
  bool plan = false;
  engine::Options options;
};

Args parse(int argc, char** argv) {
  Args a;
  if (argc < 3) throw std::invalid_argument("usage: mumps_grid NX NY [--plan] [--out-of-core DIR] [--ordering automatic|metis|amd]");
  a.nx = std::atoi(argv[1]);
  a.ny = std::atoi(argv[2]);
  if (a.nx < 1 || a.ny < 1 || a.nx > 20000 || a.ny > 20000)
    throw std::invalid_argument(std::string("grid ") + argv[1] + " x " + argv[2] + ", expected 1 to 20000 cells a side");
  for (int i = 3; i < argc; ++i) {
    const std::string w = argv[i];
    if (w == "--plan") a.plan = true;
    else if (w == "--out-of-core" && i + 1 < argc) a.options.out_of_core_dir = argv[++i];
    else if (w == "--ordering" && i + 1 < argc) {
      const std::string o = argv[++i];
      a.options.ordering = o == "metis" ? engine::Ordering::metis
                           : o == "amd" ? engine::Ordering::minimum_degree : engine::Ordering::automatic;
    } else throw std::invalid_argument("mumps_grid: unknown argument '" + w + "'");
  }
  return a;
}

// The lower triangle of the cells of rows first..last, one uniform rock.
void assemble(const Args& a, int first, int last, engine::Pattern& p, std::vector<engine::zcomplex>* values) {
  const core::CellCoefficients rock{8e9, 4e9, 6e9, 3e9, 0.5e9, 1e9, 0.5e9, 6e9, 0.2e9, 0, 0, 0, 0, 0, 0, 2e9, 5e8, 1e9};
  p.n = core::unknowns_of(a.nx, a.ny);
  const std::size_t entries = static_cast<std::size_t>(last - first + 1) * static_cast<std::size_t>(a.nx) * 210;
  p.row.reserve(entries);
  p.col.reserve(entries);
  if (values) values->reserve(entries);
  fem::ElementMatrix ae;
  fem::ElementLoad be;
  int32_t u[20];
  for (int k = first; k <= last; ++k)
    for (int j = 1; j <= a.nx; ++j) {
      if (values) fem::element_system(core::TestKind::shear, {j, k, a.nx, a.ny}, rock, 2 * 3.141592653589793 * 100, 0.01, ae, be);
      yale_bench::cell_unknowns(a.nx, j, k, u);
      for (int r = 1; r <= 20; ++r)
        for (int c = 1; c <= r; ++c) {
          p.row.push_back(std::max(u[r - 1], u[c - 1]) - 1);
          p.col.push_back(std::min(u[r - 1], u[c - 1]) - 1);
          if (values) values->push_back(ae(r, c));
        }
    }
}

std::vector<double> gathered(double mine) {
  int size = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  std::vector<double> all(static_cast<std::size_t>(size));
  MPI_Gather(&mine, 1, MPI_DOUBLE, all.data(), 1, MPI_DOUBLE, 0, MPI_COMM_WORLD);
  return all;
}

double peak_rss_mb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) * 1024 / 1e6;
}

// Processor time of this process so far (all its threads), seconds: on a
// shared machine a steadier measure than the elapsed time.
double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

void run(const Args& a, engine::mpi::Ranks r, int first, int last) {
  engine::Pattern p;
  std::vector<engine::zcomplex> values;
  assemble(a, first, last, p, &values);
  auto solver = engine::make_mumps_solver();
  solver->analyse(p, a.options);
  const auto estimate = gathered(static_cast<double>(solver->memory_needed()) / 1e6);
  const double cpu_before = cpu_seconds();
  solver->factorise(values);
  const auto cpu = gathered(cpu_seconds() - cpu_before);
  std::vector<engine::zcomplex> b(r.rank == 0 ? static_cast<std::size_t>(p.n) : 0, engine::zcomplex{1.0, 0.0});
  solver->solve(b, 1);
  const engine::Statistics& s = solver->statistics();
  const auto allocated = gathered(static_cast<double>(s.memory_bytes) / 1e6);
  const auto peak = gathered(peak_rss_mb());
  if (r.rank != 0) return;
  std::printf("grid %d x %d, %d rank(s), n %lld, %s\n", a.nx, a.ny, r.size, static_cast<long long>(s.n), s.ordering.c_str());
  std::printf("  analysis %.2f s, factorisation %.2f s, solve %.2f s (%d refinement steps, backward error %.2e)\n",
              s.analyse_seconds, s.factorise_seconds, s.solve_seconds, s.refinement_steps, s.backward_error);
  std::printf("  factor entries %lld, flops %.4g\n", static_cast<long long>(s.factor_entries), s.flops);
  for (int k = 0; k < r.size; ++k)
    std::printf("  rank %d: estimated %.0f MB, MUMPS allocated %.0f MB, process peak %.0f MB, factorisation CPU %.1f s\n",
                k, estimate[k], allocated[k], peak[k], cpu[k]);
}

}  // namespace

int main(int argc, char** argv) {
  return engine::mpi::run_job(argc, argv, [&](engine::mpi::Ranks r) {
    const Args a = parse(argc, argv);
    const auto [first, last] = engine::mpi::cell_row_band(a.ny, r.rank, r.size);
    if (!a.plan) {
      run(a, r, first, last);
      return 0;
    }
    engine::Pattern p;
    assemble(a, first, last, p, nullptr);
    const engine::MumpsPlan plan = engine::plan_mumps(p, a.options);
    const auto peak = gathered(peak_rss_mb());
    if (r.rank == 0) {
      std::printf("grid %d x %d\n", a.nx, a.ny);
      engine::print_plan(stdout, plan);
      const auto top = std::max_element(peak.begin(), peak.end());
      std::printf("  analysis: process peak %.0f MB on rank %d, %.0f MB on all ranks together\n", *top,
                  static_cast<int>(top - peak.begin()), std::accumulate(peak.begin(), peak.end(), 0.0));
    }
    return 0;
  });
}
