#include "tensor/side_by_side.hpp"

#include "core/two_pieces.hpp"
#include "engine/sparse_solver.hpp"

namespace tensor {

void side_by_side(const std::function<void()>& first, const std::function<void()>& second) {
  const engine::OneBlasThread one;
  core::two_pieces(true, first, second);
}

}  // namespace tensor
