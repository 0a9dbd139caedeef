#include "drivers/upscaling_run.hpp"

#include <cmath>
#include <cstdio>
#include <memory>

#include "core/capacities.hpp"
#include "core/coefficients.hpp"
#include "core/deck.hpp"
#include "core/run_start.hpp"
#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"
#include "core/text_out.hpp"
#include "drivers/cell_data.hpp"
#include "drivers/cell_maps.hpp"
#include "drivers/compressional_results.hpp"
#include "drivers/moduli_report.hpp"
#include "upscaling/deck_checks.hpp"
#include "upscaling/readata.hpp"
#include "drivers/run_record.hpp"
#include "drivers/shear_results.hpp"
#include "upscaling/solution_accuracy.hpp"
#include "upscaling/solution_view.hpp"
#include "upscaling/tied_modulus.hpp"
#include "drivers/timer.hpp"
#include "drivers/vtk_map.hpp"
#include "fem/assembly.hpp"
#include "fem/numbering.hpp"
#include "fem/yale_system.hpp"
#include "model/average_density.hpp"
#include "model/material_map.hpp"
#include "waves/plane_waves.hpp"
#include "yale/flag_meaning.hpp"
#include "yale/refinement.hpp"
#include "yale/several_solves.hpp"
#include "yale/yale.hpp"

namespace drivers {

namespace {

using core::TestKind;
using core::TextOut;

// The result tables and maps, in the order they are opened (each created or
// truncated at start-up).
struct OpenFiles {
  explicit OpenFiles(const ProgramSetup& s)
      : table{TextOut(s.tables.analytic_velocity), TextOut(s.tables.fe_velocity), TextOut(s.tables.fe_over_q),
              TextOut(s.tables.analytic_over_q)},
        pressure(s.pressure_maps[0]),
        grad_pressure(s.pressure_maps[1]) {}
  TextOut table[4];
  TextOut pressure;
  TextOut grad_pressure;
  TextOut real_strain1{"real_strain1_map"};
  TextOut imag_strain1{"imag_strain1_map"};
  TextOut real_strain3{"real_strain3_map"};
  TextOut imag_strain3{"imag_strain3_map"};
  TextOut real_stress{"real_stress_map"};
  TextOut imag_stress{"imag_stress_map"};

