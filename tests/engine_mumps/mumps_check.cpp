// Checks of the MUMPS backend, run under mpirun with 1, 2 or 3 ranks:
//   solve                the shear and compressional systems of a small grid,
//                        two frequencies on one analysis, against a dense
//                        solve on rank 0 and its own backward error (the
//                        values read in place, not copied)
//   shared               every rank builds the whole matrix, each hands over
//                        only its slice of the entries
//   out-of-core          the same solution with the factors on disk; bad
//                        folders refused
//   memory               a limit below the need stops every rank before the
//                        factorisation
//   singular             a zero pivot reported on every rank as MUMPS's -10
//   fail-analysis        the last rank hands over an entry outside the matrix
//   fail-factorisation   the last rank hands over too few values
// The last two must end the whole job (checked by expect_abort.cmake).
#include <mpi.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/capacities.hpp"
#include "core/test_kind.hpp"
#include "engine/mpi_job.hpp"
#include "engine/mpi_share.hpp"
#include "engine/mumps_errors.hpp"
#include "engine/mumps_solver.hpp"
#include "fem/element.hpp"
#include "sparse_io/grid_matrix.hpp"
#include "tests/fixtures/dense_solve.hpp"

namespace {

using engine::mpi::cell_row_band;
using engine::zcomplex;
using fixtures::dense_solve;

// A small finite-element system of the oscillatory tests, distributed by
// bands of cell rows; rank 0 can also assemble the whole matrix densely.
using cplx = std::complex<double>;

struct GridCase {
  core::TestKind kind = core::TestKind::shear;
  int nx = 6, ny = 5;
  double omega = 2 * 3.14159265358979 * 50.0, h = 0.01;
};

struct LocalSystem {
  engine::Pattern pattern;
  std::vector<engine::zcomplex> values;
};
// A stiff porous rock: positive definite strain energy, positive friction.
core::CellCoefficients cell_material(int j, int k) {
  const double s = 1.0 + 0.3 * ((j * 7 + k * 3) % 5);  // a few distinct cells
  return {s * 8e9, s * 4e9, s * 6e9, s * 3e9, s * 0.5e9, s * 1e9, s * 0.5e9, s * 6e9, s * 0.2e9,
          0,       0,       0,       0,       0,         0,       s * 2e9,   s * 5e8,  s * 1e9};
}

template <class Put>
void each_cell_entry(const GridCase& g, int first, int last, Put put) {
  fem::ElementMatrix ae;
  fem::ElementLoad be;
  int32_t u[20];
  for (int k = first; k <= last; ++k)
    for (int j = 1; j <= g.nx; ++j) {
      fem::element_system(g.kind, {j, k, g.nx, g.ny}, cell_material(j, k), g.omega, g.h, ae, be);
      yale_bench::cell_unknowns(g.nx, j, k, u);
      for (int a = 1; a <= 20; ++a)
        for (int b = 1; b <= a; ++b) put(u[a - 1] - 1, u[b - 1] - 1, ae(a, b), be(a), b == a);
    }
}

// The entries of the cells of rows first..last: each rank assembles the
// lower triangle of its own cells' 20 x 20 blocks (prescribed unknowns
// eliminated from row and column, their diagonal kept).
LocalSystem assemble_band(const GridCase& g, int first, int last) {
  LocalSystem s;
  s.pattern.n = core::unknowns_of(g.nx, g.ny);
  each_cell_entry(g, first, last, [&](int64_t r, int64_t c, engine::zcomplex v, engine::zcomplex, bool) {
    s.pattern.row.push_back(std::max(r, c));
    s.pattern.col.push_back(std::min(r, c));
    s.values.push_back(v);
  });
  return s;
}

// The whole matrix, dense and symmetric (both triangles), and the load.
void assemble_dense(const GridCase& g, std::vector<cplx>& a, std::vector<cplx>& load) {
  const int64_t n = core::unknowns_of(g.nx, g.ny);
  a.assign(static_cast<size_t>(n * n), 0.0);
  load.assign(static_cast<size_t>(n), 0.0);
  each_cell_entry(g, 1, g.ny, [&](int64_t r, int64_t c, engine::zcomplex v, engine::zcomplex f, bool diagonal) {
    a[static_cast<size_t>(r + c * n)] += cplx(v.re, v.im);
    if (!diagonal) a[static_cast<size_t>(c + r * n)] += cplx(v.re, v.im);
    if (diagonal) load[static_cast<size_t>(r)] += cplx(f.re, f.im);
  });
}

int failures = 0;
void expect(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    ++failures;
  }
}

