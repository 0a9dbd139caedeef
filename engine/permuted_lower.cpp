// The lower triangle of a symmetric permutation of a lower triangle. The
// entries of a are distinct pairs, and so are their images: no repeats to
// merge, so each lands straight in its column (the smaller of its two new
// numbers), and the few rows of each column are then put in order.
//
// With two threads the input columns are scattered in two halves side by
// side, each half into its own part of every output column (the first
// half's entries before the second's), and the output columns are sorted
// in two halves. The rows of a column are distinct, so the sort leaves the
// same result whatever order the scatter left: the same bits for any count
// of threads.
#include <algorithm>
#include <utility>

#include "core/two_pieces.hpp"
#include "engine/analysis.hpp"

namespace engine::detail {

namespace {

// Below this order one thread does it all: a thread costs more than it saves.
constexpr Index kSplitOrder = 4096;

struct Scatter {
  const Lower& a;
  const std::vector<Index>& inverse;
  Index new_column(Index j, Index e) const { return std::min(inverse[a.row[e]], inverse[j]); }

  // count[c + 1]: the entries of input columns lo .. hi-1 that land in column c.
  void count(Index lo, Index hi, std::vector<Index>& count) const {
    for (Index j = lo; j < hi; ++j)
      for (Index e = a.ptr[j]; e < a.ptr[j + 1]; ++e) ++count[new_column(j, e) + 1];
  }

  // Entries of input columns lo .. hi-1 to their columns from next[c] on.
  void place(Index lo, Index hi, std::vector<Index>& next, Lower& out, std::vector<Index>& from) const {
    for (Index j = lo; j < hi; ++j)
      for (Index e = a.ptr[j]; e < a.ptr[j + 1]; ++e) {
        const Index pi = inverse[a.row[e]], pj = inverse[j];
        const Index at = next[std::min(pi, pj)]++;
        out.row[at] = std::max(pi, pj), from[at] = e;
      }
  }
};

// Rows of columns lo .. hi-1 in ascending order, their sources with them.
void sort_columns(Index lo, Index hi, Lower& out, std::vector<Index>& from) {
  std::vector<std::pair<Index, Index>> pairs;
  for (Index c = lo; c < hi; ++c) {
    const Index first = out.ptr[c], last = out.ptr[c + 1];
    pairs.clear();
    for (Index p = first; p < last; ++p) pairs.emplace_back(out.row[p], from[p]);
    std::sort(pairs.begin(), pairs.end());
    for (Index p = first; p < last; ++p) out.row[p] = pairs[p - first].first, from[p] = pairs[p - first].second;
  }
}

// The first column from which the columns hold at least half the entries.
Index half_of_entries(const std::vector<Index>& ptr) {
  const auto at = std::lower_bound(ptr.begin(), ptr.end(), ptr.back() / 2);
  return std::min<Index>(at - ptr.begin(), static_cast<Index>(ptr.size()) - 1);
}

}  // namespace

Lower permuted_lower(const Lower& a, const std::vector<Index>& inverse, std::vector<Index>* source, int threads) {
  const Index n = a.n;
  const bool two = threads > 1 && n >= kSplitOrder;
  const Scatter scatter{a, inverse};
  const Index mid = two ? half_of_entries(a.ptr) : n;  // input columns of the first half
  Lower out;
  out.n = n;
  out.ptr.assign(static_cast<std::size_t>(n) + 1, 0);
  std::vector<Index> second(two ? static_cast<std::size_t>(n) + 1 : 0, 0);
  core::two_pieces(two, [&] { scatter.count(0, mid, out.ptr); }, [&] { scatter.count(mid, n, second); });
  // out.ptr[c + 1] holds the first half's count of column c, second[c + 1] the second's.
  std::vector<Index> next(static_cast<std::size_t>(n)), next2(two ? static_cast<std::size_t>(n) : 0);
  Index at = 0;
  for (Index c = 0; c < n; ++c) {
    const Index first_half = out.ptr[c + 1], second_half = two ? second[c + 1] : 0;
    next[c] = at;
    if (two) next2[c] = at + first_half;
    at += first_half + second_half;
    out.ptr[c + 1] = at;
  }
  second = {};
  std::vector<Index> from(a.row.size());
  out.row.resize(a.row.size());
  core::two_pieces(two, [&] { scatter.place(0, mid, next, out, from); },
                   [&] { scatter.place(mid, n, next2, out, from); });
  next = {}, next2 = {};
  const Index split = two ? half_of_entries(out.ptr) : n;
  core::two_pieces(two, [&] { sort_columns(0, split, out, from); }, [&] { sort_columns(split, n, out, from); });
  if (source) *source = std::move(from);
  return out;
}

}  // namespace engine::detail
