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
// (engine/column_kernels.hpp).
//
// The fronts are cut into subtrees and the supernodes above them
// (SolveSplit). Forwards, a subtree's supernodes update rows of their own
// subtree and rows above it, and every row above it is a row of its root's
// front: those updates are summed in a buffer of the subtree's, added to
// the rows where the root stands in the order of the fronts. Backwards the
// supernodes above come first, and a subtree then reads only final values.
// So the subtrees of a solve in memory go to the threads side by side, and
// the supernodes above them to the threads in parts of the block: every
// factor entry is read once per sweep, and every vector gets the same
// operations in the same order on any number of threads, alone or in a
// block, in memory or on disk.
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "engine/column_kernels.hpp"
#include "engine/numeric.hpp"
#include "core/shared_work.hpp"

namespace engine::detail {

namespace {

// One thread's working room: a front's gathered block, and the place of
// each row above the subtree being swept in its root's front (-1 elsewhere;
// a front has fewer than 2^31 rows).
struct Room {
  std::vector<zcomplex> w;
  std::vector<std::int32_t> place;
};

// Where the updates of the rows from `from` on go: `buffer`, `mc` words a
// vector, at each row's place.
struct Above {
  Index from;
  zcomplex* buffer;
  Index mc;
  const std::int32_t* place;
};

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

void forward_front(const Fronts& f, Index s, const zcomplex* L, zcomplex* y, Index nrhs, std::vector<zcomplex>& w,
                   const Above* above) {
  const Index n = f.n, m = f.m(s), nc = f.nc(s), mc = m - nc;
  gather(f, s, y, nrhs, false, w);
  // Column k of the unit lower L eliminates pivot k from the rows below
  // it; the rows below the supernode collect minus their updates.
  for (Index k = 0; k < nc; ++k)
    for (Index r = 0; r < nrhs; ++r) column_axpy(L + k * m + k + 1, w[k + r * m], w.data() + r * m + k + 1, m - k - 1);
  const Index* rows = f.rows.data() + f.rows_ptr[s] + nc;
  const Index inside = above ? std::lower_bound(rows, rows + mc, above->from) - rows : mc;
  for (Index r = 0; r < nrhs; ++r) {
    zcomplex* yr = y + r * n;
    const zcomplex* wr = w.data() + r * m;
    for (Index i = 0; i < inside; ++i) yr[rows[i]] += wr[nc + i];
    for (Index i = inside; i < mc; ++i) {
      const Index p = above->place[rows[i]];
      if (p < 0) throw std::logic_error("sparse engine: a row above a subtree is not in its root's front");
      above->buffer[r * above->mc + p] += wr[nc + i];
    }
  }
  for (Index j = 0; j < nc; ++j) {
    const zcomplex inv = core::cdiv(zcomplex{1, 0}, L[j + j * m]);
    for (Index r = 0; r < nrhs; ++r) y[f.first[s] + j + r * n] = w[j + r * m] * inv;
  }
}

// Subtree k forwards: its updates of the rows above it into `buffer`.
void forward_subtree(const Fronts& f, const SolveSplit& split, std::size_t k, FactorBlocks& blocks, zcomplex* y,
                     Index nrhs, Room& room, std::vector<zcomplex>& buffer) {
  const Index root = split.root[k], nc = f.nc(root), mc = f.m(root) - nc;
  const Index* rows = f.rows.data() + f.rows_ptr[root] + nc;
  if (room.place.empty()) room.place.assign(static_cast<std::size_t>(f.n), -1);
  for (Index i = 0; i < mc; ++i) room.place[rows[i]] = static_cast<std::int32_t>(i);
  buffer.assign(static_cast<std::size_t>(mc * nrhs), zcomplex{0, 0});
  const Above above{f.first[root + 1], buffer.data(), mc, room.place.data()};
  for (Index s = split.lo[k]; s <= root; ++s) forward_front(f, s, blocks.ascending(s), y, nrhs, room.w, &above);
  for (Index i = 0; i < mc; ++i) room.place[rows[i]] = -1;
}

// The fronts in order, each subtree's buffer added where its root stands.
// Vectors `first` .. `first` + nrhs - 1 of the buffers go with y; the
// subtrees are swept here unless `swept`.
void forward(const Fronts& f, const SolveSplit& split, FactorBlocks& blocks, zcomplex* y, Index nrhs, Index first,
             Room& room, std::vector<std::vector<zcomplex>>& buffers, bool swept) {
  std::size_t k = 0;
  for (Index s = 0; s < f.nsuper;) {
    if (k < split.root.size() && s == split.lo[k]) {
      std::vector<zcomplex>& buffer = buffers[swept ? k : 0];
      if (!swept) forward_subtree(f, split, k, blocks, y, nrhs, room, buffer);
      const Index root = split.root[k], nc = f.nc(root), mc = f.m(root) - nc;
      const Index* rows = f.rows.data() + f.rows_ptr[root] + nc;
      for (Index r = 0; r < nrhs; ++r)
        for (Index i = 0; i < mc; ++i) y[r * f.n + rows[i]] += buffer[(first + r) * mc + i];
      s = root + 1, ++k;
    } else {
      forward_front(f, s, blocks.ascending(s), y, nrhs, room.w, nullptr);
      ++s;
    }
  }
}

void backward_front(const Fronts& f, Index s, const zcomplex* L, zcomplex* y, Index nrhs, std::vector<zcomplex>& w) {
  const Index n = f.n, m = f.m(s), nc = f.nc(s);
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

void backward_subtree(const Fronts& f, const SolveSplit& split, std::size_t k, FactorBlocks& blocks, zcomplex* y,
                      Index nrhs, std::vector<zcomplex>& w) {
  for (Index s = split.root[k]; s >= split.lo[k]; --s) backward_front(f, s, blocks.descending(s), y, nrhs, w);
}

// The fronts in reverse order; the subtrees too where `subtrees`.
void backward(const Fronts& f, const SolveSplit& split, FactorBlocks& blocks, zcomplex* y, Index nrhs,
              std::vector<zcomplex>& w, bool subtrees) {
  std::size_t k = split.root.size();
  for (Index s = f.nsuper - 1; s >= 0;) {
    if (k > 0 && s == split.root[k - 1]) {
      --k;
      if (subtrees) backward_subtree(f, split, k, blocks, y, nrhs, w);
      s = split.lo[k] - 1;
    } else {
      backward_front(f, s, blocks.descending(s), y, nrhs, w);
      --s;
    }
  }
}

}  // namespace

SolveSplit solve_split(const Fronts& f) {
  SolveSplit split;
  const std::vector<Index> size = subtree_sizes(f);
  const std::vector<Index> roots = subtree_schedule(f, 2);  // the heaviest first
  split.root = roots;
  std::sort(split.root.begin(), split.root.end());
  for (Index r : split.root) split.lo.push_back(r - size[r] + 1);
  for (Index r : roots)
    split.order.push_back(static_cast<std::size_t>(std::lower_bound(split.root.begin(), split.root.end(), r) -
                                                   split.root.begin()));
  return split;
}

void solve_fronts(const Fronts& f, const SolveSplit& split, FactorBlocks& blocks, zcomplex* y, Index nrhs,
                  int threads) {
  const std::size_t subtrees = split.root.size();
  if (threads <= 1 || !blocks.in_memory() || subtrees == 0) {
    Room room;
    std::vector<std::vector<zcomplex>> buffer(1);
    forward(f, split, blocks, y, nrhs, 0, room, buffer, false);
    backward(f, split, blocks, y, nrhs, room.w, true);
    return;
  }
  std::vector<Room> rooms(static_cast<std::size_t>(threads));
  std::vector<std::vector<zcomplex>> buffers(subtrees);
  core::share_out(threads, subtrees, [&](std::size_t i, std::size_t t) {
    const std::size_t k = split.order[i];
    forward_subtree(f, split, k, blocks, y, nrhs, rooms[t], buffers[k]);
  });
  // Above the subtrees: each thread its part of the block, both ways.
  const Index parts = std::min<Index>(threads, nrhs);
  core::share_out(static_cast<int>(parts), static_cast<std::size_t>(parts), [&](std::size_t i, std::size_t t) {
    const Index first = static_cast<Index>(i) * nrhs / parts, count = (static_cast<Index>(i) + 1) * nrhs / parts - first;
    forward(f, split, blocks, y + first * f.n, count, first, rooms[t], buffers, true);
    backward(f, split, blocks, y + first * f.n, count, rooms[t].w, false);
  });
  core::share_out(threads, subtrees, [&](std::size_t i, std::size_t t) {
    backward_subtree(f, split, split.order[i], blocks, y, nrhs, rooms[t].w);
  });
}

}  // namespace engine::detail
