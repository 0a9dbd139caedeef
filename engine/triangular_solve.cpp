// Forward and backward substitution with the supernodal factor, a block of
// right-hand sides at a time: within a supernode the unit lower triangle of
// its diagonal block and the rows below it. One pass over the factor blocks
// forwards (with the pivots' division, once a supernode's rows are final)
// and one backwards, so that factors on disk are read twice per solve, in
// order.
//
// A solve reads every factor entry for two multiply-adds per right-hand
// side: it is bound by the reading of the factor, and a library product
// would first copy each block into its own layout (as much traffic again as
// the arithmetic needs). So each supernode's column is used as it lies,
// once for all right-hand sides while it is in cache: an axpy per column
// forwards, a dot product per column backwards, two vectors at a time
// (engine/column_kernels.hpp). Each right-hand side gets
// the same operations in the same order whatever the others are, so a
// block of vectors solves to the same bits as the vectors one at a time.
#include <vector>

#include "engine/column_kernels.hpp"
#include "engine/numeric.hpp"

namespace engine::detail {

namespace {

// w (m x nrhs, leading dimension m): the supernode's pivots of y, then, below
// them, zero (forwards) or the rows below gathered from y (backwards).
void gather(const Fronts& f, Index s, const zcomplex* y, Index nrhs, bool below, std::vector<zcomplex>& w) {
  const Index n = f.n, m = f.m(s), nc = f.nc(s), mc = m - nc;
  w.resize(static_cast<std::size_t>(m * nrhs));
  const Index* rows = f.rows.data() + f.rows_ptr[s] + nc;
  for (Index r = 0; r < nrhs; ++r) {
    zcomplex* wr = w.data() + r * m;
    const zcomplex* yr = y + r * n;
    for (Index j = 0; j < nc; ++j) wr[j] = yr[f.first[s] + j];
    for (Index i = 0; i < mc; ++i) wr[nc + i] = below ? yr[rows[i]] : zcomplex{0, 0};
  }
}

void forward(const Fronts& f, FactorBlocks& blocks, zcomplex* y, Index nrhs, std::vector<zcomplex>& w) {
  const Index n = f.n;
  for (Index s = 0; s < f.nsuper; ++s) {
    const Index m = f.m(s), nc = f.nc(s), mc = m - nc;
    const zcomplex* L = blocks.ascending(s);
    gather(f, s, y, nrhs, false, w);
    // Column k of the unit lower L eliminates pivot k from the rows below
    // it; the rows below the supernode collect minus their updates.
    for (Index k = 0; k < nc; ++k)
      for (Index r = 0; r < nrhs; ++r) column_axpy(L + k * m + k + 1, w[k + r * m], w.data() + r * m + k + 1, m - k - 1);
    const Index* rows = f.rows.data() + f.rows_ptr[s] + nc;
    for (Index r = 0; r < nrhs; ++r) {
      zcomplex* yr = y + r * n;
      const zcomplex* wr = w.data() + r * m;
      for (Index i = 0; i < mc; ++i) yr[rows[i]] += wr[nc + i];
    }
    for (Index j = 0; j < nc; ++j) {
      const zcomplex inv = core::cdiv(zcomplex{1, 0}, L[j + j * m]);
      for (Index r = 0; r < nrhs; ++r) y[f.first[s] + j + r * n] = w[j + r * m] * inv;
    }
  }
}

void backward(const Fronts& f, FactorBlocks& blocks, zcomplex* y, Index nrhs, std::vector<zcomplex>& w) {
  const Index n = f.n;
  for (Index s = f.nsuper - 1; s >= 0; --s) {
    const Index m = f.m(s), nc = f.nc(s);
    const zcomplex* L = blocks.descending(s);
    gather(f, s, y, nrhs, true, w);
    // Pivot j takes the final values of all rows below it in the front:
    // first those below the supernode (known already: the columns in
    // ascending order, as they lie in memory), then, from the last pivot
    // back, those of the pivots after it.
    for (Index j = 0; j < nc; ++j) {
      const zcomplex* column = L + j * m + nc;
      Index r = 0;
      for (; r + 2 <= nrhs; r += 2) {  // two vectors a pass over the column
        zcomplex* wr = w.data() + r * m;
        zcomplex d[2];
        column_dot_pair(column, wr + nc, wr + m + nc, m - nc, d);
        wr[j] -= d[0], wr[m + j] -= d[1];
      }
      for (; r < nrhs; ++r) {
        zcomplex* wr = w.data() + r * m;
        wr[j] -= column_dot(column, wr + nc, m - nc);
      }
    }
    for (Index j = nc - 2; j >= 0; --j)
      for (Index r = 0; r < nrhs; ++r) {
        zcomplex* wr = w.data() + r * m;
        wr[j] -= column_dot(L + j * m + j + 1, wr + j + 1, nc - j - 1);
      }
    for (Index r = 0; r < nrhs; ++r)
      for (Index j = 0; j < nc; ++j) y[f.first[s] + j + r * n] = w[j + r * m];
  }
}

}  // namespace

void solve_fronts(const Fronts& f, FactorBlocks& blocks, zcomplex* y, Index nrhs) {
  std::vector<zcomplex> w;
  forward(f, blocks, y, nrhs, w);
  backward(f, blocks, y, nrhs, w);
}

}  // namespace engine::detail
