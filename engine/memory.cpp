// Factor entries, flops and peak memory of a factorisation, known from the
// fronts before anything is allocated; the memory the machine can give.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/memory_room.hpp"
#include "engine/analysis.hpp"
#include "engine/factor_file.hpp"
#include "engine/front_kernel.hpp"

namespace engine::detail {

double front_flops(Index m, Index nc) {
  // Per pivot with r rows below it: r scalings by the pivot's inverse, r
  // products with the pivot, and r (r + 1) / 2 complex multiply-adds.
  double flops = 0;
  for (Index j = 0; j < nc; ++j) {
    const double r = static_cast<double>(m - 1 - j);
    flops += 4.0 * r * (r + 1) + 12.0 * r;
  }
  return flops;
}

Index scratch_words(const Fronts& f, Index s) {
  const Index mc = f.m(s) - f.nc(s);
  return mc * std::min<Index>(f.nc(s), kUpdateChunk) + kPanelBlock * std::min<Index>(f.nc(s), kPanelBlock);
}

Index stack_words(const Fronts& f, Index lo, Index hi, const std::vector<char>* skip) {
  std::vector<Index> pending(static_cast<std::size_t>(hi - lo), 0);
  Index live = 0, peak = 0;
  for (Index s = lo; s < hi; ++s) {
    if (skip && (*skip)[s]) continue;
    const Index mc = f.m(s) - f.nc(s), words = mc * mc;
    // The new update matrix is formed above its children's, then moved down.
    peak = std::max(peak, live + words);
    live += words - pending[s - lo];
    if (const Index p = f.parent[s]; p != -1 && p < hi) pending[p - lo] += words;
  }
  return peak;
}

StackPlan stack_plan(const Fronts& f, const std::vector<Index>& roots, int threads) {
  StackPlan plan;
  plan.done.assign(static_cast<std::size_t>(f.nsuper), 0);
  plan.subtree_size = subtree_sizes(f);
  Index widest = 0;
  for (Index r : roots) {
    const Index lo = r - plan.subtree_size[r] + 1;
    widest = std::max(widest, stack_words(f, lo, r + 1, nullptr));
    std::fill(plan.done.begin() + lo, plan.done.begin() + r + 1, 1);
  }
  plan.words.assign(static_cast<std::size_t>(roots.empty() ? 1 : std::max(threads, 1)), widest);
  plan.words[0] = std::max(widest, stack_words(f, 0, f.nsuper, &plan.done));
  return plan;
}

Counts count_fronts(const Fronts& f, Index matrix_entries, const std::vector<Index>& roots, int threads) {
  Counts c;
  Index scratch = 0;
  for (Index s = 0; s < f.nsuper; ++s) {
    const Index m = f.m(s), nc = f.nc(s);
    c.factor_entries += nc * m - nc * (nc - 1) / 2;
    c.factor_store += nc * m;
    c.flops += front_flops(m, nc);
    scratch = std::max(scratch, scratch_words(f, s));
  }
  const StackPlan plan = stack_plan(f, roots, threads);
  Index words = c.factor_store + matrix_entries + 4 * f.n + static_cast<Index>(plan.words.size()) * scratch;
  for (Index w : plan.words) words += w;
  for (Index r : roots) words += (f.m(r) - f.nc(r)) * (f.m(r) - f.nc(r));  // waiting for the top
  c.memory_bytes = 16 * words + static_cast<std::int64_t>(f.entry_source.size()) * 12 +
                   static_cast<std::int64_t>(f.rows.size()) * 12;
  // Out of core the store gives way to a panel buffer per thread and the
  // solves' read buffer; the factor file holds the store.
  c.disk_bytes = 16 * c.factor_store;
  c.out_of_core_bytes = c.memory_bytes - c.disk_bytes +
                        16 * (static_cast<std::int64_t>(plan.words.size()) * largest_panel_words(f) + read_buffer_words(f));
  return c;
}

std::int64_t analysis_bytes(Index n, Index entries) {
  // Per entry the slots, two permuted copies with their sources, the places
  // in the factor store and the graph of the ordering; per unknown the
  // trees, counts and permutations, and with two threads the second half's
  // column starts of a permuted copy.
  return 80 * entries + 128 * n;
}

std::int64_t available_memory() { return core::memory_room().bytes; }

}  // namespace engine::detail
