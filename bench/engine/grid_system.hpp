// The compressional system of a deck's material tiled over an N x N cell
// grid at the deck's cell size, as the engine receives it: the lower
// triangle of every cell's element matrix (the rows and columns of the
// prescribed unknowns cleared, their diagonal kept), entries repeated
// across cells, and where every unknown sits for the geometric ordering.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/sparse_solver.hpp"

namespace engine_bench {

struct GridSystem {
  engine::Pattern pattern;
  std::vector<engine::zcomplex> values;
  std::vector<engine::zcomplex> rhs;
  engine::GridPlaces places;
  double omega = 0;
};

// Nothing when the deck cannot be read (message on stderr). The coefficient
// routines leave their plotting files in the working directory.
std::optional<GridSystem> grid_system(const std::string& deck_path, int n_cells);

}  // namespace engine_bench
