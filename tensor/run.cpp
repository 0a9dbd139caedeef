#include "tensor/run.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "core/stop.hpp"
#include "core/stop_error.hpp"
#include "upscaling/cell_strains.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/deck_sample.hpp"
#include "tensor/file_access.hpp"
#include "tensor/io.hpp"
#include "tensor/mpi_run.hpp"
#include "tensor/run_json.hpp"
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

}  // namespace

Sample refined(const Sample& s) {
  Sample f = s;
  f.nx = 2 * s.nx, f.ny = 2 * s.ny, f.h = s.h / 2;
  f.material_of_cell.assign(static_cast<std::size_t>(f.nx * f.ny), 0);
  if (!s.water_of_cell.empty()) f.water_of_cell.assign(f.material_of_cell.size(), 0.0);
  for (int64_t k = 0; k < f.ny; ++k)
    for (int64_t j = 0; j < f.nx; ++j) {
      const auto to = static_cast<std::size_t>(j + k * f.nx), from = static_cast<std::size_t>(j / 2 + (k / 2) * s.nx);
      f.material_of_cell[to] = s.material_of_cell[from];
      if (!s.water_of_cell.empty()) f.water_of_cell[to] = s.water_of_cell[from];
    }
  return f;
}

namespace {

// Cell fields of one solved test: per load, the divergence of solid 1 and
// the modulus of the fluid pressure -(b1 div u1 + b2 div u3 + m div w).
void add_test_fields(const GridSystem& g, const std::vector<core::CellCoefficients>& cells,
                     const std::vector<zcomplex>& x, const char* const names[2], std::vector<CellField>& out) {
  const std::size_t n = static_cast<std::size_t>(g.n), count = static_cast<std::size_t>(g.nx * g.ny);
  for (int l = 0; l < 2; ++l) {
    const drivers::SolutionView view(x.data() + l * n, g.xnod, static_cast<int>(g.nx));
    CellField re{std::string(names[l]) + "_div_u1_re", std::vector<double>(count)};
    CellField im{std::string(names[l]) + "_div_u1_im", std::vector<double>(count)};
    CellField p{std::string(names[l]) + "_pressure_abs_Pa", std::vector<double>(count)};
    for (int64_t k = 1; k <= g.ny; ++k)
      for (int64_t j = 1; j <= g.nx; ++j) {
        const std::size_t at = static_cast<std::size_t>((j - 1) + (k - 1) * g.nx);
        const drivers::CellSolution u = view.cell(static_cast<int>(j), static_cast<int>(k));
        const zcomplex t1 = drivers::solid_divergence(u, drivers::kSolid1, g.h);
        const zcomplex t3 = drivers::solid_divergence(u, drivers::kSolid3, g.h);
        const zcomplex z = drivers::fluid_divergence(u, g.h);
        const core::CellCoefficients& c = cells[at];
        const zcomplex pres = -1.0 * (c.b1 * t1 + c.b2 * t3 + c.m * z);
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
  const std::vector<core::CellCoefficients> cells = cell_coefficients(s, 6.283185307179586 * *o.fields_freq);
  std::vector<CellField> base{{"material", {}}, {"water_proportion_1", {}}};
  for (int64_t k = 1; k <= s.ny; ++k)
    for (int64_t j = 1; j <= s.nx; ++j) {
      base[0].values.push_back(s.material_of_cell[static_cast<std::size_t>((j - 1) + (k - 1) * s.nx)]);
      base[1].values.push_back(cell_water(s, j, k));
    }
  static const char* const kBiaxial[2] = {"exx", "ezz"};
  static const char* const kShear[2] = {"shear_on_solid1", "shear_on_solid3"};
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

}  // namespace

void add_error_columns(TensorRow& row, const Stiffness& coarse, const Stiffness& fine) {
  auto err = [](zcomplex a, zcomplex b) { return std::hypot(a.re - b.re, a.im - b.im) * 4.0 / 3.0; };
  row.extra.push_back({"err_c11", "Pa", err(coarse.c11, fine.c11)});
  row.extra.push_back({"err_c13", "Pa", err(coarse.c13, fine.c13)});
  row.extra.push_back({"err_c33", "Pa", err(coarse.c33, fine.c33)});
  row.extra.push_back({"err_c55", "Pa", err(coarse.c55, fine.c55)});
}

namespace {

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
  const Sample s = load_sample(o);
  record.inputs = s.input_digests;
  record.nx = s.nx, record.ny = s.ny, record.h = s.h;
  record.lame = s.lame == LameRelations::three_d ? "3d" : "2d";
  const TestChoice choice{o.tests != Tests::s, o.tests != Tests::p};
  engine::Options eo;
  eo.threads = o.threads;
  eo.out_of_core_dir = o.out_of_core_dir;
  const engine::Backend backend = o.solver == SolverChoice::mumps ? engine::Backend::mumps : engine::Backend::own;
  Progress progress(o.quiet || !leads_output(), s.frequencies.size());
  progress.say("analysing the grid of " + std::to_string(s.nx) + " x " + std::to_string(s.ny) + " cells");
  if (o.plan) {
    print_plans(GridSystem(s.nx, s.ny, s.h), eo);
    write_record(o, record, 0, "");
    return 0;
  }
  StiffnessComputation comp(s, make_backend(backend), eo, choice);
  record_statistics(record, comp.solver().statistics());
  progress.restart();
  if (!o.export_matrix.empty() && leads_output()) comp.export_matrix(s.frequencies.front(), o.export_matrix);
  std::unique_ptr<Sample> fine_sample;
  std::unique_ptr<StiffnessComputation> fine;
  if (o.estimate_error) {
    fine_sample = std::make_unique<Sample>(refined(s));
    fine = std::make_unique<StiffnessComputation>(*fine_sample, make_backend(backend), eo, choice);
  }
  const double rho = mean_density(s);
  for (std::size_t i = 0; i < s.frequencies.size(); ++i) {
    const double f = s.frequencies[i];
    comp.on_factorise = [&progress, i, f](const char* test) { progress.step(i, f, test); };
    const Stiffness c = comp.at(f);
    TensorRow row = tensor_row(f, c, rho, o.angles);
    add_accuracy_columns(row, c.bounds);
    if (fine) add_error_columns(row, c, fine->at(f));
    record.rows.push_back(std::move(row));
    if (const std::string w = resolution_warning(c.bounds, f); !w.empty())
      std::fprintf(stderr, "tensor_upscale: %s\n", w.c_str());
    // A job of several ranks computes no bound (see StiffnessComputation::at).
    if (const std::string stop = job_ranks().size == 1 ? no_certain_digit(c.bounds, f) : ""; !stop.empty()) {
      write_tensor_csv(o.out_dir + "/tensor.csv", record.rows);
      write_record(o, record, kNoCertainDigitStatus, stop);
      std::fprintf(stderr, "tensor_upscale: %s\n", stop.c_str());
      return kNoCertainDigitStatus;
    }
  }
  comp.on_factorise = nullptr;
  record_statistics(record, comp.solver().statistics());
  if (o.fields_freq) write_fields(o, s, comp);
  if (!leads_output()) return 0;
  write_tensor_csv(o.out_dir + "/tensor.csv", record.rows);
  write_spectrum_plot(o.out_dir);
  write_record(o, record, 0, "");
  progress.say("done: " + o.out_dir + "/tensor.csv");
  return 0;
}

}  // namespace

Sample load_sample(const Options& o) {
  Sample s = ends_with(o.input, ".toml") ? read_sample_file(o.input) : read_deck_sample(o.input);
  if (!o.labels_file.empty()) {
    std::string digest;
    const Image<int32_t> image = read_label_image(o.labels_file, digest);
    apply_label_image(image, o.labels_file, s);
    s.input_digests.emplace_back(o.labels_file, digest);
  }
  if (!o.frequencies.empty()) s.frequencies = o.frequencies;
  if (o.lame) s.lame = *o.lame;
  return s;
}

TensorRow tensor_row(double freq_hz, const Stiffness& c, double rho, const std::vector<double>& angles) {
  TensorRow r;
  r.freq_hz = freq_hz;
  r.c11 = c.c11, r.c13 = c.c13, r.c31 = c.c31, r.c33 = c.c33, r.c55 = c.c55;
  r.rho = rho;
  const Wave p0 = wave_of(c.c33, rho), p90 = wave_of(c.c11, rho), s0 = wave_of(c.c55, rho);
  r.vp0 = p0.velocity, r.q1000_p0 = p0.q1000, r.vp90 = p90.velocity, r.q1000_p90 = p90.q1000;
  r.vs0 = s0.velocity, r.q1000_s0 = s0.q1000;
  r.backward_error = c.backward_error;
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
  g_options = &o, g_record = &record;
  core::at_end(record_at_stop);
  try {
    return run_checked(o, record);
  } catch (const core::StopError& e) {
    // A refusal of the deck or the model: recorded with its stop code here,
    // while the record still exists; main ends the run with the sentence.
    g_options = nullptr, g_record = nullptr;
    record_refusal(o, record, e);
    throw;
  } catch (const std::exception& e) {
    try {
      write_record(o, record, 1, e.what());
    } catch (const std::exception& w) {
      std::fprintf(stderr, "tensor_upscale: the run record cannot be written: %s\n", w.what());
    }
    throw;
  }
}

}  // namespace tensor
