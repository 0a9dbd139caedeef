#include "bench/engine/grid_system.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "core/text_in.hpp"
#include "core/text_out.hpp"
#include "drivers/cell_data.hpp"
#include "upscaling/readata.hpp"
#include "fem/element.hpp"
#include "model/porosity.hpp"
#include "sparse_io/grid_matrix.hpp"

namespace engine_bench {

namespace {

// Standard output sent to /dev/null while it lives.
class QuietReport {
 public:
  QuietReport() : saved_(dup(1)) {
    std::fflush(stdout);
    if (const int null = open("/dev/null", O_WRONLY); null >= 0) dup2(null, 1), close(null);
  }
  ~QuietReport() {
    core::TextOut::report().flush_checked();
    std::fflush(stdout);
    if (saved_ >= 0) dup2(saved_, 1), close(saved_);
  }

 private:
  int saved_;
};

// Half-cell point of local unknown a (1-based) of cell (j, k) (1-based).
void place_of(int a, int j, int k, std::int32_t& x, std::int32_t& y) {
  static const int vx[4] = {0, 2, 2, 0}, vy[4] = {0, 0, 2, 2};
  const int bx = 2 * (j - 1), by = 2 * (k - 1);
  if (a >= 9 && a <= 12) {
    static const int ex[4] = {0, 2, 1, 1}, ey[4] = {1, 1, 0, 2};
    x = bx + ex[a - 9], y = by + ey[a - 9];
    return;
  }
  const int v = (a - 1) % 4;
  x = bx + vx[v], y = by + vy[v];
}

void add_cell(GridSystem& g, const fem::ElementMatrix& ae, const fem::ElementLoad& be, const std::int32_t u[20], int j,
              int k) {
  bool prescribed[21] = {};
  for (int a = 1; a <= 20; ++a) {
    prescribed[a] = true;
    for (int b = 1; b <= 20; ++b)
      if (b != a && (ae(a, b).re != 0 || ae(a, b).im != 0)) prescribed[a] = false;
  }
  for (int a = 1; a <= 20; ++a) {
    const engine::Index r = u[a - 1] - 1;
    g.rhs[r] += be(a);
    place_of(a, j, k, g.places.x2[r], g.places.y2[r]);
    for (int b = 1; b <= 20; ++b) {
      const engine::Index c = u[b - 1] - 1;
      if (c > r || (a != b && (prescribed[a] || prescribed[b]))) continue;
      g.pattern.row.push_back(r), g.pattern.col.push_back(c), g.values.push_back(ae(a, b));
    }
  }
}

}  // namespace

std::optional<GridSystem> grid_system(const std::string& path, int N) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) {
    std::fprintf(stderr, "engine_bench: cannot open the deck %s\n", path.c_str());
    return std::nullopt;
  }
  auto cells = std::make_unique<drivers::CellData>();
  const drivers::ProgramSetup& setup = drivers::kCompressionalSetup;
  GridSystem g;
  {
    QuietReport quiet;
    core::TextOut& report = core::TextOut::report();
    core::RecordSource source(f, path);
    drivers::readata(source, cells->deck);
    std::fclose(f);
    drivers::build_material_map(setup, *cells, report);
    model::PorosityFile porosity_file;
    g.omega = drivers::angular_frequency(cells->deck);
    drivers::fill_coefficients(setup, *cells, porosity_file, g.omega, 1, report);
  }
  const core::Deck& d = cells->deck;
  const engine::Index n = static_cast<engine::Index>(N) * (6 * N + 5) + 5 * N + 4;  // core::unknowns_of(N, N)
  g.pattern.n = n;
  g.rhs.assign(static_cast<std::size_t>(n), engine::zcomplex{0, 0});
  g.places = {N, N, std::vector<std::int32_t>(static_cast<std::size_t>(n)), std::vector<std::int32_t>(static_cast<std::size_t>(n))};
  const std::size_t per_cell = 210;
  g.pattern.row.reserve(per_cell * N * N), g.pattern.col.reserve(per_cell * N * N), g.values.reserve(per_cell * N * N);
  fem::ElementMatrix ae;
  fem::ElementLoad be;
  std::int32_t u[20];
  for (int k = 1; k <= N; ++k)
    for (int j = 1; j <= N; ++j) {
      const core::CellCoefficients c = cells->coef.at((j - 1) % d.nx + 1, (k - 1) % d.ny + 1);
      fem::element_system(setup.kind, fem::CellPlace{j, k, N, N}, c, g.omega, d.h, ae, be);
      yale_bench::cell_unknowns(N, j, k, u);
      add_cell(g, ae, be, u, j, k);
    }
  return g;
}

}  // namespace engine_bench
