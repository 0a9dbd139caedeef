// The lower triangle of a grid's element blocks in the sparse engine's own
// layout, column by column from the numbering: each column's rows are the
// unknowns at or below it of the (at most four) cells that hold it. No list
// of coordinate pairs is made, so the pattern costs its 8 bytes an entry
// and nothing beside. Each column is built on its own: with two threads the
// columns are built in two halves side by side, to the same pattern.
#include <algorithm>

#include "core/two_pieces.hpp"
#include "fem/local_unknowns.hpp"
#include "tensor/grid_system.hpp"

namespace tensor {

namespace {

using fem::kLocalUnknowns;

// Below this count of unknowns one thread builds the pattern alone.
constexpr int64_t kSplitUnknowns = 4096;

// The cells of every unknown: cells[ptr[u]] .. cells[ptr[u+1]-1], 0-based
// serial numbers (at most four each).
struct CellsOfUnknown {
  std::vector<int64_t> ptr;
  std::vector<int32_t> cells;
};

CellsOfUnknown cells_of_unknowns(const GridSystem& g) {
  CellsOfUnknown c;
  c.ptr.assign(static_cast<std::size_t>(g.n) + 1, 0);
  const int64_t count = g.nx * g.ny;
  for (int64_t cell = 1; cell <= count; ++cell)
    for (int a = 1; a <= kLocalUnknowns; ++a) ++c.ptr[static_cast<std::size_t>(g.xnod(cell, a))];
  for (int64_t u = 0; u < g.n; ++u) c.ptr[static_cast<std::size_t>(u) + 1] += c.ptr[static_cast<std::size_t>(u)];
  c.cells.resize(static_cast<std::size_t>(c.ptr.back()));
  std::vector<int64_t> next(c.ptr.begin(), c.ptr.end() - 1);
  for (int64_t cell = 1; cell <= count; ++cell)
    for (int a = 1; a <= kLocalUnknowns; ++a)
      c.cells[static_cast<std::size_t>(next[static_cast<std::size_t>(g.xnod(cell, a) - 1)]++)] =
          static_cast<int32_t>(cell - 1);
  return c;
}

// The rows of column u (unknowns >= u sharing a cell with it), ascending,
// into `rows`; seen[r] == u marks those taken.
void column_rows(const GridSystem& g, const CellsOfUnknown& c, int64_t u, std::vector<int64_t>& seen,
                 std::vector<int64_t>& rows) {
  rows.clear();
  for (int64_t e = c.ptr[static_cast<std::size_t>(u)]; e < c.ptr[static_cast<std::size_t>(u) + 1]; ++e) {
    const int64_t cell = int64_t{c.cells[static_cast<std::size_t>(e)]} + 1;
    for (int a = 1; a <= kLocalUnknowns; ++a) {
      const int64_t r = g.xnod(cell, a) - 1;
      if (r >= u && seen[static_cast<std::size_t>(r)] != u) seen[static_cast<std::size_t>(r)] = u, rows.push_back(r);
    }
  }
  std::sort(rows.begin(), rows.end());
}

}  // namespace

int64_t grid_lower_bytes(int64_t nx, int64_t ny) {
  // The rows (at most 130 distinct entries a cell on a large grid, 135 with
  // the border's share), the column pointers, the cells of each unknown
  // and the marks (one set per thread, two at most).
  const int64_t cells = nx * ny, n = ny * (6 * nx + 5) + 5 * nx + 4;
  return cells * 135 * 8 + cells * kLocalUnknowns * 4 + n * 8 * 5;
}

int64_t bytes_beside_engine(int64_t nx, int64_t ny) {
  // Per unknown: three blocks of two columns (loads, solutions, raw
  // solutions: 96 bytes), the engine's solve copies (the block, its
  // permutation, the residuals, the trial step: 160), the bounds (two
  // functionals, their free parts and adjoints, the residual rows and
  // weights: 160), the places and the constraint (9); per cell the
  // numbering and the coefficients (about 400).
  const int64_t cells = nx * ny, n = ny * (6 * nx + 5) + 5 * nx + 4;
  return n * (96 + 160 + 160 + 9) + cells * 400;
}

std::shared_ptr<const engine::LowerPattern> grid_lower_pattern(const GridSystem& g, int threads) {
  const CellsOfUnknown c = cells_of_unknowns(g);
  auto lower = std::make_shared<engine::LowerPattern>();
  lower->n = g.n;
  lower->ptr.assign(static_cast<std::size_t>(g.n) + 1, 0);
  // Columns lo .. hi-1, each piece with marks of its own: first the counts,
  // so that the rows are allocated once, then the rows.
  const bool two = threads > 1 && g.n >= kSplitUnknowns;
  const int64_t mid = two ? g.n / 2 : g.n;
  auto count = [&](int64_t lo, int64_t hi) {
    std::vector<int64_t> seen(static_cast<std::size_t>(g.n), -1), rows;
    for (int64_t u = lo; u < hi; ++u) {
      column_rows(g, c, u, seen, rows);
      lower->ptr[static_cast<std::size_t>(u) + 1] = static_cast<int64_t>(rows.size());
    }
  };
  core::two_pieces(two, [&] { count(0, mid); }, [&] { count(mid, g.n); });
  for (int64_t u = 0; u < g.n; ++u) lower->ptr[static_cast<std::size_t>(u) + 1] += lower->ptr[static_cast<std::size_t>(u)];
  lower->row.resize(static_cast<std::size_t>(lower->ptr.back()));
  auto fill = [&](int64_t lo, int64_t hi) {
    std::vector<int64_t> seen(static_cast<std::size_t>(g.n), -1), rows;
    for (int64_t u = lo; u < hi; ++u) {
      column_rows(g, c, u, seen, rows);
      std::copy(rows.begin(), rows.end(), lower->row.begin() + lower->ptr[static_cast<std::size_t>(u)]);
    }
  };
  core::two_pieces(two, [&] { fill(0, mid); }, [&] { fill(mid, g.n); });
  return lower;
}

}  // namespace tensor
