// Fundamental supernodes of a postordered elimination tree, then relaxed
// amalgamation: a child supernode joins its parent when the explicit zeros
// this adds stay a small share of the merged front, which buys dense kernels
// of larger width for a little extra storage.
#include "engine/analysis.hpp"

namespace engine::detail {

namespace {

struct Node {
  Index begin = 0, end = 0;  // positions in the postorder
  Index parent = -1;         // supernode
  Index nc = 0, below = 0, nz = 0;
};

std::vector<Node> fundamental(const std::vector<Index>& parent, const std::vector<Index>& post,
                              const std::vector<Index>& count) {
  const Index n = static_cast<Index>(parent.size());
  std::vector<Index> children(static_cast<std::size_t>(n), 0), owner(static_cast<std::size_t>(n));
  for (Index j = 0; j < n; ++j)
    if (parent[j] != -1) ++children[parent[j]];
  std::vector<Node> s;
  for (Index k = 0; k < n; ++k) {
    const Index j = post[k];
    const bool joins = k > 0 && parent[post[k - 1]] == j && children[j] == 1 && count[post[k - 1]] == count[j] + 1;
    if (!joins) s.push_back({k, k, -1, 0, 0, 0});
    Node& cur = s.back();
    cur.end = k + 1, ++cur.nc, cur.nz += count[j], cur.below = count[j] - 1;
    owner[j] = static_cast<Index>(s.size()) - 1;
  }
  for (Node& x : s)
    if (const Index up = parent[post[x.end - 1]]; up != -1) x.parent = owner[up];
  return s;
}

double dense_entries(Index nc, Index below) {
  return static_cast<double>(nc) * static_cast<double>(below) + 0.5 * static_cast<double>(nc) * static_cast<double>(nc + 1);
}

// Whether a front of nc pivots with the given share of explicit zeros is
// worth forming in one piece.
bool relaxed(Index nc, double zero_share) {
  return nc <= 4 || (nc <= 16 && zero_share < 0.8) || (nc <= 48 && zero_share < 0.1) || zero_share < 0.05;
}

}  // namespace

SupernodePartition supernodes(const std::vector<Index>& parent, const std::vector<Index>& post,
                              const std::vector<Index>& count) {
  std::vector<Node> s = fundamental(parent, post, count);
  const Index ns = static_cast<Index>(s.size());
  std::vector<Index> merged_into(static_cast<std::size_t>(ns), -1);
  // Children come before parents: each parent weighs its children in turn.
  for (Index c = 0; c < ns; ++c) {
    const Index p = s[c].parent;
    if (p == -1) continue;
    const Index nc = s[p].nc + s[c].nc, nz = s[p].nz + s[c].nz;
    const double dense = dense_entries(nc, s[p].below);
    if (relaxed(nc, (dense - static_cast<double>(nz)) / dense)) {
      merged_into[c] = p;
      s[p].nc = nc, s[p].nz = nz;
    }
  }
  std::vector<Index> top(static_cast<std::size_t>(ns));
  for (Index c = ns - 1; c >= 0; --c) top[c] = merged_into[c] == -1 ? c : top[merged_into[c]];
  // Members of each group in ascending order, groups in order of their tops.
  std::vector<Index> start(static_cast<std::size_t>(ns) + 1, 0);
  for (Index c = 0; c < ns; ++c) start[top[c] + 1] += s[c].end - s[c].begin;
  for (Index c = 0; c < ns; ++c) start[c + 1] += start[c];
  SupernodePartition out;
  out.order.resize(post.size());
  std::vector<Index> fill(start.begin(), start.end() - 1);
  for (Index c = 0; c < ns; ++c)
    for (Index k = s[c].begin; k < s[c].end; ++k) out.order[fill[top[c]]++] = post[k];
  for (Index c = 0; c < ns; ++c)
    if (top[c] == c) out.first.push_back(start[c]);
  out.first.push_back(static_cast<Index>(post.size()));
  return out;
}

}  // namespace engine::detail
