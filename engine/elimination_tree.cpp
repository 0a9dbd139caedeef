// Elimination tree, postorder and column counts of the Cholesky-shaped
// factor of a symmetric pattern (Liu's tree with path compression; counts
// by the skeleton-matrix method of Gilbert, Ng and Peyton).
#include <numeric>

#include "engine/analysis.hpp"

namespace engine::detail {

std::vector<Index> elimination_tree(const Lower& a) {
  const Index n = a.n;
  // Rows of the strict lower triangle: the columns j < k of each row k.
  std::vector<Index> rp(static_cast<std::size_t>(n) + 1, 0), cols;
  for (Index j = 0; j < n; ++j)
    for (Index e = a.ptr[j]; e < a.ptr[j + 1]; ++e)
      if (a.row[e] > j) ++rp[a.row[e] + 1];
  std::partial_sum(rp.begin(), rp.end(), rp.begin());
  cols.resize(static_cast<std::size_t>(rp[n]));
  std::vector<Index> next(rp.begin(), rp.end() - 1);
  for (Index j = 0; j < n; ++j)
    for (Index e = a.ptr[j]; e < a.ptr[j + 1]; ++e)
      if (a.row[e] > j) cols[next[a.row[e]]++] = j;
  std::vector<Index> parent(static_cast<std::size_t>(n), -1), ancestor(static_cast<std::size_t>(n), -1);
  for (Index k = 0; k < n; ++k)
    for (Index p = rp[k]; p < rp[k + 1]; ++p) {
      for (Index i = cols[p]; i != -1 && i < k;) {
        const Index up = ancestor[i];
        ancestor[i] = k;
        if (up == -1) parent[i] = k;
        i = up;
      }
    }
  return parent;
}

std::vector<Index> postorder(const std::vector<Index>& parent) {
  const Index n = static_cast<Index>(parent.size());
  std::vector<Index> head(static_cast<std::size_t>(n), -1), next(static_cast<std::size_t>(n), -1), post, stack;
  for (Index j = n - 1; j >= 0; --j)
    if (parent[j] != -1) next[j] = head[parent[j]], head[parent[j]] = j;
  post.reserve(static_cast<std::size_t>(n));
  for (Index r = 0; r < n; ++r) {
    if (parent[r] != -1) continue;
    stack.push_back(r);
    while (!stack.empty()) {
      const Index p = stack.back();
      if (const Index c = head[p]; c != -1) {
        head[p] = next[c];
        stack.push_back(c);
      } else {
        stack.pop_back();
        post.push_back(p);
      }
    }
  }
  return post;
}

namespace {

// Least common ancestor bookkeeping of the skeleton method: is j a leaf of
// the row subtree of i, and where does its path meet the previous leaf's.
Index leaf(Index i, Index j, const std::vector<Index>& first, std::vector<Index>& maxfirst,
           std::vector<Index>& prevleaf, std::vector<Index>& ancestor, int& jleaf) {
  jleaf = 0;
  if (i <= j || first[j] <= maxfirst[i]) return -1;
  maxfirst[i] = first[j];
  const Index jprev = prevleaf[i];
  prevleaf[i] = j;
  jleaf = jprev == -1 ? 1 : 2;
  if (jleaf == 1) return i;
  Index q = jprev;
  while (q != ancestor[q]) q = ancestor[q];
  for (Index s = jprev; s != q;) {
    const Index up = ancestor[s];
    ancestor[s] = q;
    s = up;
  }
  return q;
}

}  // namespace

std::vector<Index> column_counts(const Lower& a, const std::vector<Index>& parent, const std::vector<Index>& post) {
  const Index n = a.n;
  const auto sz = static_cast<std::size_t>(n);
  std::vector<Index> delta(sz), first(sz, -1), maxfirst(sz, -1), prevleaf(sz, -1), ancestor(sz);
  for (Index k = 0; k < n; ++k) {
    Index j = post[k];
    delta[j] = first[j] == -1 ? 1 : 0;
    for (; j != -1 && first[j] == -1; j = parent[j]) first[j] = k;
  }
  std::iota(ancestor.begin(), ancestor.end(), Index{0});
  for (Index k = 0; k < n; ++k) {
    const Index j = post[k];
    if (parent[j] != -1) --delta[parent[j]];
    for (Index e = a.ptr[j]; e < a.ptr[j + 1]; ++e) {
      int jleaf = 0;
      const Index q = leaf(a.row[e], j, first, maxfirst, prevleaf, ancestor, jleaf);
      if (jleaf >= 1) ++delta[j];
      if (jleaf == 2) --delta[q];
    }
    if (parent[j] != -1) ancestor[j] = parent[j];
  }
  for (Index k = 0; k < n; ++k)
    if (const Index j = post[k]; parent[j] != -1) delta[parent[j]] += delta[j];
  return delta;
}

}  // namespace engine::detail
