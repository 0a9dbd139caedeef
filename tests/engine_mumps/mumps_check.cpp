// Checks of the MUMPS backend, run under mpirun with 1, 2 or 3 ranks:
//   solve                the shear and compressional systems of a small grid,
//                        two frequencies on one analysis, against a dense
//                        solve on rank 0 and its own backward error (each
//                        rank's band of cells, the values read in place)
//   shared               every rank builds the whole matrix, each hands over
//                        only its slice of the entries
//   out-of-core          solve, with the factors on disk; bad folders
//                        refused
//   memory               a limit below the need stops every rank before the
//                        factorisation
//   singular             a zero pivot reported on every rank as MUMPS's -10
//   fail-analysis        the last rank hands over an entry outside the matrix
//   fail-factorisation   the last rank hands over too few values
// The last two must end the whole job (checked by expect_abort.cmake).
#include <mpi.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
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
#include "tests/engine/support.hpp"

namespace {

using namespace engine_test;
using engine::mpi::Ranks;

int failures = 0;
void expect(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    ++failures;
  }
}

// A stiff porous rock: positive definite strain energy, positive friction.
core::CellCoefficients cell_material(int j, int k) {
  const double s = 1.0 + 0.3 * ((j * 7 + k * 3) % 5);  // a few distinct cells
  return {s * 8e9, s * 4e9, s * 6e9, s * 3e9, s * 0.5e9, s * 1e9, s * 0.5e9, s * 6e9, s * 0.2e9,
          0,       0,       0,       0,       0,         0,       s * 2e9,   s * 5e8,  s * 1e9};
}

// The lower triangle of the 20 x 20 element blocks of the cells of rows
// first..last of an nx x ny grid of 1 cm cells (prescribed unknowns
// eliminated from row and column, their diagonal kept): one rank's share of
// the test's matrix, or all of it.
Coo band(core::TestKind kind, int nx, int ny, double omega, std::pair<int, int> rows) {
  Coo s;
  s.pattern.n = core::unknowns_of(nx, ny);
  fem::ElementMatrix ae;
  fem::ElementLoad be;
  int32_t u[20];
  for (int k = rows.first; k <= rows.second; ++k)
    for (int j = 1; j <= nx; ++j) {
      fem::element_system(kind, {j, k, nx, ny}, cell_material(j, k), omega, 0.01, ae, be);
      yale_bench::cell_unknowns(nx, j, k, u);
      for (int a = 1; a <= 20; ++a)
        for (int b = 1; b <= a; ++b) s.add(u[a - 1] - 1, u[b - 1] - 1, ae(a, b));
    }
  return s;
}

// b (two columns) solved on rank 0 (empty elsewhere) with the solver's factors.
std::vector<zcomplex> solved(engine::SparseSolver& solver, Ranks r, const std::vector<zcomplex>& b, bool refine) {
  std::vector<zcomplex> x = r.rank == 0 ? b : std::vector<zcomplex>{};
  solver.solve(x, 2, refine);
  return x;
}

// With factors on disk where `o` names a folder.
void check_solve(Ranks r, bool shared, const engine::Options& o = {}) {
  for (core::TestKind kind : {core::TestKind::shear, core::TestKind::compressional}) {
    auto solver = shared ? engine::mpi::share_by_rank(engine::make_mumps_solver()) : engine::make_mumps_solver();
    for (double omega : {2 * M_PI * 50.0, 2 * M_PI * 5e3}) {  // one analysis, two factorisations
      const Coo s = band(kind, 6, 5, omega, shared ? std::pair{1, 5} : engine::mpi::cell_row_band(5, r.rank, r.size));
      const int64_t n = s.pattern.n;
      const std::vector<zcomplex> b = random_block(n, 2, 12345);
      if (solver->statistics().n == 0) solver->analyse(s.pattern, o);
      // Each rank's own band is read where it is (it lives until the
      // refinement has read it again); the shared slices go through a copy.
      if (shared) solver->factorise(s.values);
      else solver->factorise_kept(s.values);
      if (!o.out_of_core_dir.empty()) expect(!std::filesystem::is_empty(o.out_of_core_dir), "no factor files on disk");
      const std::vector<zcomplex> x = solved(*solver, r, b, true);
      const std::vector<double> berr = solver->backward_errors();
      const std::vector<zcomplex> plain = solved(*solver, r, b, false);
      if (r.rank != 0) continue;
      const std::vector<cld> ref = dense_solve(band(kind, 6, 5, omega, {1, 5}), b);
      const std::string tag = std::string(kind == core::TestKind::shear ? "shear" : "compressional") + " omega " +
                              std::to_string(omega) + ": ";
      const double diff = relative_difference(x.data(), ref);
      expect(diff < 1e-9, tag + "the solutions differ from the dense solve's by " + std::to_string(diff));
      expect(relative_difference(plain.data(), ref) < 1e-9, tag + "the unrefined solutions differ");
      expect(berr.size() == 2 && std::max(berr[0], berr[1]) < 1e-13, tag + "backward errors missing or large");
      expect(solver->backward_errors().empty(), tag + "an unrefined solve reports backward errors");
      const engine::Statistics& st = solver->statistics();
      expect(st.n == n && st.factor_entries >= n && st.flops > 0 && st.memory_bytes > 0, tag + "statistics incomplete");
    }
  }
}

