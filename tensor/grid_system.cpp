#include "tensor/grid_system.hpp"

#include <algorithm>
#include <climits>
#include <iterator>
#include <stdexcept>
#include <string>

#include "core/memory_room.hpp"
#include "fem/element.hpp"
#include "fem/local_unknowns.hpp"
#include "fem/test_conditions.hpp"

namespace tensor {

namespace {

using namespace fem;
using enum fem::Vertex;
using enum fem::Edge;

// Half-cell point of local unknown a of cell (j, k): vertices at even,
// edge midpoints at odd coordinates.
void place_of(int a, int64_t j, int64_t k, int32_t& x, int32_t& y) {
  static const int vx[4] = {0, 2, 2, 0}, vy[4] = {0, 0, 2, 2};
  static const int ex[4] = {0, 2, 1, 1}, ey[4] = {1, 1, 0, 2};
  const auto bx = static_cast<int32_t>(2 * (j - 1)), by = static_cast<int32_t>(2 * (k - 1));
  if (a >= fluid(left) && a <= fluid(top)) {
    x = bx + ex[a - fluid(left)], y = by + ey[a - fluid(left)];
    return;
  }
  const int v = (a - 1) % 4;
  x = bx + vx[v], y = by + vy[v];
}

int64_t unknowns_of(int64_t nx, int64_t ny) { return ny * (6 * nx + 5) + 5 * nx + 4; }

template <class Visit>
void for_cells(const GridSystem& g, Visit&& visit) {
  for (int64_t k = 1; k <= g.ny; ++k)
    for (int64_t j = 1; j <= g.nx; ++j) visit(j, k);
}

// The cells whose entries the system holds: those of its band of rows.
template <class Visit>
void for_band_cells(const GridSystem& g, Visit&& visit) {
  for (int64_t k = g.first_row; k <= g.last_row; ++k)
    for (int64_t j = 1; j <= g.nx; ++j) visit(j, k);
}

void check_grid(const GridSystem& g) {
  if (g.nx < 1 || g.ny < 1 || g.n > INT32_MAX)
    throw std::invalid_argument("grid of " + std::to_string(g.nx) + " x " + std::to_string(g.ny) +
                                " cells: expected at least one cell and at most 2^31 - 1 unknowns");
  if (g.first_row < 1 || g.last_row < g.first_row - 1 || g.last_row > g.ny)
    throw std::invalid_argument("band of cell rows " + std::to_string(g.first_row) + ".." +
                                std::to_string(g.last_row) + ": expected rows within 1.." + std::to_string(g.ny) +
                                " (or none)");
}

// The numbering of every unknown and its half-cell place.
void number_and_place(GridSystem& g) {
  g.xnod = fem::XnodTable(g.nx * g.ny);
  fem::global_numbering(static_cast<int32_t>(g.nx), static_cast<int32_t>(g.ny), g.xnod);
  g.places = {g.nx, g.ny, std::vector<int32_t>(static_cast<std::size_t>(g.n)),
              std::vector<int32_t>(static_cast<std::size_t>(g.n))};
  for_cells(g, [&](int64_t j, int64_t k) {
    for (int a = 1; a <= kLocalUnknowns; ++a) {
      const auto r = static_cast<std::size_t>(g.unknown(j, k, a));
      place_of(a, j, k, g.places.x2[r], g.places.y2[r]);
    }
  });
}

}  // namespace

GridSystem::GridSystem(int64_t nx_, int64_t ny_, double h_, int64_t first_row_, int64_t last_row_)
    : nx(nx_), ny(ny_), h(h_), n(unknowns_of(nx_, ny_)), first_row(first_row_), last_row(last_row_), xnod(0) {
  check_grid(*this);
  // The sort keys (210 a cell) and the pattern's two index arrays (130
  // distinct entries a cell on a large grid), sized before any is allocated.
  const int64_t cells = nx * (last_row - first_row + 1);
  core::require_memory(cells * 210 * 8 + cells * 135 * 16 + n * 32,
                       "the assembly of the grid of " + std::to_string(nx) + " x " + std::to_string(ny) + " cells");
  number_and_place(*this);
  std::vector<int64_t> keys;
  keys.reserve(static_cast<std::size_t>(cells * 210));
  for_band_cells(*this, [&](int64_t j, int64_t k) {
    for (int a = 1; a <= kLocalUnknowns; ++a) {
      const int64_t r = unknown(j, k, a);
      for (int b = 1; b <= kLocalUnknowns; ++b) {
        const int64_t c = unknown(j, k, b);
        if (c <= r) keys.push_back(r * n + c);
      }
    }
  });
  pattern_from_keys(keys, n, pattern, row_start);
}

GridSystem::GridSystem(int64_t nx_, int64_t ny_, double h_, PatternLayout layout, int threads)
    : nx(nx_), ny(ny_), h(h_), n(unknowns_of(nx_, ny_)), first_row(1), last_row(ny_), xnod(0) {
  if (layout == PatternLayout::coordinates) {
    *this = GridSystem(nx_, ny_, h_);
    return;
  }
  check_grid(*this);
  core::require_memory(grid_lower_bytes(nx, ny) + n * 8, "the assembly of the grid of " + std::to_string(nx) + " x " +
                                                             std::to_string(ny) + " cells");
  number_and_place(*this);
  lower = grid_lower_pattern(*this, threads);
}

int64_t GridSystem::position(int64_t row, int64_t col) const {
  if (lower) return lower->position(row, col);
  return pattern_position(pattern, row_start, row, col);
}

void pattern_from_keys(std::vector<int64_t>& keys, int64_t n, engine::Pattern& pattern, std::vector<int64_t>& row_start) {
  // The keys bucketed by row (a counting pass), then each row's few
  // columns sorted and made distinct: a sort of short lists in place of one
  // of every key.
  const auto at = [](int64_t i) { return static_cast<std::size_t>(i); };
  row_start.assign(at(n + 1), 0);
  for (const int64_t key : keys) ++row_start[at(key / n + 1)];
  for (int64_t r = 0; r < n; ++r) row_start[at(r + 1)] += row_start[at(r)];
  std::vector<int64_t> next(row_start.begin(), row_start.end() - 1);
  pattern.col.resize(keys.size());
  for (const int64_t key : keys) pattern.col[at(next[at(key / n)]++)] = key % n;
  keys = {};
  next = {};
  int64_t kept = 0;
  for (int64_t r = 0; r < n; ++r) {
    const auto first = pattern.col.begin() + row_start[at(r)], last = pattern.col.begin() + row_start[at(r + 1)];
    std::sort(first, last);
    const auto end = std::unique(first, last);
    const bool moved = kept != row_start[at(r)];
    row_start[at(r)] = kept;
    if (moved) std::copy(first, end, pattern.col.begin() + kept);  // to the left: nothing unread is overwritten
    kept += end - first;
  }
  row_start[at(n)] = kept;
  pattern.n = n;
  pattern.col.resize(at(kept));
  pattern.col.shrink_to_fit();
  pattern.row.resize(at(kept));
  for (int64_t r = 0; r < n; ++r)
    std::fill(pattern.row.begin() + row_start[at(r)], pattern.row.begin() + row_start[at(r + 1)], r);
}

int64_t pattern_position(const engine::Pattern& pattern, const std::vector<int64_t>& row_start, int64_t row,
                         int64_t col) {
  const auto first = pattern.col.begin() + row_start[static_cast<std::size_t>(row)];
  const auto last = pattern.col.begin() + row_start[static_cast<std::size_t>(row + 1)];
  return std::lower_bound(first, last, col) - pattern.col.begin();
}

namespace {

// The constraints of `conditions` on every unknown of the grid: held at
// zero, or moved with the right or the top plate.
std::vector<int8_t> constraints_of(const GridSystem& g, const fem::TestConditions& conditions) {
  std::vector<int8_t> constraint(static_cast<std::size_t>(g.n), kFree);
  for_cells(g, [&](int64_t j, int64_t k) {
    auto set = [&](const int8_t* first, const int8_t* last, Constraint c) {
      for (; first != last && *first != 0; ++first) constraint[static_cast<std::size_t>(g.unknown(j, k, *first))] = c;
    };
    fem::for_boundary_sides(conditions, j, k, g.nx, g.ny, [&](fem::Side side, const fem::SideRule& rule) {
      set(std::begin(rule.plate), std::end(rule.plate), side == fem::Side::right ? kRightPlate : kTopPlate);
      set(std::begin(rule.held), std::end(rule.held), kHeld);
    });
  });
  return constraint;
}

// The unit tractions of `conditions` as nodal forces, on the components
// named there (`solid3` false) or on the same components of solid 3.
std::vector<zcomplex> traction_forces(const GridSystem& g, const fem::TestConditions& conditions, bool solid3) {
  std::vector<zcomplex> force(static_cast<std::size_t>(g.n), zcomplex{0, 0});
  const double half = 0.5 * g.h;
  for_cells(g, [&](int64_t j, int64_t k) {
    fem::for_boundary_sides(conditions, j, k, g.nx, g.ny, [&](fem::Side, const fem::SideRule& rule) {
      for (const fem::Traction t : rule.load) {
        if (t.entry == 0) continue;
        const int a = solid3 ? fem::on_solid3(t.entry) : t.entry;
        force[static_cast<std::size_t>(g.unknown(j, k, a))].re += t.sign * half;
      }
    });
  });
  return force;
}

// Only the right and the top side carry a plate (constraints_of names them so).
constexpr bool plates_right_and_top(const fem::TestConditions& t) {
  return t.left.plate[0] == 0 && t.bottom.plate[0] == 0;
}
static_assert(plates_right_and_top(fem::conditions::kBiaxial) && plates_right_and_top(fem::conditions::kShear));

}  // namespace

TestSetup biaxial_test(const GridSystem& g) {
  TestSetup t;
  t.constraint = constraints_of(g, fem::conditions::kBiaxial);
  t.loads.resize(2);
  t.loads[0].plate[kRightPlate] = static_cast<double>(g.nx) * g.h;
  t.loads[1].plate[kTopPlate] = static_cast<double>(g.ny) * g.h;
  return t;
}

TestSetup shear_test(const GridSystem& g) {
  TestSetup t;
  t.constraint = constraints_of(g, fem::conditions::kShear);
  // Load 1 the tractions on solid 1, load 2 the same tractions on solid 3.
  t.loads.resize(2);
  t.loads[0].force = traction_forces(g, fem::conditions::kShear, false);
  t.loads[1].force = traction_forces(g, fem::conditions::kShear, true);
  return t;
}

void impose(const TestSetup& test, int l, std::span<zcomplex> x) {
  for (std::size_t i = 0; i < x.size(); ++i) {
    const int8_t c = test.constraint[i];
    if (c != kFree) x[i] = {c == kHeld ? 0.0 : test.loads[static_cast<std::size_t>(l)].plate[c], 0.0};
  }
}

namespace {

// Visits the rows of the unknowns moved with a plate, cell by cell along the
// right and the top side: visit(j, k, a, plate, ae) with local unknown a of
// cell (j, k), its plate (kRightPlate or kTopPlate) and the cell's
// unreduced element matrix ae.
template <class Visit>
void for_plate_rows(const GridSystem& g, const TestSetup& test, std::span<const core::CellCoefficients> cells,
                    double omega, Visit&& visit) {
  ElementMatrix ae;
  for_band_cells(g, [&](int64_t j, int64_t k) {
    if (j != g.nx && k != g.ny) return;
    regular_element_matrix(cells[cell_law_index(g.nx, g.ny, g.first_row, cells.size(), j, k)], omega, g.h, ae);
    for (int a = 1; a <= kLocalUnknowns; ++a) {
      const int8_t c = test.constraint[static_cast<std::size_t>(g.unknown(j, k, a))];
      if (c == kRightPlate || c == kTopPlate) visit(j, k, a, c, ae);
    }
  });
}

}  // namespace

PlateForces plate_forces(const GridSystem& g, const TestSetup& test, std::span<const core::CellCoefficients> cells,
                         double omega, std::span<const zcomplex> x) {
  PlateForces f{};
  for_plate_rows(g, test, cells, omega, [&](int64_t j, int64_t k, int a, int8_t c, const ElementMatrix& ae) {
    zcomplex sum{0, 0};
    for (int b = 1; b <= kLocalUnknowns; ++b) sum += ae(a, b) * x[static_cast<std::size_t>(g.unknown(j, k, b))];
    (c == kRightPlate ? f.right : f.top) += sum;
  });
  return f;
}

PlateFunctionals plate_functionals(const GridSystem& g, const TestSetup& test,
                                   std::span<const core::CellCoefficients> cells, double omega) {
  PlateFunctionals f{std::vector<zcomplex>(static_cast<std::size_t>(g.n), zcomplex{0, 0}),
                     std::vector<zcomplex>(static_cast<std::size_t>(g.n), zcomplex{0, 0})};
  for_plate_rows(g, test, cells, omega, [&](int64_t j, int64_t k, int a, int8_t c, const ElementMatrix& ae) {
    std::vector<zcomplex>& l = c == kRightPlate ? f.right : f.top;
    for (int b = 1; b <= kLocalUnknowns; ++b) l[static_cast<std::size_t>(g.unknown(j, k, b))] += ae(a, b);
  });
  return f;
}

}  // namespace tensor
