#include "tensor/side_by_side.hpp"

#include <exception>
#include <optional>
#include <system_error>
#include <thread>

#include "engine/sparse_solver.hpp"

namespace tensor {

void side_by_side(const std::function<void()>& first, const std::function<void()>& second) {
  const engine::OneBlasThread one;
  std::exception_ptr failure;
  std::optional<std::thread> other;
  // A thread the system cannot start (a memory or process limit) leaves the
  // second piece to this one, after the first: the same results, one at a time.
  try {
    other.emplace([&] {
      try {
        second();
      } catch (...) {
        failure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
  }
  try {
    first();
  } catch (...) {
    if (other) other->join();
    throw;
  }
  if (other) {
    other->join();
  } else {
    second();
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tensor
