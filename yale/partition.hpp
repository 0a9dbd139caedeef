// How the drivers carve the one workspace.  Pure arithmetic on the order n,
// the workspace size and, for the value regions, the sizes of the factor
// structure: the drivers and the tests compute the same numbers from here.
//
// All word numbers are 1-based.  Integer words are counted in 32-bit units
// and value words in units of the value type; `ratio` integer words share
// one value word.  Quotients truncate toward zero.
#pragma once

#include <cstdint>

namespace yale {

// Ordering (`zodrv` jobs 1, 2, 4): a pool of nc list cells.  The ordering
// counts the workspace as nwork integer words whatever the value type.
struct OrderPartition {
  int32_t nc;         // list cells
  int32_t item;       // first word of cell_item (and of mark, its first n cells)
  int32_t link;       // first word of cell_link
  int32_t deg_head;   // first word of the n degree-bucket heads
  bool fits;          // nc >= n
};

constexpr OrderPartition order_partition(int32_t n, int32_t nwork) {
  OrderPartition p{};
  p.nc = (nwork - n) / 2;
  p.item = 1;
  p.link = p.nc + 1;
  p.deg_head = 2 * p.nc + 1;
  p.fits = p.nc >= n;
  return p;
}

// Symmetric reordering (`zodrv` jobs 2 to 5): a count vector of n integers
// at the top of the first nwork integer words, the target vector below it.
struct ReorderPartition {
  int32_t count;   // first word of the count vector
  int32_t target;  // first word of the target vector (nnz words)
  bool fits;       // target >= 1
};

constexpr ReorderPartition reorder_partition(int32_t n, int32_t nnz, int32_t nwork) {
  ReorderPartition p{};
  p.count = nwork + 1 - n;
  p.target = p.count - nnz;
  p.fits = p.target > 0;
  return p;
}

// Symbolic step of `zndrv` (jobs 1 and 5).
struct SymbolicPartition {
  int32_t l_start;  // word 1, n+1 words
  int32_t u_start;  // word n+2, n+1 words
  int32_t jl;       // first word of l_col
  int32_t mx;       // integer words left for the two column lists
  int32_t jlmax;    // capacity of l_col
  int32_t link;     // list vector, n+1 words
  int32_t prune_end;// n words
  int32_t jt;       // temporary u_col
  int32_t jumax;    // capacity of the temporary u_col
  int32_t esp;      // mx counted in value words
  bool fits;        // jlmax > 0 and jumax > 0
};

constexpr SymbolicPartition symbolic_partition(int32_t n, int32_t nwork, int32_t ratio) {
  SymbolicPartition p{};
  const int64_t iwords = int64_t{ratio} * nwork;
  p.l_start = 1;
  p.u_start = n + 2;
  p.jl = 2 * n + 3;
  const int64_t mx = (iwords + 1 - p.jl) - (n + 1) - n;
  p.fits = iwords <= INT32_MAX;
  if (!p.fits) return p;
  p.mx = static_cast<int32_t>(mx);
  p.jlmax = p.mx / 2;
  p.link = p.jl + p.jlmax;
  p.prune_end = p.link + n + 1;
  p.jt = p.prune_end + n;
  p.jumax = static_cast<int32_t>(iwords + 1 - p.jt);
  p.esp = p.mx / ratio;
  p.fits = p.jlmax > 0 && p.jumax > 0;
  return p;
}

// Value regions of `zndrv` (every job), once the structure is known:
// lcount entries of L and ucount of U, whose column lists end at integer
// word ju + ucount - 1.
struct ValuePartition {
  int32_t ju;       // first integer word of u_col
  int32_t lv;       // first value word of l_val (lcount words)
  int32_t dv;       // d_inv (n words)
  int32_t uv;       // u_val
  int32_t umax;     // capacity of u_val
  int32_t y_tmp;    // n words
  int32_t row_acc;  // the last n words
  int32_t esp;      // spare value words; negative: short by that many
};

constexpr ValuePartition value_partition(int32_t n, int32_t nwork, int32_t ratio, int32_t lcount, int32_t ucount) {
  ValuePartition p{};
  p.ju = 2 * n + 3 + lcount;
  p.lv = (p.ju + ucount - 2 + ratio) / ratio + 1;
  p.dv = p.lv + lcount;
  p.uv = p.dv + n;
  p.row_acc = nwork + 1 - n;
  p.y_tmp = nwork + 1 - 2 * n;
  p.umax = p.y_tmp - p.uv;
  p.esp = p.umax - ucount;
  return p;
}

}  // namespace yale