double relative_difference(const cplx* x, const cplx* y, int64_t n) {
  double d = 0, s = 0;
  for (int64_t i = 0; i < n; ++i) {
    d = std::max(d, std::abs(x[i] - y[i]));
    s = std::max(s, std::abs(y[i]));
  }
  return d / s;
}

// Load column and a deterministic pseudo-random column.
std::vector<cplx> two_columns(const std::vector<cplx>& load) {
  std::vector<cplx> b(load);
  unsigned state = 12345;
  auto next = [&] { return (state = state * 1103515245u + 12345u) / 4294967296.0 - 0.5; };
  for (size_t i = 0; i < load.size(); ++i) b.push_back({next(), next()});
  return b;
}

std::vector<cplx> solve_grid(const GridCase& g, engine::mpi::Ranks r, const engine::Options& options, bool refine,
                             engine::SparseSolver* solver, const std::vector<cplx>& b, bool whole = false) {
  auto [first, last] = whole ? std::pair{1, g.ny} : cell_row_band(g.ny, r.rank, r.size);
  LocalSystem s = assemble_band(g, first, last);
  if (solver->statistics().n == 0) solver->analyse(s.pattern, options);
  // Each rank's own band: MUMPS reads the values where they are (they live
  // until the solve, whose refinement reads them again); the shared slices
  // go through the backend's copy.
  if (whole) solver->factorise(s.values);
  else solver->factorise_kept(s.values);
  std::vector<cplx> x = r.rank == 0 ? b : std::vector<cplx>{};
  solver->solve({reinterpret_cast<zcomplex*>(x.data()), x.size()}, 2, refine);
  return x;
}

void check_solve(engine::mpi::Ranks r, bool shared) {
  for (core::TestKind kind : {core::TestKind::shear, core::TestKind::compressional}) {
    auto solver = shared ? engine::mpi::share_by_rank(engine::make_mumps_solver()) : engine::make_mumps_solver();
    for (double omega : {2 * M_PI * 50.0, 2 * M_PI * 5e3}) {  // one analysis, two factorisations
      GridCase g{kind, 6, 5, omega, 0.01};
      std::vector<cplx> a, load;
      assemble_dense(g, a, load);
      const int64_t n = static_cast<int64_t>(load.size());
      const std::vector<cplx> b = two_columns(load);
      const std::vector<cplx> x = solve_grid(g, r, {}, true, solver.get(), b, shared);
      const std::vector<double> berr = solver->backward_errors();
      const std::vector<cplx> plain = solve_grid(g, r, {}, false, solver.get(), b, shared);
      if (r.rank != 0) continue;
      const std::vector<cplx> ref = dense_solve(a, b, n);
      const std::string tag = std::string(kind == core::TestKind::shear ? "shear" : "compressional") +
                              " omega " + std::to_string(omega);
      for (int c = 0; c < 2; ++c) {
        const double diff = relative_difference(&x[c * n], &ref[c * n], n);
        expect(diff < 1e-9, tag + ": column " + std::to_string(c) + " differs from the dense solve by " +
                                std::to_string(diff));
        expect(relative_difference(&plain[c * n], &ref[c * n], n) < 1e-9, tag + ": unrefined solve differs");
        expect(berr.size() == 2 && berr[c] < 1e-13,
               tag + ": backward error reported " + (berr.size() == 2 ? std::to_string(berr[c]) : "missing"));
      }
      const engine::Statistics& st = solver->statistics();
      expect(st.n == n && st.factor_entries >= n && st.flops > 0 && st.memory_bytes > 0,
             tag + ": statistics incomplete");
      expect(solver->backward_errors().empty(), tag + ": an unrefined solve reports backward errors");
    }
  }
}

void expect_refused(const std::string& dir, const std::string& words) {
  engine::Options o;
  o.out_of_core_dir = dir;
  GridCase g;
  try {
    auto solver = engine::make_mumps_solver();
    auto [first, last] = cell_row_band(g.ny, 0, 1);
    solver->analyse(assemble_band(g, first, last).pattern, o);
    expect(false, "out-of-core folder " + dir + " accepted");
  } catch (const std::invalid_argument& e) {
    expect(std::strstr(e.what(), words.c_str()) != nullptr, std::string("refusal reads: ") + e.what());
  }
}

