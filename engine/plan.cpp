// From a fill-reducing order to the fronts: the elimination tree and its
// column counts give the supernodes, whose order (a postorder of the
// supernode tree) is the final pivot order.
#include <utility>

#include "engine/analysis.hpp"

namespace engine::detail {

Plan plan(const Lower& a, const std::vector<Index>& order, int threads) {
  const Index n = a.n;
  std::vector<Index> inverse(static_cast<std::size_t>(n));
  for (Index k = 0; k < n; ++k) inverse[order[k]] = k;
  SupernodePartition part;
  {  // the first permuted copy is gone before the second is made
    const Lower ordered = permuted_lower(a, inverse, nullptr, threads);
    const std::vector<Index> parent = elimination_tree(ordered);
    const std::vector<Index> post = postorder(parent);
    const std::vector<Index> count = column_counts(ordered, parent, post);
    part = supernodes(parent, post, count);
  }
  Plan p;
  p.perm.resize(static_cast<std::size_t>(n));
  for (Index k = 0; k < n; ++k) p.perm[k] = order[part.order[k]];
  for (Index k = 0; k < n; ++k) inverse[p.perm[k]] = k;
  std::vector<Index> source;
  const Lower final_lower = permuted_lower(a, inverse, &source, threads);
  p.fronts = front_map(final_lower, std::move(source), part.first, threads);
  for (Index s = 0; s < p.fronts.nsuper; ++s) p.flops += front_flops(p.fronts.m(s), p.fronts.nc(s));
  return p;
}

}  // namespace engine::detail
