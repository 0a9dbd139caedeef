// The engine's own input layout handed over by a program: the lookup of an
// entry's place and the check of a pattern built outside the engine.
#include <algorithm>
#include <stdexcept>
#include <string>

#include "engine/analysis.hpp"

namespace engine {

Index LowerPattern::position(Index i, Index j) const {
  if (j < 0 || j >= n || i < j || i >= n) return -1;
  const auto first = row.begin() + ptr[static_cast<std::size_t>(j)];
  const auto last = row.begin() + ptr[static_cast<std::size_t>(j) + 1];
  const auto at = std::lower_bound(first, last, i);
  return at != last && *at == i ? at - row.begin() : -1;
}

}  // namespace engine

namespace engine::detail {

void check_lower(const Lower& a) {
  const std::string where = "sparse engine: the pattern in the engine's layout: ";
  if (a.n < 1) throw std::invalid_argument(where + "order " + std::to_string(a.n) + ", expected >= 1");
  if (static_cast<Index>(a.ptr.size()) != a.n + 1 || a.ptr.front() != 0 ||
      a.ptr.back() != static_cast<Index>(a.row.size()))
    throw std::invalid_argument(where + std::to_string(a.ptr.size()) + " column pointers ending at " +
                                std::to_string(a.ptr.empty() ? -1 : a.ptr.back()) + ", expected " +
                                std::to_string(a.n + 1) + " from 0 to " + std::to_string(a.row.size()));
  for (Index j = 0; j < a.n; ++j) {
    const Index lo = a.ptr[j], hi = a.ptr[j + 1];
    bool sound = lo < hi && hi <= static_cast<Index>(a.row.size()) && a.row[lo] == j;
    for (Index e = lo + 1; sound && e < hi; ++e) sound = a.row[e] > a.row[e - 1] && a.row[e] < a.n;
    if (!sound)
      throw std::invalid_argument(where + "column " + std::to_string(j) + " (" + std::to_string(hi - lo) +
                                  " entries), expected its diagonal first, then rows ascending below " +
                                  std::to_string(a.n));
  }
}

}  // namespace engine::detail