// The factors go to a folder of this job's own under TMPDIR (the test's
// build folder), made anew by rank 0 and removed at the end.
void check_out_of_core(engine::mpi::Ranks r) {
  const std::string dir = (std::filesystem::temp_directory_path() / ("mumps_ooc_np" + std::to_string(r.size))).string();
  if (r.rank == 0) std::filesystem::remove_all(dir), std::filesystem::create_directories(dir);
  MPI_Barrier(MPI_COMM_WORLD);
  GridCase g{core::TestKind::compressional, 8, 7, 2 * M_PI * 100.0, 0.01};
  std::vector<cplx> a, load;
  assemble_dense(g, a, load);
  const std::vector<cplx> b = two_columns(load);
  auto in_core = engine::make_mumps_solver();
  const std::vector<cplx> x = solve_grid(g, r, {}, true, in_core.get(), b);
  engine::Options o;
  o.out_of_core_dir = dir;
  auto on_disk = engine::make_mumps_solver();
  const std::vector<cplx> y = solve_grid(g, r, o, true, on_disk.get(), b);
  if (r.rank == 0) {
    const bool files = !std::filesystem::is_empty(dir);
    expect(files, "no factor files in the out-of-core folder");
    const double diff = relative_difference(y.data(), x.data(), static_cast<int64_t>(x.size()));
    expect(diff < 1e-12, "out-of-core solution differs from in-core by " + std::to_string(diff));
  }
  expect_refused(dir + "/missing", "does not exist");
  const std::string file = dir + "/plain_file";
  if (r.rank == 0) std::fclose(std::fopen(file.c_str(), "w"));
  MPI_Barrier(MPI_COMM_WORLD);
  expect_refused(file, "is not a folder");
  MPI_Barrier(MPI_COMM_WORLD);
  if (r.rank == 0) std::filesystem::remove_all(dir);
}

void check_memory_and_singular(engine::mpi::Ranks r, bool singular) {
  auto solver = engine::make_mumps_solver();
  if (!singular) {
    GridCase g;
    auto [first, last] = cell_row_band(g.ny, r.rank, r.size);
    engine::Options o;
    o.memory_limit = 1000;
    try {
      solver->analyse(assemble_band(g, first, last).pattern, o);
      expect(false, "a limit of 1000 bytes let the factorisation go ahead");
    } catch (const engine::OutOfMemory& e) {
      expect(e.needed_bytes > 1000 && e.available_bytes == 1000 && std::strstr(e.what(), "on rank ") != nullptr,
             std::string("out-of-memory report reads: ") + e.what());
    }
    return;
  }
  // diag(1, 2, ..., 0, ...) with the zero on the last rank's share.
  const int64_t n = 4 * r.size;
  engine::Pattern p;
  p.n = n;
  std::vector<zcomplex> v;
  for (int64_t i = 4 * r.rank; i < 4 * r.rank + 4; ++i) {
    p.row.push_back(i);
    p.col.push_back(i);
    v.push_back({i == n - 2 ? 0.0 : 1.0 + static_cast<double>(i), 0.0});
  }
  solver->analyse(p, {});
  try {
    solver->factorise(v);
    expect(false, "a zero pivot went unnoticed");
  } catch (const engine::MumpsError& e) {
    expect(e.code == -10 && std::strstr(e.what(), "singular") && std::strstr(e.what(), "factorisation"),
           std::string("singular report reads: ") + e.what());
  }
}

void fail_on_last_rank(engine::mpi::Ranks r, bool in_analysis) {
  GridCase g;
  auto [first, last] = cell_row_band(g.ny, r.rank, r.size);
  LocalSystem s = assemble_band(g, first, last);
  const bool last_rank = r.rank == r.size - 1;
  if (in_analysis && last_rank) {
    s.pattern.row.push_back(s.pattern.n);
    s.pattern.col.push_back(0);
  }
  if (!in_analysis && last_rank) s.values.pop_back();
  auto solver = engine::make_mumps_solver();
  solver->analyse(s.pattern, {});
  solver->factorise(s.values);
}

}  // namespace

int main(int argc, char** argv) {
  return engine::mpi::run_job(argc, argv, [&](engine::mpi::Ranks r) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "solve" || mode == "shared") check_solve(r, mode == "shared");
    else if (mode == "out-of-core") check_out_of_core(r);
    else if (mode == "memory" || mode == "singular") check_memory_and_singular(r, mode == "singular");
    else if (mode == "fail-analysis" || mode == "fail-factorisation") fail_on_last_rank(r, mode == "fail-analysis");
    else {
      std::fprintf(stderr, "usage: mumps_check solve|shared|out-of-core|memory|singular|fail-analysis|fail-factorisation\n");
      return 2;
    }
    if (r.rank == 0 && failures == 0) std::printf("%s: passed on %d rank(s)\n", mode.c_str(), r.size);
    return failures == 0 ? 0 : 1;
  });
}
