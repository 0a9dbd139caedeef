#include "bench/yale/deck_system.hpp"

#include <unistd.h>

#include <ctime>
#include <cstdio>
#include <fcntl.h>
#include <memory>

#include "core/text_in.hpp"
#include "core/text_out.hpp"
#include "drivers/cell_data.hpp"
#include "upscaling/readata.hpp"
#include "fem/assembly.hpp"
#include "fem/yale_system.hpp"
#include "model/porosity.hpp"

namespace yale_bench {

namespace {

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}
double seconds_since(double t0) { return cpu_seconds() - t0; }

// Standard output sent to /dev/null while it lives.
class QuietReport {
 public:
  QuietReport() : saved_(dup(1)) {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      close(null);
    }
  }
  ~QuietReport() {
    core::TextOut::report().flush_checked();
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, 1);
      close(saved_);
    }
  }

 private:
  int saved_;
};

}  // namespace

std::optional<DeckSystem> deck_system(const std::string& path, const drivers::ProgramSetup& setup) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) {
    std::fprintf(stderr, "yale_bench: cannot open the deck %s\n", path.c_str());
    return std::nullopt;
  }
  auto cells = std::make_unique<drivers::CellData>();
  auto sys = std::make_unique<fem::YaleSystem>();
  core::Deck& d = cells->deck;
  DeckSystem out;
  {
    QuietReport quiet;
    core::TextOut& report = core::TextOut::report();
    core::RecordSource source(f, path);
    drivers::readata(source, d);
    std::fclose(f);

    const double t0 = cpu_seconds();
    drivers::build_material_map(setup, *cells, report);
    model::PorosityFile porosity_file;
    const double omega = drivers::angular_frequency(d);
    drivers::fill_coefficients(setup, *cells, porosity_file, omega, 2, report);  // 2: no plotting files
    out.model_seconds = seconds_since(t0);

    const double t1 = cpu_seconds();
    fem::global_numbering(d.nx, d.ny, cells->xnod);
    fem::global_sist(setup.kind, omega, d.nx, d.ny, d.h, cells->xnod, cells->coef, *sys);
    out.assembly_seconds = seconds_since(t1);
  }

  out.n = core::unknowns_of(d.nx, d.ny);
  const int32_t nnz = sys->ia(out.n + 1) - 1;
  out.ia.assign(sys->ia_data(), sys->ia_data() + out.n + 1);
  out.ja.assign(sys->ja_data(), sys->ja_data() + nnz);
  out.a.assign(sys->avec_data(), sys->avec_data() + nnz);
  out.b.assign(sys->rhs_data(), sys->rhs_data() + out.n);
  return out;
}

}  // namespace yale_bench
