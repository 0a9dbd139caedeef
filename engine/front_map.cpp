// Rows of every front (symbolic factorisation by supernodes), the place of
// each front's rows in its parent's front, and the place of every matrix
// entry in the factor store. The rows go up the tree, one supernode after
// the other; the places of a supernode's children's rows and of its own
// entries are its alone, so with two threads they are found in two halves
// of the supernodes side by side, to the same bits.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/two_pieces.hpp"
#include "engine/analysis.hpp"

namespace engine::detail {

namespace {

// Below this order one thread does it all.
constexpr Index kSplitOrder = 4096;

// The first supernode from which the supernodes hold at least half the rows.
Index half_of_rows(const Fronts& f) {
  const auto at = std::lower_bound(f.rows_ptr.begin(), f.rows_ptr.end(), f.rows_ptr.back() / 2);
  return std::min<Index>(at - f.rows_ptr.begin(), f.nsuper);
}

}  // namespace

Fronts front_map(const Lower& a, std::vector<Index> source, const std::vector<Index>& first, int threads) {
  Fronts f;
  f.n = a.n;
  f.nsuper = static_cast<Index>(first.size()) - 1;
  f.first = first;
  const auto ns = static_cast<std::size_t>(f.nsuper);
  f.parent.assign(ns, -1);
  f.rows_ptr.assign(ns + 1, 0);
  f.factor_ptr.assign(ns + 1, 0);
  f.entry_ptr.assign(ns + 1, 0);
  f.entry_source = std::move(source);
  f.entry_place.assign(a.row.size(), 0);
  std::vector<Index> owner(static_cast<std::size_t>(a.n)), place(static_cast<std::size_t>(a.n), -1);
  std::vector<Index> child_head(ns, -1), child_next(ns, -1), below;
  for (Index s = 0; s < f.nsuper; ++s)
    for (Index j = first[s]; j < first[s + 1]; ++j) owner[j] = s;
  for (Index s = 0; s < f.nsuper; ++s) {
    const Index b = first[s], e = first[s + 1];
    below.clear();
    auto add = [&](Index r) {
      if (r >= e && place[r] != s) place[r] = s, below.push_back(r);
    };
    for (Index j = b; j < e; ++j)
      for (Index k = a.ptr[j]; k < a.ptr[j + 1]; ++k) add(a.row[k]);
    for (Index c = child_head[s]; c != -1; c = child_next[c])
      for (Index k = f.rows_ptr[c] + f.nc(c); k < f.rows_ptr[c + 1]; ++k) add(f.rows[k]);
    std::sort(below.begin(), below.end());
    for (Index j = b; j < e; ++j) f.rows.push_back(j);
    f.rows.insert(f.rows.end(), below.begin(), below.end());
    f.rows_ptr[s + 1] = static_cast<Index>(f.rows.size());
    const Index m = f.m(s);
    // An entry's place in its panel is kept in 32 bits (a panel of 2^31
    // words would take 32 GB).
    if (m * (e - b) > std::numeric_limits<std::int32_t>::max())
      throw std::length_error("sparse engine: a front of " + std::to_string(m) + " rows and " + std::to_string(e - b) +
                              " pivots, more than 2^31 words, expected fewer: the system is too large to factorise");
    f.factor_ptr[s + 1] = f.factor_ptr[s] + m * (e - b);
    if (!below.empty()) {
      f.parent[s] = owner[below.front()];
      child_next[s] = child_head[f.parent[s]], child_head[f.parent[s]] = s;
    }
  }
  f.up.assign(f.rows.size(), -1);
  // Supernodes lo .. hi-1: the places of their children's rows and of
  // their entries, which no other supernode writes; each piece has its own
  // places of the rows.
  auto places = [&](Index lo, Index hi, std::vector<Index>& place) {
    for (Index s = lo; s < hi; ++s) {
      for (Index k = f.rows_ptr[s]; k < f.rows_ptr[s + 1]; ++k) place[f.rows[k]] = k - f.rows_ptr[s];
      for (Index c = child_head[s]; c != -1; c = child_next[c])
        for (Index k = f.rows_ptr[c] + f.nc(c); k < f.rows_ptr[c + 1]; ++k) f.up[k] = static_cast<std::int32_t>(place[f.rows[k]]);
      const Index m = f.m(s);
      for (Index j = first[s]; j < first[s + 1]; ++j)
        for (Index k = a.ptr[j]; k < a.ptr[j + 1]; ++k)
          f.entry_place[k] = static_cast<std::int32_t>((j - first[s]) * m + place[a.row[k]]);
      f.entry_ptr[s + 1] = a.ptr[first[s + 1]];
    }
  };
  const bool two = threads > 1 && a.n >= kSplitOrder;
  const Index mid = two ? half_of_rows(f) : f.nsuper;
  std::vector<Index> place2(two ? static_cast<std::size_t>(a.n) : 0);
  core::two_pieces(two, [&] { places(0, mid, place); }, [&] { places(mid, f.nsuper, place2); });
  return f;
}

}  // namespace engine::detail