void expect_refused(const std::string& dir, const std::string& words) {
  engine::Options o;
  o.out_of_core_dir = dir;
  try {
    engine::make_mumps_solver()->analyse(band(core::TestKind::shear, 6, 5, 1.0, {1, 5}).pattern, o);
    expect(false, "out-of-core folder " + dir + " accepted");
  } catch (const std::invalid_argument& e) {
    expect(std::strstr(e.what(), words.c_str()) != nullptr, std::string("refusal reads: ") + e.what());
  }
}

// The factors go to a folder of this job's own under TMPDIR (the test's
// build folder), made anew by rank 0 and removed at the end.
void check_out_of_core(Ranks r) {
  const std::string dir = (std::filesystem::temp_directory_path() / ("mumps_ooc_np" + std::to_string(r.size))).string();
  if (r.rank == 0) std::filesystem::remove_all(dir);
  if (r.rank == 0) std::filesystem::create_directories(dir);
  MPI_Barrier(MPI_COMM_WORLD);
  engine::Options o;
  o.out_of_core_dir = dir;
  check_solve(r, false, o);
  expect_refused(dir + "/missing", "does not exist");
  const std::string file = dir + "/plain_file";
  if (r.rank == 0) std::fclose(std::fopen(file.c_str(), "w"));
  MPI_Barrier(MPI_COMM_WORLD);
  expect_refused(file, "is not a folder");
  MPI_Barrier(MPI_COMM_WORLD);
  if (r.rank == 0) std::filesystem::remove_all(dir);
}

void check_memory(Ranks r) {
  engine::Options o;
  o.memory_limit = 1000;
  try {
    const Coo s = band(core::TestKind::shear, 6, 5, 1.0, engine::mpi::cell_row_band(5, r.rank, r.size));
    engine::make_mumps_solver()->analyse(s.pattern, o);
    expect(false, "a limit of 1000 bytes let the factorisation go ahead");
  } catch (const engine::OutOfMemory& e) {
    expect(e.needed_bytes > 1000 && e.available_bytes == 1000 && std::strstr(e.what(), "on rank ") != nullptr,
           std::string("out-of-memory report reads: ") + e.what());
  }
}

// diag(1, 2, ..., 0, ...) with the zero on the last rank's share.
void check_singular(Ranks r) {
  Coo a;
  a.pattern.n = 4 * r.size;
  for (Index i = 4 * r.rank; i < 4 * r.rank + 4; ++i) a.add(i, i, {i == a.pattern.n - 2 ? 0.0 : 1.0 + static_cast<double>(i), 0.0});
  auto solver = engine::make_mumps_solver();
  solver->analyse(a.pattern, {});
  try {
    solver->factorise(a.values);
    expect(false, "a zero pivot went unnoticed");
  } catch (const engine::MumpsError& e) {
    expect(e.code == -10 && std::strstr(e.what(), "singular") && std::strstr(e.what(), "factorisation"),
           std::string("singular report reads: ") + e.what());
  }
}

void fail_on_last_rank(Ranks r, bool in_analysis) {
  Coo s = band(core::TestKind::shear, 6, 5, 1.0, engine::mpi::cell_row_band(5, r.rank, r.size));
  if (r.rank == r.size - 1 && in_analysis) {
    s.pattern.row.push_back(s.pattern.n);
    s.pattern.col.push_back(0);
  }
  if (r.rank == r.size - 1 && !in_analysis) s.values.pop_back();
  auto solver = engine::make_mumps_solver();
  solver->analyse(s.pattern, {});
  solver->factorise(s.values);
}

}  // namespace

int main(int argc, char** argv) {
  return engine::mpi::run_job(argc, argv, [&](Ranks r) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "solve" || mode == "shared") check_solve(r, mode == "shared");
    else if (mode == "out-of-core") check_out_of_core(r);
    else if (mode == "memory") check_memory(r);
    else if (mode == "singular") check_singular(r);
    else if (mode == "fail-analysis" || mode == "fail-factorisation") fail_on_last_rank(r, mode == "fail-analysis");
    else {
      std::fprintf(stderr, "usage: mumps_check solve|shared|out-of-core|memory|singular|fail-analysis|fail-factorisation\n");
      return 2;
    }
    if (r.rank == 0 && failures == 0) std::printf("%s: passed on %d rank(s)\n", mode.c_str(), r.size);
    return failures == 0 ? 0 : 1;
  });
}
