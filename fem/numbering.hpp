// Cells, vertices, edges and the global number of every unknown of the
// nx x ny cell grid.
//
// Four solid unknowns live at each vertex (x and y of solid 1, x and y of
// solid 3) and one fluid unknown on each edge (the relative fluid
// displacement normal to the edge, along the positive axis). The unknowns
// are laid out in bands, one per vertex row: vertex, horizontal edge,
// vertex, ..., vertex, then the vertical edges of the cell row above.
#pragma once

#include <cassert>
#include <cstdint>
#include <vector>

#include "core/capacities.hpp"

namespace fem {

// Cells of the largest deck grid.
inline constexpr int32_t kMaxCellsInTable = core::kMaxCells;
// Local unknowns of one cell.
inline constexpr int kLocalUnknowns = 20;

// Local order of a cell's unknowns. Vertices 1..4 run counter-clockwise from
// the bottom-left one.
//    1.. 4  xs1_1  solid-1 x at vertices 1..4
//    5.. 8  xs1_2  solid-1 y at vertices 1..4
//    9      xf_L   fluid, left edge
//   10      xf_R   fluid, right edge
//   11      xf_B   fluid, bottom edge
//   12      xf_T   fluid, top edge
//   13..16  xs2_1  solid-3 x at vertices 1..4
//   17..20  xs2_2  solid-3 y at vertices 1..4
//
// xnod(cell, a): global number of local unknown a of the cell with serial
// number cell = j + (k-1)*nx. The cell index varies fastest in memory.
// Default-constructed the table holds the cells of the largest deck grid;
// any other grid passes its number of cells.
class XnodTable {
 public:
  XnodTable() : XnodTable(kMaxCellsInTable) {}
  explicit XnodTable(int64_t cells) : cells_(cells), v_(static_cast<std::size_t>(cells * kLocalUnknowns)) {}

  int32_t& operator()(int64_t cell, int a) {
    assert(cell >= 1 && cell <= cells_ && a >= 1 && a <= kLocalUnknowns);
    return v_[static_cast<std::size_t>((cell - 1) + (a - 1) * cells_)];
  }
  int32_t operator()(int64_t cell, int a) const {
    assert(cell >= 1 && cell <= cells_ && a >= 1 && a <= kLocalUnknowns);
    return v_[static_cast<std::size_t>((cell - 1) + (a - 1) * cells_)];
  }
  int64_t cells() const { return cells_; }

 private:
  int64_t cells_;
  std::vector<int32_t> v_;
};

// Serial number of cell (j, k).
constexpr int64_t cell_serial(int64_t j, int64_t k, int64_t nx) { return j + (k - 1) * nx; }

// Fills xnod for every cell of the nx x ny grid; rows of serial numbers
// beyond nx*ny are left as they are.
void global_numbering(int32_t nx, int32_t ny, XnodTable& xnod);

}  // namespace fem
