#include "tensor/run.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>
#include <stdexcept>

#include "core/angular_frequency.hpp"
#include "core/stop.hpp"
#include "core/stop_error.hpp"
#include "engine/analysis.hpp"
#include "engine/sparse_solver.hpp"
#include "upscaling/cell_strains.hpp"
#include "tensor/band_sums.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/deck_sample.hpp"
#include "tensor/failure_status.hpp"
#include "tensor/error_grids.hpp"
#include "tensor/file_access.hpp"
#include "tensor/geometry_resolution.hpp"
#include "tensor/io.hpp"
#include "tensor/mpi_run.hpp"
#include "tensor/run_guard.hpp"
#include "tensor/richardson.hpp"
#include "tensor/reduced_periodic.hpp"
#include "tensor/reduced_stiffness.hpp"
#include "tensor/run_json.hpp"
#include "tensor/spectrum_rows.hpp"
#include "tensor/velocities.hpp"

namespace tensor {

namespace {

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

double seconds_now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Progress on standard error: the frequency, the step, the time left.
class Progress {
 public:
  Progress(bool quiet, std::size_t total) : quiet_(quiet), total_(total), start_(seconds_now()) {}
  // The estimates count from here: after the analysis.
  void restart() { start_ = seconds_now(); }
  void say(const std::string& what) const {
    if (!quiet_) std::fprintf(stderr, "tensor_upscale: %s\n", what.c_str());
  }
  void step(std::size_t done, double freq, const char* test) const {
    if (quiet_) return;
    std::string left = "time left unknown";
    if (done > 0) {
      const double per = (seconds_now() - start_) / static_cast<double>(done);
      char b[64];
      std::snprintf(b, sizeof b, "about %.0f s left", per * static_cast<double>(total_ - done));
      left = b;
    }
    std::fprintf(stderr, "tensor_upscale: frequency %zu/%zu (%.6g Hz): factorising the %s test, %s\n", done + 1,
                 total_, freq, test, left.c_str());
  }

