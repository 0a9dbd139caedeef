#include "tensor/side_by_side.hpp"

#include <exception>
#include <thread>

#include "engine/sparse_solver.hpp"

namespace tensor {

void side_by_side(const std::function<void()>& first, const std::function<void()>& second) {
  const engine::OneBlasThread one;
  std::exception_ptr failure;
  std::thread other([&] {
    try {
      second();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  try {
    first();
  } catch (...) {
    other.join();
    throw;
  }
  other.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tensor
