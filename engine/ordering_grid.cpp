// Geometric nested dissection of a structured cell grid (filled in below).
#include <stdexcept>

#include "engine/analysis.hpp"

namespace engine::detail {

std::vector<Index> grid_order(const GridPlaces&, Index) {
  throw std::runtime_error("sparse engine: the geometric ordering is not available yet");
}

}  // namespace engine::detail
