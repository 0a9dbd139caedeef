#include "tests/engine_mumps/grid_system.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "core/capacities.hpp"
#include "fem/element.hpp"
#include "sparse_io/grid_matrix.hpp"

namespace mumps_check {

namespace {

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

}  // namespace

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

double backward_error(const std::vector<cplx>& a, const cplx* x, const cplx* b, int64_t n) {
  double worst = 0;
  for (int64_t i = 0; i < n; ++i) {
    cplx r = b[i];
    double scale = std::abs(b[i]);
    for (int64_t j = 0; j < n; ++j) {
      r -= a[static_cast<size_t>(i + j * n)] * x[j];
      scale += std::abs(a[static_cast<size_t>(i + j * n)]) * std::abs(x[j]);
    }
    if (scale > 0) worst = std::max(worst, std::abs(r) / scale);
  }
  return worst;
}

}  // namespace mumps_check
