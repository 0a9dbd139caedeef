#include "tensor/periodic_system.hpp"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <string>

#include "core/memory_room.hpp"
#include "fem/element.hpp"
#include "fem/local_unknowns.hpp"
#include "tensor/grid_system.hpp"

namespace tensor {

namespace {

using namespace fem;

// Offsets of a node's six unknowns.
enum NodeUnknown : int { kS1x, kS1y, kS3x, kS3y, kRightEdge, kUpperEdge, kPerNode };

void torus_numbering(int64_t nx, int64_t ny, XnodTable& xnod) {
  auto node = [nx, ny](int64_t i, int64_t k) { return kPerNode * ((i % nx) + (k % ny) * nx); };
  for (int64_t k = 1; k <= ny; ++k)
    for (int64_t j = 1; j <= nx; ++j) {
      const int64_t cell = cell_serial(j, k, nx);
      // Vertices counter-clockwise from the lower-left one.
      const int64_t v[4] = {node(j - 1, k - 1), node(j, k - 1), node(j, k), node(j - 1, k)};
      for (int a = 1; a <= 4; ++a) {
        xnod(cell, a) = static_cast<int32_t>(v[a - 1] + kS1x + 1);
        xnod(cell, 4 + a) = static_cast<int32_t>(v[a - 1] + kS1y + 1);
        xnod(cell, 12 + a) = static_cast<int32_t>(v[a - 1] + kS3x + 1);
        xnod(cell, 16 + a) = static_cast<int32_t>(v[a - 1] + kS3y + 1);
      }
      xnod(cell, fluid(Edge::left)) = static_cast<int32_t>(v[0] + kUpperEdge + 1);
      xnod(cell, fluid(Edge::right)) = static_cast<int32_t>(v[1] + kUpperEdge + 1);
      xnod(cell, fluid(Edge::bottom)) = static_cast<int32_t>(v[0] + kRightEdge + 1);
      xnod(cell, fluid(Edge::top)) = static_cast<int32_t>(v[3] + kRightEdge + 1);
    }
}

// The cells whose entries the system holds: those of its band of rows.
template <class Visit>
void for_cells(const PeriodicGrid& g, Visit&& visit) {
  for (int64_t k = g.first_row; k <= g.last_row; ++k)
    for (int64_t j = 1; j <= g.nx; ++j) visit(j, k);
}

const core::CellCoefficients& cell_of(std::span<const core::CellCoefficients> cells, const PeriodicGrid& g, int64_t j,
                                      int64_t k) {
  return cells[cell_law_index(g.nx, g.ny, g.first_row, cells.size(), j, k)];
}

}  // namespace

PeriodicGrid::PeriodicGrid(int64_t nx_, int64_t ny_, double h_, int64_t first_row_, int64_t last_row_)
    : nx(nx_), ny(ny_), h(h_), n(kPerNode * nx_ * ny_), first_row(first_row_), last_row(last_row_), xnod(nx_ * ny_) {
  if (nx < 1 || ny < 1 || n > INT32_MAX)
    throw std::invalid_argument("periodic grid of " + std::to_string(nx) + " x " + std::to_string(ny) +
                                " cells: expected at least one cell and at most 2^31 - 1 unknowns");
  if (first_row < 1 || last_row < first_row - 1 || last_row > ny)
    throw std::invalid_argument("band of cell rows " + std::to_string(first_row) + ".." + std::to_string(last_row) +
                                ": expected rows within 1.." + std::to_string(ny) + " (or none)");
  // The sort keys (210 a cell) and the pattern's two index arrays, sized
  // before any is allocated, as for the sealed grid.
  const int64_t cells = nx * (last_row - first_row + 1);
  core::require_memory(cells * 210 * 8 + cells * 135 * 16 + n * 32, "the assembly of the periodic grid of " +
                                                                      std::to_string(nx) + " x " + std::to_string(ny) +
                                                                      " cells");
  torus_numbering(nx, ny, xnod);
  held = {kS1x, kS1y};
  std::vector<int64_t> keys;
  keys.reserve(static_cast<std::size_t>(cells * 210));
  for_cells(*this, [&](int64_t j, int64_t k) {
    for (int a = 1; a <= kLocalUnknowns; ++a)
      for (int b = 1; b <= kLocalUnknowns; ++b) {
        const int64_t r = unknown(j, k, a), c = unknown(j, k, b);
        if (c <= r) keys.push_back(r * n + c);
      }
  });
  pattern_from_keys(keys, n, pattern, row_start);
}

int64_t PeriodicGrid::position(int64_t row, int64_t col) const { return pattern_position(pattern, row_start, row, col); }

double affine_part(int a, int s, double h) {
  if (a >= fluid(Edge::left) && a <= fluid(Edge::top)) return 0;
  static const double dx[4] = {0, 1, 1, 0}, dz[4] = {0, 0, 1, 1};
  const int v = (a - 1) % 4;
  const bool x_component = a <= 4 || (a >= 13 && a <= 16);
  if (x_component) return s == 0 ? dx[v] * h : s == 2 ? dz[v] * h : 0.0;
  return s == 1 ? dz[v] * h : 0.0;
}

void assemble_periodic(const PeriodicGrid& g, std::span<const core::CellCoefficients> cells, double omega,
                       PeriodicSystem& sys) {
  const std::size_t n = static_cast<std::size_t>(g.n);
  sys.values.assign(g.pattern.col.size(), zcomplex{0, 0});
  sys.rhs.assign(n * kStrains, zcomplex{0, 0});
  for (auto& row : sys.affine) row.fill(zcomplex{0, 0});
  double a[kStrains][kLocalUnknowns];
  for (int s = 0; s < kStrains; ++s)
    for (int l = 1; l <= kLocalUnknowns; ++l) a[s][l - 1] = affine_part(l, s, g.h);
  ElementMatrix ae;
  int64_t u[kLocalUnknowns];
  for_cells(g, [&](int64_t j, int64_t k) {
    regular_element_matrix(cell_of(cells, g, j, k), omega, g.h, ae);
    for (int l = 1; l <= kLocalUnknowns; ++l) u[l - 1] = g.unknown(j, k, l);
    for (int r = 1; r <= kLocalUnknowns; ++r) {
      const int64_t row = u[r - 1];
      const bool free_row = !g.is_held(row);
      zcomplex ka[kStrains] = {};  // (K_e a_s) at row r
      for (int c = 1; c <= kLocalUnknowns; ++c) {
        const int64_t col = u[c - 1];
        if (col <= row && ((free_row && !g.is_held(col)) || col == row))
          sys.values[static_cast<std::size_t>(g.position(row, col))] += ae(r, c);
        for (int s = 0; s < kStrains; ++s) ka[s] += ae(r, c) * a[s][c - 1];
      }
      for (int s = 0; s < kStrains; ++s) {
        if (free_row) sys.rhs[static_cast<std::size_t>(s) * n + static_cast<std::size_t>(row)] -= ka[s];
        for (int t = 0; t < kStrains; ++t) sys.affine[t][s] += a[t][r - 1] * ka[s];
      }
    }
  });
}

Tensor3 periodic_tensor(const PeriodicGrid& g, const PeriodicSystem& sys, std::span<const zcomplex> x) {
  const std::size_t n = static_cast<std::size_t>(g.n);
  const double area = static_cast<double>(g.nx) * static_cast<double>(g.ny) * g.h * g.h;
  Tensor3 c{};
  for (int s = 0; s < kStrains; ++s)
    for (int t = 0; t < kStrains; ++t) {
      zcomplex dot{0, 0};
      const zcomplex* r = sys.rhs.data() + static_cast<std::size_t>(s) * n;
      const zcomplex* xt = x.data() + static_cast<std::size_t>(t) * n;
      for (std::size_t i = 0; i < n; ++i) dot += r[i] * xt[i];
      c[s][t] = (sys.affine[s][t] - dot) / area;
    }
  return c;
}

}  // namespace tensor
