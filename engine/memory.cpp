// Factor entries, flops and peak memory of a factorisation, known from the
// fronts before anything is allocated; the memory the machine can give.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/analysis.hpp"
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

namespace {

constexpr std::int64_t kWord = 16;  // bytes of one complex value

std::int64_t update_bytes(const Fronts& f, Index s) {
  const Index mc = f.m(s) - f.nc(s);
  return kWord * mc * mc;
}
std::int64_t scratch_bytes(const Fronts& f, Index s) {
  const Index mc = f.m(s) - f.nc(s);
  return kWord * (mc * std::min<Index>(f.nc(s), kUpdateChunk) + kPanelBlock * f.nc(s));
}

// Peak of the update matrices and scratch over the supernodes lo .. hi-1
// (a postorder), counting from `live` bytes already held.
std::int64_t stack_peak(const Fronts& f, Index lo, Index hi, std::int64_t live, const std::vector<std::int64_t>& child_bytes) {
  std::int64_t peak = live;
  for (Index s = lo; s < hi; ++s) {
    live += update_bytes(f, s);
    peak = std::max(peak, live);
    live -= child_bytes[s];
    peak = std::max(peak, live + scratch_bytes(f, s));
  }
  return peak;
}

}  // namespace

Counts count_fronts(const Fronts& f, Index matrix_entries, const std::vector<Index>& subtree_roots, int threads) {
  Counts c;
  std::vector<std::int64_t> child_bytes(static_cast<std::size_t>(f.nsuper), 0);
  std::vector<Index> size(static_cast<std::size_t>(f.nsuper), 1);
  for (Index s = 0; s < f.nsuper; ++s) {
    const Index m = f.m(s), nc = f.nc(s);
    c.factor_entries += nc * m - nc * (nc - 1) / 2;
    c.factor_store += nc * m;
    c.flops += front_flops(m, nc);
    if (f.parent[s] != -1) child_bytes[f.parent[s]] += update_bytes(f, s), size[f.parent[s]] += size[s];
  }
  const std::int64_t fixed = kWord * c.factor_store + kWord * matrix_entries +
                             static_cast<std::int64_t>(f.entry_source.size()) * 16 +
                             static_cast<std::int64_t>(f.rows.size()) * 12 + f.n * kWord * 4;
  std::int64_t peak = stack_peak(f, 0, f.nsuper, 0, child_bytes);
  if (!subtree_roots.empty()) {
    // Each thread runs whole subtrees; their root updates wait for the top.
    std::int64_t roots = 0, widest = 0;
    std::vector<char> in_subtree(static_cast<std::size_t>(f.nsuper), 0);
    for (Index r : subtree_roots) {
      roots += update_bytes(f, r);
      widest = std::max(widest, stack_peak(f, r - size[r] + 1, r + 1, 0, child_bytes));
      std::fill(in_subtree.begin() + (r - size[r] + 1), in_subtree.begin() + r + 1, 1);
    }
    std::int64_t live = roots, top = roots;
    for (Index s = 0; s < f.nsuper; ++s) {
      if (in_subtree[s]) continue;
      live += update_bytes(f, s);
      top = std::max(top, live);
      live -= child_bytes[s];
      top = std::max(top, live + scratch_bytes(f, s));
    }
    peak = std::max({peak, roots + threads * widest, top});
  }
  c.memory_bytes = fixed + peak;
  return c;
}

std::int64_t available_memory() {
  std::FILE* f = std::fopen("/proc/meminfo", "r");
  if (!f) return -1;
  char line[256];
  std::int64_t kb = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, "MemAvailable:", 13) == 0) {
      long long v = 0;
      if (std::sscanf(line + 13, "%lld", &v) == 1) kb = v;
      break;
    }
  std::fclose(f);
  return kb < 0 ? -1 : kb * 1024;
}

}  // namespace engine::detail
