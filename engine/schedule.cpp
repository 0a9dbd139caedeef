// Subtrees for the threads: the heaviest subtree is split into its
// children until the heaviest left is a small share of the work, so that
// handing them out largest first keeps every thread busy. The supernodes
// split off form the top of the tree; they come last, on threaded kernels.
//
// Work is counted in flops, not in supernodes. The roots of the forest
// (among them every unknown prescribed alone on its diagonal, thousands in
// a sealed test) pass nothing up and cost nothing to keep apart; only the
// subtrees whose update matrices wait for the top count towards the limit
// on their number, which bounds the memory those matrices hold.
#include <algorithm>
#include <queue>

#include "engine/analysis.hpp"

namespace engine::detail {

std::vector<double> subtree_work(const Fronts& f) {
  std::vector<double> work(static_cast<std::size_t>(f.nsuper), 0);
  for (Index s = 0; s < f.nsuper; ++s) {  // children come before their parents
    work[s] += front_flops(f.m(s), f.nc(s));
    if (f.parent[s] != -1) work[f.parent[s]] += work[s];
  }
  return work;
}

std::vector<Index> subtree_sizes(const Fronts& f) {
  std::vector<Index> size(static_cast<std::size_t>(f.nsuper), 1);
  for (Index s = 0; s < f.nsuper; ++s)  // children come before their parents
    if (f.parent[s] != -1) size[f.parent[s]] += size[s];
  return size;
}

std::vector<Index> subtree_schedule(const Fronts& f, int threads) {
  if (threads <= 1 || f.nsuper < 2) return {};
  const std::vector<double> work = subtree_work(f);
  std::vector<std::vector<Index>> children(static_cast<std::size_t>(f.nsuper));
  for (Index s = 0; s < f.nsuper; ++s)
    if (f.parent[s] != -1) children[f.parent[s]].push_back(s);
  auto lighter = [&](Index a, Index b) { return work[a] < work[b] || (work[a] == work[b] && a > b); };
  std::priority_queue<Index, std::vector<Index>, decltype(lighter)> heap(lighter);
  double total = 0;
  for (Index s = 0; s < f.nsuper; ++s)
    if (f.parent[s] == -1) heap.push(s), total += work[s];
  std::vector<Index> leaves;  // subtrees that cannot be split
  Index held = 0;             // subtrees with an update matrix for the top
  while (!heap.empty()) {
    const Index s = heap.top();
    if (work[s] <= total / (4.0 * threads) || held > 64 * threads) break;
    heap.pop();
    if (children[s].empty()) {
      leaves.push_back(s);
      continue;
    }
    if (f.parent[s] != -1) --held;
    total -= front_flops(f.m(s), f.nc(s));
    for (Index c : children[s]) heap.push(c), ++held;
  }
  std::vector<Index> out(leaves);
  for (; !heap.empty(); heap.pop()) out.push_back(heap.top());
  std::sort(out.begin(), out.end(), [&](Index a, Index b) { return work[a] > work[b] || (work[a] == work[b] && a < b); });
  return out;
}

}  // namespace engine::detail
