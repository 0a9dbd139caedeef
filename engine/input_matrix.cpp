// The input pattern checked and its repeated entries summed into a lower
// triangle.
#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <string>
#include <utility>

#include "engine/analysis.hpp"

namespace engine::detail {

namespace {

void check_pattern(const Pattern& p) {
  if (p.n < 1) throw std::invalid_argument("sparse engine: matrix order " + std::to_string(p.n) + ", expected >= 1");
  if (p.row.size() != p.col.size())
    throw std::invalid_argument("sparse engine: " + std::to_string(p.row.size()) + " row indices but " +
                                std::to_string(p.col.size()) + " column indices, expected as many");
  for (std::size_t k = 0; k < p.row.size(); ++k) {
    const Index i = p.row[k], j = p.col[k];
    if (j < 0 || i < j || i >= p.n)
      throw std::invalid_argument("sparse engine: entry " + std::to_string(k) + " at (" + std::to_string(i) + ", " +
                                  std::to_string(j) + "), expected 0 <= column <= row < " + std::to_string(p.n));
  }
}

// Stable counting sort of the pair numbers `in` by key[k] into `out`.
void sort_by(Index n, const std::vector<Index>& key, const std::vector<Index>& in, std::vector<Index>& out,
             std::vector<Index>& start) {
  start.assign(static_cast<std::size_t>(n) + 1, 0);
  for (Index k : in) ++start[static_cast<std::size_t>(key[k]) + 1];
  for (Index c = 0; c < n; ++c) start[c + 1] += start[c];
  out.resize(in.size());
  for (Index k : in) out[static_cast<std::size_t>(start[key[k]]++)] = k;
}

// Columns of (row, col) pairs, rows ascending, repeats merged (two stable
// counting sorts: by row, then by column); slot[k] receives the merged
// place of pair k.
Lower gather(Index n, const std::vector<Index>& row, const std::vector<Index>& col, std::vector<Index>& slot) {
  const std::size_t ne = row.size();
  std::vector<Index> all(ne), by_row, by_col, start;
  for (std::size_t k = 0; k < ne; ++k) all[k] = static_cast<Index>(k);
  sort_by(n, row, all, by_row, start);
  all = {};
  sort_by(n, col, by_row, by_col, start);
  by_row = {};
  Lower out;
  out.n = n;
  out.ptr.assign(static_cast<std::size_t>(n) + 1, 0);
  out.row.reserve(ne);
  slot.assign(ne, 0);
  Index c = 0, last_row = -1;
  for (std::size_t p = 0; p < ne; ++p) {
    const Index k = by_col[p];
    for (; c < col[k]; ++c) out.ptr[c + 1] = static_cast<Index>(out.row.size()), last_row = -1;
    if (row[k] != last_row) out.row.push_back(row[k]), last_row = row[k];
    slot[k] = static_cast<Index>(out.row.size()) - 1;
  }
  for (; c < n; ++c) out.ptr[c + 1] = static_cast<Index>(out.row.size());
  return out;
}

}  // namespace

InputMatrix input_matrix(const Pattern& p) {
  check_pattern(p);
  // The diagonal is appended so that every pivot has an entry.
  std::vector<Index> row(p.row), col(p.col);
  row.reserve(row.size() + p.n);
  col.reserve(col.size() + p.n);
  for (Index i = 0; i < p.n; ++i) row.push_back(i), col.push_back(i);
  InputMatrix out;
  out.lower = gather(p.n, row, col, out.slot);
  // Repeated pairs leave room behind: held for every factorisation, so given back.
  out.slot.resize(p.row.size());
  out.slot.shrink_to_fit();
  out.lower.row.shrink_to_fit();
  return out;
}

}  // namespace engine::detail
