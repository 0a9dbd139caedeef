#include "tensor/error_grids.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <utility>

#include "tensor/cell_law.hpp"

namespace tensor {

namespace {

Sample refined(const Sample& s, int64_t m) {
  Sample f = s;
  f.nx = m * s.nx, f.ny = m * s.ny, f.h = s.h / static_cast<double>(m);
  f.material_of_cell.assign(static_cast<std::size_t>(f.nx * f.ny), 0);
  if (!s.water_of_cell.empty()) f.water_of_cell.assign(f.material_of_cell.size(), 0.0);
  for (int64_t k = 0; k < f.ny; ++k)
    for (int64_t j = 0; j < f.nx; ++j) {
      const auto to = static_cast<std::size_t>(j + k * f.nx), from = static_cast<std::size_t>(j / m + (k / m) * s.nx);
      f.material_of_cell[to] = s.material_of_cell[from];
      if (!s.water_of_cell.empty()) f.water_of_cell[to] = s.water_of_cell[from];
    }
  return f;
}

// The law most cells of the m x m block with lower left cell (j, k) have;
// a tie goes to the law met first, row by row from the base.
std::pair<int32_t, double> block_law(const Sample& s, int64_t j, int64_t k, int64_t m) {
  std::map<std::pair<int32_t, double>, int64_t> count;
  std::pair<int32_t, double> best{};
  int64_t most = 0;
  for (int64_t b = 0; b < m; ++b)
    for (int64_t a = 0; a < m; ++a) {
      const std::pair<int32_t, double> law{s.material_of_cell[static_cast<std::size_t>((j + a - 1) + (k + b - 1) * s.nx)],
                                           cell_water(s, j + a, k + b)};
      if (++count[law] > most) most = count[law], best = law;
    }
  return best;
}

Sample coarsened(const Sample& s, int64_t m) {
  if (s.nx % m != 0 || s.ny % m != 0)
    throw std::invalid_argument("--estimate-error: the grid of " + std::to_string(s.nx) + " x " + std::to_string(s.ny) +
                                " cells cannot be coarsened by " + std::to_string(m) + " (both sides must divide by it)");
  Sample c = s;
  c.nx = s.nx / m, c.ny = s.ny / m, c.h = s.h * static_cast<double>(m);
  c.material_of_cell.assign(static_cast<std::size_t>(c.nx * c.ny), 0);
  c.water_of_cell.assign(c.material_of_cell.size(), 0.0);
  for (int64_t k = 1; k <= c.ny; ++k)
    for (int64_t j = 1; j <= c.nx; ++j) {
      const auto law = block_law(s, (j - 1) * m + 1, (k - 1) * m + 1, m);
      const auto at = static_cast<std::size_t>((j - 1) + (k - 1) * c.nx);
      c.material_of_cell[at] = law.first, c.water_of_cell[at] = law.second;
    }
  return c;
}

double megabytes(std::int64_t b) { return static_cast<double>(b) / 1e6; }

const char* ladder_name(int target) {
  return target == 0 ? "the grids refined by 2 and 4"
         : target == 1 ? "the grids coarsened by 2 and refined by 2"
                       : "the grids coarsened by 2 and 4";
}

// A grid of m^2 times the cells needs at least m^2 times the factors (the
// fill grows faster than the cells): the least memory of the three grids,
// known before any of them is analysed.
std::int64_t least_memory(std::int64_t run_memory, int target) {
  double least = static_cast<double>(run_memory);
  for (int i = target + 1; i < 3; ++i) least += static_cast<double>(run_memory) * std::pow(4.0, i - target);
  return static_cast<std::int64_t>(std::min(least, 9.0e18));
}

std::string too_large(int target, std::int64_t need, std::int64_t available, const char* how) {
  char b[240];
  std::snprintf(b, sizeof b, "; %s would need %s%.1f MB of factors, %.1f MB are available", ladder_name(target), how,
                megabytes(need), megabytes(available));
  return b;
}

}  // namespace

Sample scaled_sample(const Sample& s, int level) {
  if (level == 0) return s;
  const int64_t m = int64_t{1} << (level > 0 ? level : -level);
  return level > 0 ? refined(s, m) : coarsened(s, m);
}

ErrorGrids error_grids(const Sample& s, std::int64_t run_memory, std::int64_t available,
                       const std::function<std::unique_ptr<StiffnessComputation>(const Sample&)>& make) {
  std::string refused;  // each reason led by "; "
  for (int target = 0; target < 3; ++target) {
    if (target > 0 && (s.nx % (int64_t{1} << target) != 0 || s.ny % (int64_t{1} << target) != 0)) {
      refused += "; the grid cannot be coarsened by " + std::to_string(1 << target) + " (its sides do not divide by it)";
      break;
    }
    if (available >= 0 && least_memory(run_memory, target) > available) {
      refused += too_large(target, least_memory(run_memory, target), available, "at least ");
      continue;
    }
    ErrorGrids g;
    g.target = target;
    for (int i = 0; i < 3; ++i) {
      if (i == target) continue;
      g.samples[i] = std::make_unique<Sample>(scaled_sample(s, i - target));
      g.other[i] = make(*g.samples[i]);
      g.memory_bytes += g.other[i]->solver().memory_needed();
      g.flops += g.other[i]->solver().statistics().flops;
    }
    const std::int64_t total = g.memory_bytes + run_memory;
    if (available < 0 || total <= available) {
      if (target > 0) g.note = "the estimate uses coarsened grids: " + refused.substr(2);
      return g;
    }
    refused += too_large(target, total, available, "");
  }
  throw std::runtime_error("--estimate-error: no three grids fit in memory: " + refused.substr(2));
}

}  // namespace tensor