 private:
  bool quiet_;
  std::size_t total_;
  double start_;
};

void make_folder(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
    throw std::runtime_error("output folder \"" + dir + "\" cannot be created: " + std::strerror(errno));
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw std::runtime_error("output folder \"" + dir + "\" is not a folder");
}

// Cell fields of one solved test: per load, the divergence of solid 1 and
// the modulus of the fluid pressure -(b1 div u1 + b2 div u3 + m div w).
// `trace` adds each load's macroscopic volume strain to both solids'
// divergence (the periodic test solves for the fluctuation alone).
template <class Grid>
void add_test_fields(const Grid& g, const std::vector<core::CellCoefficients>& cells, const std::vector<zcomplex>& x,
                     std::span<const char* const> names, std::vector<CellField>& out, const double* trace = nullptr) {
  const std::size_t n = static_cast<std::size_t>(g.n), count = static_cast<std::size_t>(g.nx * g.ny);
  for (std::size_t l = 0; l < names.size(); ++l) {
    const upscaling::SolutionView view(x.data() + l * n, g.xnod, static_cast<int>(g.nx));
    CellField re{std::string(names[l]) + "_div_u1_re", std::vector<double>(count)};
    CellField im{std::string(names[l]) + "_div_u1_im", std::vector<double>(count)};
    CellField p{std::string(names[l]) + "_pressure_abs_Pa", std::vector<double>(count)};
    for (int64_t k = 1; k <= g.ny; ++k)
      for (int64_t j = 1; j <= g.nx; ++j) {
        const std::size_t at = static_cast<std::size_t>((j - 1) + (k - 1) * g.nx);
        const upscaling::CellSolution u = view.cell(static_cast<int>(j), static_cast<int>(k));
        const zcomplex mean{trace ? trace[l] : 0.0, 0.0};
        const zcomplex t1 = upscaling::solid_divergence(u, upscaling::kSolid1, g.h) + mean;
        const zcomplex t3 = upscaling::solid_divergence(u, upscaling::kSolid3, g.h) + mean;
        const zcomplex z = upscaling::fluid_divergence(u, g.h);
        const core::CellCoefficients& c = cells[at];
        const zcomplex pres = upscaling::fluid_pressure(c.b1, c.b2, c.m, t1, t3, z);
        re.values[at] = t1.re, im.values[at] = t1.im, p.values[at] = std::hypot(pres.re, pres.im);
      }
    out.push_back(std::move(re)), out.push_back(std::move(im)), out.push_back(std::move(p));
  }
}

void write_fields(const Options& o, const Sample& s, StiffnessComputation& comp) {
  Solutions keep;
  comp.at(*o.fields_freq, &keep);
  if (!leads_output()) return;  // the solutions are on rank 0
  const GridSystem& g = comp.grid();
  const std::vector<core::CellCoefficients> cells = cell_coefficients(s, core::angular_frequency(*o.fields_freq));
  std::vector<CellField> base{{"material", {}}, {"water_proportion_1", {}}};
  for (int64_t k = 1; k <= s.ny; ++k)
    for (int64_t j = 1; j <= s.nx; ++j) {
      base[0].values.push_back(s.material_of_cell[static_cast<std::size_t>((j - 1) + (k - 1) * s.nx)]);
      base[1].values.push_back(cell_water(s, j, k));
    }
  static const char* const kBiaxial[2] = {"exx", "ezz"};
  static const char* const kShear[2] = {"shear_on_solid1", "shear_on_solid3"};
  static const char* const kPeriodic[3] = {"exx", "ezz", "gxz"};
  static const double kTrace[3] = {1, 1, 0};
  if (!keep.periodic.empty()) {
    std::vector<CellField> f = base;
    add_test_fields(*comp.periodic_grid(), cells, keep.periodic, kPeriodic, f, kTrace);
    write_vti(o.out_dir + "/periodic.vti", s.nx, s.ny, s.h, f);
  }
  if (!keep.biaxial.empty()) {
    std::vector<CellField> f = base;
    add_test_fields(g, cells, keep.biaxial, kBiaxial, f);
    write_vti(o.out_dir + "/biaxial.vti", s.nx, s.ny, s.h, f);
  }
  if (!keep.shear.empty()) {
    std::vector<CellField> f = base;
    add_test_fields(g, cells, keep.shear, kShear, f);
    write_vti(o.out_dir + "/shear.vti", s.nx, s.ny, s.h, f);
  }
}

// The report line of the geometry's resolution.
std::string feature_line(const GeometryResolution& g) {
  char b[160];
  std::snprintf(b, sizeof b, "cells per feature = %.4g (along x %.4g, along z %.4g)", g.cells_per_feature,
                g.cells_per_feature_x, g.cells_per_feature_z);
  return b;
}

// Chooses the three grids of the error estimate and states their cost.
ErrorGrids plan_error_grids(const Options& o, const Sample& s, const StiffnessComputation& comp,
                            const engine::Options& eo, TestChoice choice, const Progress& progress) {
  const engine::Backend backend = o.solver == SolverChoice::mumps ? engine::Backend::mumps : engine::Backend::own;
  auto make = [&](const Sample& x) {
    return std::make_unique<StiffnessComputation>(x, make_backend(backend), eo, choice);
  };
  ErrorGrids g = error_grids(s, comp.solver().memory_needed(), engine::detail::available_memory(), make);
  const double run_flops = comp.solver().statistics().flops;
  std::string sides;
  for (int i = 0; i < 3; ++i) {
    const Sample& x = i == g.target ? s : *g.samples[i];
    sides += (i ? ", " : "") + std::to_string(x.nx) + " x " + std::to_string(x.ny);
  }
  char b[400];
  std::snprintf(b, sizeof b,
                "error estimate on grids of %s cells (the run's is number %d): about %.3g times the work of the run "
                "(flops of the factorisations), %.1f MB more memory for the factors",
                sides.c_str(), g.target + 1, 1 + (run_flops > 0 ? g.flops / run_flops : 0),
                static_cast<double>(g.memory_bytes) / 1e6);
  progress.say(b);
  if (!g.note.empty()) std::fprintf(stderr, "tensor_upscale: %s\n", g.note.c_str());
  return g;
}

// The rows the options ask for.
RowsRequest rows_request(const Options& o) {
  RowsRequest r;
  r.angles = o.angles;
  r.estimate_error = o.estimate_error;
  r.method = o.frequency_method;
  r.reduced_tolerance = o.reduced_tolerance;
  return r;
}

// The run's progress lines and record of how the frequencies are solved.
RowsHooks run_hooks(RunRecord& record, const Progress& progress) {
  RowsHooks h;
  h.planned = [&record](const FrequencyPlan& p) {
    record.frequency_method = p.method;
    record.full_factorisations = p.full_factorisations;
    record.factorisation_frequencies = p.factorisation_frequencies;
  };
  h.factorise = [&progress](std::size_t i, double f, const char* test) { progress.step(i, f, test); };
  h.factorise_grid = [&progress](const Sample& grid, double f, const char* test) {
    char b[160];
    std::snprintf(b, sizeof b, "error estimate at %g Hz: factorising the %s test on the grid of %s cells", f, test,
                  (std::to_string(grid.nx) + " x " + std::to_string(grid.ny)).c_str());
    progress.say(b);
  };
  h.say = [&progress](const std::string& what) { progress.say(what); };
  h.notice = [](const std::string& why) {
    std::fprintf(stderr, "tensor_upscale: --frequency-method reduced: %s; every frequency is solved directly\n",
                 why.c_str());
  };
  return h;
}

// The error columns' warning (with --estimate-error) and the run's one
// warning of an unresolved grid.
void report_rows_end(const Options& o, const RowsEnd& end) {
  if (o.estimate_error && !end.outside_asymptotic.empty() && !o.quiet)
    std::fprintf(stderr,
                 "tensor_upscale: the three grids are not in the asymptotic range (orders that exceed 2, disagree "
                 "or do not fall) for %s; their errors are the safe value (doc/accuracy.md)\n",
                 end.outside_asymptotic.c_str());
  if (!end.unresolved.empty() && leads_output()) std::fprintf(stderr, "tensor_upscale: %s\n", end.unresolved.c_str());
}

void record_statistics(RunRecord& r, const engine::Statistics& st) {
  r.unknowns = st.n, r.factor_entries = st.factor_entries, r.flops = st.flops;
  r.memory_bytes = static_cast<double>(st.memory_bytes);
  r.analyse_seconds = st.analyse_seconds, r.factorise_seconds = st.factorise_seconds;
}

void write_record(const Options& o, const RunRecord& r, int status, const std::string& message) {
  if (!leads_output()) return;
  write_file_atomically(o.out_dir + "/run.json", run_json(r, status, message));
}

// The run in progress, for the record of an end through core::stop.
const Options* g_options = nullptr;
const RunRecord* g_record = nullptr;

bool record_at_stop(int code, std::string_view message) {
  if (!g_options || !g_record) return true;
  try {
    write_record(*g_options, *g_record, code & 0xff, std::string(message));
    return true;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tensor_upscale: the run record cannot be written: %s\n", e.what());
    return false;
  }
}

// The refusal keeps its stop code even when its record cannot be written.
void record_refusal(const Options& o, const RunRecord& record, const core::StopError& e) {
  try {
    write_record(o, record, e.code() & 0xff, e.what());
  } catch (const std::exception& w) {
    std::fprintf(stderr, "tensor_upscale: the run record cannot be written: %s\n", w.what());
  }
}

int run_checked(const Options& o, RunRecord& record) {
  Sample s;
  all_ranks_pass([&] { s = load_sample(o); });  // a refused input ends every rank of a job in order
  record.inputs = s.input_digests;
  record.nx = s.nx, record.ny = s.ny, record.h = s.h;
  record.lame = s.lame == LameRelations::three_d ? "3d" : "2d";
  const Boundary boundary = o.boundary ? *o.boundary : s.boundary ? *s.boundary : Boundary::periodic;
  record.boundary = boundary == Boundary::periodic ? "periodic" : "sealed";
  if (leads_output()) refresh_signal_records(record);
  TestChoice choice{o.tests != Tests::s, o.tests != Tests::p, boundary};
  // One copy of the pattern and the values where no reduced sweep may want the coordinates.
  choice.lean = o.frequency_method == FrequencyMethod::direct ||
                (o.frequency_method == FrequencyMethod::automatic && s.frequencies.size() < kReducedFromFrequencies);
  engine::Options eo;
  eo.threads = o.threads;
  eo.out_of_core_dir = o.out_of_core_dir;
  const engine::Backend backend = o.solver == SolverChoice::mumps ? engine::Backend::mumps : engine::Backend::own;
  Progress progress(o.quiet || !leads_output(), s.frequencies.size());
  progress.say("analysing the grid of " + std::to_string(s.nx) + " x " + std::to_string(s.ny) + " cells");
  if (o.plan) {
    print_plans(s.nx, s.ny, s.h, eo);
    write_record(o, record, 0, "");
    return 0;
  }
  StiffnessComputation comp(s, make_backend(backend), eo, choice);
  record_statistics(record, comp.solver().statistics());
  progress.restart();
  if (!o.export_matrix.empty() && leads_output()) comp.export_matrix(s.frequencies.front(), o.export_matrix);
  const GeometryResolution geometry = job_geometry_resolution(s);
  record.cells_per_feature = geometry.cells_per_feature;
  progress.say(feature_line(geometry));
  ErrorGrids grids;
  if (o.estimate_error) grids = plan_error_grids(o, s, comp, eo, choice, progress);
  const RowsEnd end = spectrum_rows(s, choice, comp, grids, rows_request(o), run_hooks(record, progress), record.rows);
  report_rows_end(o, end);
  if (!end.no_certain_digit.empty()) {
    write_tensor_csv(o.out_dir + "/tensor.csv", record.rows);
    write_record(o, record, kNoCertainDigitStatus, end.no_certain_digit);
    std::fprintf(stderr, "tensor_upscale: %s\n", end.no_certain_digit.c_str());
    return kNoCertainDigitStatus;
  }
  record_statistics(record, comp.statistics());
  if (o.fields_freq) write_fields(o, s, comp);
  if (!leads_output()) return 0;
  write_tensor_csv(o.out_dir + "/tensor.csv", record.rows);
  write_spectrum_plot(o.out_dir);
  write_record(o, record, 0, "");
  progress.say("done: " + o.out_dir + "/tensor.csv");
  return 0;
}

// How the ranks of a job share the reading of the sample.
ReadShare read_share(const Options& o) {
  ReadShare share;
  // The outputs that need every cell's law on rank 0 (the cell fields, the
  // error estimate's grids, the exported matrix) keep the whole sample.
  if (job_ranks().size == 1 || o.fields_freq || o.estimate_error || !o.export_matrix.empty() || o.plan) return share;
  share.band = [](int64_t ny) {
    const CellRows b = band_of_rank(ny);
    return RowBand{b.first, b.last};
  };
  share.agree = ranks_refuse_as_one;
  return share;
}

}  // namespace

Sample load_sample(const Options& o) {
  const ReadShare share = read_share(o);
  Sample s = ends_with(o.input, ".toml") ? read_sample_file(o.input, share) : read_deck_sample(o.input);
  if (!o.labels_file.empty()) {
    std::string digest;
    read_labels_into(s, o.labels_file, digest, share, [&](const Image<int32_t>& image) {
      if ((image.width != s.nx || image.height != s.ny) && leads_output())
        std::fprintf(stderr, "tensor_upscale: %s\n", resized_sample_note(image, o.labels_file, s).c_str());
    });
    s.input_digests.emplace_back(o.labels_file, digest);
  }
  if (share.band && !s.banded) keep_band(s, share.band(s.ny));
  if (!o.frequencies.empty()) s.frequencies = o.frequencies;
  if (o.lame) s.lame = *o.lame;
  return s;
}

TensorRow tensor_row(double freq_hz, const Stiffness& c, double rho, const std::vector<double>& angles) {
  TensorRow r;
  r.freq_hz = freq_hz;
  r.c11 = c.c11, r.c13 = c.c13, r.c31 = c.c31, r.c33 = c.c33, r.c55 = c.c55;
  r.c15 = c.c15, r.c35 = c.c35, r.c51 = c.c51, r.c53 = c.c53;
  r.rho = rho;
  // Along z and x: the moduli's own waves, or, where the coupling moduli were
  // measured (periodic boundaries), the roots of the whole Christoffel matrix.
  const bool coupled = !std::isnan(c.c15.re) && !std::isnan(c.c35.re);
  const PSVWaves w0 = christoffel(c, 0.0), w90 = christoffel(c, 90.0);
  const Wave p0 = wave_of(coupled ? w0.p : c.c33, rho), p90 = wave_of(coupled ? w90.p : c.c11, rho),
             s0 = wave_of(coupled ? w0.sv : c.c55, rho);
  r.vp0 = p0.velocity, r.q1000_p0 = p0.q1000, r.vp90 = p90.velocity, r.q1000_p90 = p90.q1000;
  r.vs0 = s0.velocity, r.q1000_s0 = s0.q1000;
  r.backward_error = c.backward_error;
  const FastestP fast = fastest_p(c, rho);
  r.extra.push_back({"theta_pmax", "deg", fast.theta_degrees});
  r.extra.push_back({"vp_pmax", "m/s", fast.p.velocity});
  r.extra.push_back({"q1000_p_pmax", "1", fast.p.q1000});
  r.extra.push_back({"vsv_pmax", "m/s", fast.sv.velocity});
  r.extra.push_back({"q1000_sv_pmax", "1", fast.sv.q1000});
  for (const double a : angles) {
    char tag[32];
    std::snprintf(tag, sizeof tag, "%g", a);
    const PSVWaves w = christoffel(c, a);
    const Wave p = wave_of(w.p, rho), sv = wave_of(w.sv, rho);
    r.extra.push_back({std::string("vp_") + tag, "m/s", p.velocity});
    r.extra.push_back({std::string("q1000_p_") + tag, "1", p.q1000});
    r.extra.push_back({std::string("vsv_") + tag, "m/s", sv.velocity});
    r.extra.push_back({std::string("q1000_sv_") + tag, "1", sv.q1000});
  }
  return r;
}

int run(const Options& o) {
  if (leads_output()) make_folder(o.out_dir);
  RunRecord record = start_record(o.input);
  record.tests = o.tests == Tests::tensor ? "tensor" : o.tests == Tests::p ? "p" : "s";
  record.solver = o.solver == SolverChoice::mumps ? "mumps" : "own";
  if (leads_output()) guard_output_folder(o, record);
  g_options = &o, g_record = &record;
  core::at_end(record_at_stop);
  try {
    const int status = run_checked(o, record);
    release_output_folder();
    return status;
  } catch (const engine::DiskFull& e) {
    // The factor file is already gone; the run ends with its own status.
    std::fprintf(stderr, "tensor_upscale: %s\n", e.what());
    try {
      write_record(o, record, kDiskFullStatus, e.what());
    } catch (const std::exception& w) {
      std::fprintf(stderr, "tensor_upscale: the run record cannot be written: %s\n", w.what());
    }
    release_output_folder();
    return kDiskFullStatus;
  } catch (const core::StopError& e) {
    // A refusal of the deck or the model: recorded with its stop code here,
    // while the record still exists; main ends the run with the sentence.
    g_options = nullptr, g_record = nullptr;
    record_refusal(o, record, e);
    release_output_folder();
    throw;
  } catch (const std::exception& e) {
    try {
      write_record(o, record, failure_status(e), failure_message(e));
    } catch (const std::exception& w) {
      std::fprintf(stderr, "tensor_upscale: the run record cannot be written: %s\n", w.what());
    }
    release_output_folder();
    throw;
  }
}

}  // namespace tensor
