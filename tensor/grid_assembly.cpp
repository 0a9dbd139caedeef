// The values and loads of a test on the cell grid, cell by cell. With two
// threads the band's cell rows are split in two: the lower rows on one
// thread, the upper on the other, each writing the entries of its own cells.
// The two halves share the entries whose unknowns all lie on the grid line
// between them (the upper cells of the lower half and the lower cells of
// the upper half both hold them). One thread adds to such an entry first
// the lower cell's share, then the upper cell's, so the upper half keeps its
// shares of those entries (and of the loads of the unknowns on that line)
// in a list, and adds them in the order made once both halves are done:
// every sum takes its terms in the order of one thread, to the same bits.
#include <utility>

#include "core/two_pieces.hpp"
#include "fem/element.hpp"
#include "fem/local_unknowns.hpp"
#include "tensor/grid_system.hpp"

namespace tensor {

namespace {

using fem::kLocalUnknowns;

// Below this count of cell rows one thread assembles them all.
constexpr int64_t kSplitRows = 8;

// The shares kept back for later: (place, term) in the order made.
struct Deferred {
  std::vector<std::pair<std::size_t, zcomplex>> values, loads;
};

// The cells of rows first .. last and their shares.
struct Rows {
  const GridSystem& g;
  const TestSetup& test;
  std::span<const core::CellCoefficients> cells;
  double omega;
  std::vector<zcomplex>& values;
  std::vector<zcomplex>& rhs;
  Deferred* later = nullptr;  // for the shares on the line below row `first`

  void assemble(int64_t first, int64_t last) const {
    fem::ElementMatrix ae;
    for (int64_t k = first; k <= last; ++k)
      for (int64_t j = 1; j <= g.nx; ++j) cell(j, k, ae, later && k == first ? 2 * static_cast<int32_t>(k - 1) : -1);
  }

  // Cell (j, k); the unknowns at half-cell height `seam` (-1: none) are
  // those another piece also writes.
  void cell(int64_t j, int64_t k, fem::ElementMatrix& ae, int32_t seam) const {
    const std::size_t n = static_cast<std::size_t>(g.n), nloads = test.loads.size();
    fem::regular_element_matrix(cells[cell_law_index(g.nx, g.ny, g.first_row, cells.size(), j, k)], omega, g.h, ae);
    int64_t u[kLocalUnknowns];
    bool shared[kLocalUnknowns];
    for (int a = 1; a <= kLocalUnknowns; ++a) {
      u[a - 1] = g.unknown(j, k, a);
      shared[a - 1] = g.places.y2[static_cast<std::size_t>(u[a - 1])] == seam;
    }
    for (int a = 1; a <= kLocalUnknowns; ++a) {
      const int64_t r = u[a - 1];
      const bool free_r = test.constraint[static_cast<std::size_t>(r)] == kFree;
      for (int b = 1; b <= kLocalUnknowns; ++b) {
        const int64_t c = u[b - 1];
        const int8_t cc = test.constraint[static_cast<std::size_t>(c)];
        if (c <= r && ((free_r && cc == kFree) || c == r)) {
          const auto at = static_cast<std::size_t>(g.position(r, c));
          if (shared[a - 1] && shared[b - 1]) later->values.emplace_back(at, ae(a, b));
          else values[at] += ae(a, b);
        }
        if (free_r && cc > kHeld)
          for (std::size_t l = 0; l < nloads; ++l) {
            const std::size_t at = l * n + static_cast<std::size_t>(r);
            const zcomplex term = ae(a, b) * test.loads[l].plate[cc];
            if (shared[a - 1]) later->loads.emplace_back(at, term);
            else rhs[at] -= term;
          }
      }
    }
  }
};

}  // namespace

void assemble(const GridSystem& g, const TestSetup& test, std::span<const core::CellCoefficients> cells, double omega,
              std::vector<zcomplex>& values, std::vector<zcomplex>& rhs, int threads) {
  const std::size_t n = static_cast<std::size_t>(g.n), nloads = test.loads.size();
  values.assign(static_cast<std::size_t>(g.entries()), zcomplex{0, 0});
  rhs.assign(n * nloads, zcomplex{0, 0});
  const int64_t rows = g.last_row - g.first_row + 1;
  const bool two = threads > 1 && rows >= kSplitRows;
  const int64_t lower_last = two ? g.first_row + rows / 2 - 1 : g.last_row;
  Deferred later;
  const Rows lower{g, test, cells, omega, values, rhs, nullptr}, upper{g, test, cells, omega, values, rhs, &later};
  core::two_pieces(two, [&] { lower.assemble(g.first_row, lower_last); },
                   [&] { upper.assemble(lower_last + 1, g.last_row); });
  for (const auto& [at, term] : later.values) values[at] += term;
  for (const auto& [at, term] : later.loads) rhs[at] -= term;
  for (std::size_t l = 0; l < nloads && g.first_row == 1; ++l) {  // the forces once, by the band of row 1
    const std::vector<zcomplex>& f = test.loads[l].force;
    if (f.empty()) continue;
    for (std::size_t r = 0; r < n; ++r)
      if (test.constraint[r] == kFree) rhs[l * n + r] += f[r];
  }
}

}  // namespace tensor