  StrainStressFiles maps() {
    return {real_strain1, imag_strain1, real_strain3, imag_strain3, real_stress, imag_stress};
  }
};

// The global system, its solution and the solver's workspace, allocated
// once, after the deck is read, for the deck's grid; the large arrays are
// reserved untouched, in 2 MB pages (core/large_array.hpp).
struct SystemStorage {
  // The workspace holds 500 words per unknown of the deck's grid, as the
  // largest grid's does: the fill per unknown only grows with the grid.
  explicit SystemStorage(int32_t n)
      : system(n), z(n), c(n), ic(n), residual(n), nwork(core::kWorkPerUnknown * n), work(nwork) {}
  fem::YaleSystem system;  // ia, ja, avec, rhs_m
  core::LargeArray<core::zcomplex> z;
  core::LargeArray<int32_t> c, ic;
  core::LargeArray<core::zcomplex> residual;  // of the refinement
  int32_t nwork;
  yale::Workspace work;
};

// The frequency of step `cycle` on the deck's logarithmic scale; the
// divisor nfreq - 1 is taken in single precision.
double step_frequency(const core::Deck& d, int cycle) {
  const double lo = std::log10(d.freq);
  const double span = std::log10(d.freq_max) - lo;
  return std::pow(10.0, lo + (cycle - 1) * span / static_cast<double>(static_cast<float>(int64_t{d.nfreq} - 1)));
}

// Solves the system (job 3) or its transpose (job 4) for the load b with the
// factors of the last factorisation; b and x may be one vector.
void solve_with_factors(SystemStorage& run, int32_t nodos, std::span<const core::zcomplex> b,
                        std::span<core::zcomplex> x, int32_t job = 3) {
  const fem::YaleSystem& sys = run.system;
  const int32_t nnz = sys.ia(nodos + 1) - 1;
  const std::span<const int32_t> c(run.c.get(), nodos);
  int32_t esp = 0, flag = 0;
  yale::zndrv(nodos, c, c, std::span<const int32_t>(run.ic.get(), nodos),
              std::span<const int32_t>(sys.ia_data(), nodos + 1), std::span<const int32_t>(sys.ja_data(), nnz),
              std::span<const core::zcomplex>(sys.avec_data(), nnz), b, x, run.nwork, run.work, esp, job, flag);
  if (flag != 0) core::raise_stop(core::kStopSolveFailed, {}, yale::flag_sentence(flag, nodos));
}

// Solves the transposed system for each vector of vs with the factors of the
// last factorisation, several in one sweep of them.
void transposed_solves(SystemStorage& run, int32_t nodos, std::span<const std::span<core::zcomplex>> vs) {
  const std::span<const int32_t> c(run.c.get(), static_cast<std::size_t>(nodos));
  int32_t flag = 0;
  yale::zndrv_vectors(nodos, c, c, run.nwork, run.work, 4, vs, flag);
  if (flag != 0) core::raise_stop(core::kStopSolveFailed, {}, yale::flag_sentence(flag, nodos));
}

// Orders, factorises and solves the assembled system, then refines the
// solution with the stored factors; the solution lands in z.  Returns its
// componentwise backward error.
double solve(SystemStorage& run, int32_t nodos, TextOut& report) {
  fem::YaleSystem& sys = run.system;
  const int32_t nnz = sys.ia(nodos + 1) - 1;
  const std::span<int32_t> ia(sys.ia_data(), nodos + 1);
  const std::span<int32_t> ja(sys.ja_data(), nnz);
  const std::span<core::zcomplex> avec(sys.avec_data(), nnz);
  const std::span<const core::zcomplex> rhs(sys.rhs_data(), nodos);
  const std::span<core::zcomplex> z(run.z.get(), nodos);
  const std::span<int32_t> c(run.c.get(), nodos);
  const std::span<int32_t> ic(run.ic.get(), nodos);
  int32_t flag = 0;
  yale::zodrv(nodos, ia, ja, avec, c, ic, run.nwork, run.work, 1, flag);
  if (flag != 0) {
    report.list("FLAG=", flag);
    core::raise_stop(core::kStopOrderingFailed, {}, yale::flag_sentence(flag, nodos));
  }
  int32_t esp = 0;
  yale::zndrv(nodos, c, c, ic, ia, ja, avec, rhs, z, run.nwork, run.work, esp, 1, flag);
  if (flag != 0) {
    report.list("ESP=", esp);
    report.list("FLAG=", flag);
    core::raise_stop(core::kStopSolveFailed, {}, yale::flag_sentence(flag, nodos));
  }
  const yale::YaleMatrix A{nodos, std::span<const int32_t>(ia), std::span<const int32_t>(ja),
                           std::span<const core::zcomplex>(avec)};
  auto solve_stored = [&](yale::Vec1<core::zcomplex> r) {
    const std::span<core::zcomplex> v(r.data(), nodos);
    solve_with_factors(run, nodos, v, v);
  };
  return yale::refine(A, rhs, z, std::span<core::zcomplex>(run.residual.get(), nodos), solve_stored)
      .backward_error;
}

// The assembled matrix and the solves with its factors, for the error bounds.
upscaling::bounds::MatrixView matrix_view(SystemStorage& run, int32_t nodos) {
  const fem::YaleSystem& sys = run.system;
  const int32_t nnz = sys.ia(nodos + 1) - 1;
  return upscaling::bounds::CsrView{nodos, {sys.ia_data(), static_cast<std::size_t>(nodos) + 1},
                         {sys.ja_data(), static_cast<std::size_t>(nnz)},
                         {sys.avec_data(), static_cast<std::size_t>(nnz)}, 1};
}

upscaling::bounds::SolveCallbacks solves_with_factors(SystemStorage& run, int32_t nodos) {
  return {[&run, nodos](std::span<core::zcomplex> v) { solve_with_factors(run, nodos, v, v, 3); },
          [&run, nodos](std::span<core::zcomplex> v) { solve_with_factors(run, nodos, v, v, 4); },
          [&run, nodos](std::span<const std::span<core::zcomplex>> vs) { transposed_solves(run, nodos, vs); }};
}

}  // namespace

void run_upscaling(const ProgramSetup& setup) {
  TextOut& report = TextOut::report();
  const bool shear = setup.kind == TestKind::shear;

  core::start_run();
  OpenFiles files(setup);
  timer();  // starts the CPU clock
  const auto cells = std::make_unique_for_overwrite<CellData>();
  CellData& cd = *cells;
  core::Deck& deck = cd.deck;
  run_record::deck_read(upscaling::readata(deck));
  SystemStorage run(core::unknowns_of(deck.nx, deck.ny));

  // The material map, written and checked before anything is computed.
  {
    TextOut map("matnum_p33");
    TextOut map_gnu("matnum_p33_gnu");
    build_material_map(setup, cd, report);
    model::write_and_check_matnum(map, map_gnu, deck.nx, deck.ny, deck.nlayers, cd.matnum, report);
  }

  // The computation step: one step per run.
  const int cycle = 1;
  model::PorosityFile porosity_file;
  if (deck.model == 1) run_record::input_file("porosity_sha256", "porosity.frac");
  const double omega = angular_frequency(deck);
  const model::CellFractions last = fill_coefficients(setup, cd, porosity_file, omega, cycle, report);
  if (const std::string why = upscaling::friction_range_after_control(deck); !why.empty()) core::raise_fail(core::kStopDeckRefused, why);
  fem::global_numbering(deck.nx, deck.ny, cd.xnod);
  const double rob_med = model::average_density(deck, cd.matnum, cd.phiw, report);

  report.blank();
  report.list("cycle=", cycle);
  report.list(shear ? "frec(Hz), omega_fix " : "freq (Hz), omega_fix ", deck.freq, omega);

  const waves::PlaneWaves waves = waves::veloc_aten(deck.nx, deck.ny, omega, cd.coef, setup.kind, report);
  fem::global_sist(setup.kind, omega, deck.nx, deck.ny, deck.h, cd.xnod, cd.coef, run.system);
  const int32_t nodos = core::unknowns_of(deck.nx, deck.ny);
  report.list("number of unknowns nodos = ", nodos);
  const double backward_error = solve(run, nodos, report);

  const upscaling::SolutionView solution(run.z.get(), cd.xnod, deck.nx);
  const CellMaps maps{cd.strain1, cd.strain3, cd.stress, {cd.pres, cd.derx_pres, cd.dery_pres, cd.grad_pres_mod}};
  const TestFiles test_files{files.table[0], files.table[1],    files.table[2],
                             files.table[3], files.pressure,    files.grad_pressure,
                             files.maps()};
  const TestInputs inputs{deck, cd.coef, rob_med, waves};
  if (shear)
    shear_results(solution, ShearInputs{inputs, setup.imposed_water}, maps, test_files, report);
  else
    compressional_results(solution, CompressionalInputs{inputs, step_frequency(deck, cycle), last.s1, last.s3},
                          maps, test_files, report);

  // The tied-solid and work-conjugate moduli: one more solve with the factors.
  const auto n = static_cast<std::size_t>(nodos);
  const upscaling::SolvedTest solved{setup.kind, deck.nx, deck.ny, deck.h, cd.xnod, {run.system.rhs_data(), n}, {run.z.get(), n}};
  const upscaling::TiedWorkModuli tied =
      upscaling::tied_and_work_moduli(solved, [&](auto b, auto x) { solve_with_factors(run, nodos, b, x); });
  report_tied_and_work(report, tied, rob_med);

  // How many digits are right, and whether the grid resolves the frequency.
  const upscaling::RunAccuracy accuracy = upscaling::run_accuracy(solved, cd.coef, tied, matrix_view(run, nodos),
                                            solves_with_factors(run, nodos), backward_error, omega);
  write_vtk_map(kVtkMapName, cd);
  report_accuracy(report, accuracy);
  if (const std::string w = upscaling::unresolved_grid(accuracy, deck.freq); !w.empty()) std::fprintf(stderr, "%s\n", w.c_str());
  if (const std::string why = upscaling::no_correct_digit(accuracy, deck.freq); !why.empty())
    core::raise_stop(core::kStopNoCorrectDigit, {}, why);
  end_of_run(timer());
}

}  // namespace drivers
