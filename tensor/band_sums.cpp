#include "tensor/band_sums.hpp"

#include <cstddef>
#include <span>
#include <vector>

#include "tensor/cell_law.hpp"
#include "tensor/mpi_run.hpp"

namespace tensor {

double job_mean_density(const Sample& s) {
  if (!s.banded) return mean_density(s);
  double share = density_share(s);
  sum_over_ranks(std::span<double>(&share, 1));
  return share;
}

GeometryResolution job_geometry_resolution(const Sample& s) {
  if (!s.banded) return geometry_resolution(s);
  // Five numbers a law: material, water proportion, cells, faces across x and z.
  std::vector<double> mine;
  for (const auto& [law, c] : law_tally(s))
    mine.insert(mine.end(), {static_cast<double>(law.first), law.second, c.cells, c.faces_x, c.faces_z});
  const std::vector<double> all = gather_on_all(mine);
  LawTally laws;
  for (std::size_t i = 0; i + 5 <= all.size(); i += 5) {
    LawCounts& c = laws[{static_cast<int32_t>(all[i]), all[i + 1]}];
    c.cells += all[i + 2], c.faces_x += all[i + 3], c.faces_z += all[i + 4];
  }
  return resolution_of(laws);
}

}  // namespace tensor
