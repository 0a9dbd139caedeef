// Dense kernels of one front of the multifrontal LDL^T (complex symmetric,
// no conjugation, no pivoting): the partial factorisation of its pivot
// columns, the update matrix it passes up, and the extend-add of a child's
// update matrix into its parent's front.
//
// A front of m rows and nc pivots is held in two pieces: the panel, m x nc
// column-major (leading dimension m) in the factor store, which becomes the
// unit lower triangular L with D on its diagonal; and the update matrix,
// (m - nc) x (m - nc) column-major, of which only the lower triangle is used.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sparse_solver.hpp"

namespace engine::detail {

inline constexpr Index kPanelBlock = 96;    // columns factorised between panel updates
inline constexpr Index kUpdateChunk = 384;  // pivots per rank-k update of the update matrix

// A pivot changed by the guard: its number in pivot order and the amount
// added to it. The factor is then that of A + sum delta e_k e_k^T.
struct PivotChange {
  Index pivot;
  zcomplex delta;
};

// Pivots of modulus below `tiny` are replaced by `tiny` with their phase (a
// zero pivot by `tiny`), and recorded; `first` is the number of the front's
// first pivot.
struct PivotGuard {
  double tiny = 0;
  Index first = 0;
  std::vector<PivotChange> changes;
};

// Factorises the nc pivot columns of the panel in place.
void factor_panel(zcomplex* panel, Index m, Index nc, PivotGuard& guard, std::vector<zcomplex>& scratch);

// update -= L2 D L2^T, L2 the rows below the pivots of the factorised panel.
void update_matrix(const zcomplex* panel, Index m, Index nc, zcomplex* update, std::vector<zcomplex>& scratch);

// Adds the lower triangle of a child's update matrix (mc x mc, row i going
// to place up[i] of the parent's front) into the parent's panel and update.
void extend_add(const zcomplex* child, Index mc, const std::int32_t* up, zcomplex* panel, Index m, Index nc,
                zcomplex* update);

}  // namespace engine::detail
