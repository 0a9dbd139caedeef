#include "core/two_pieces.hpp"

#include <exception>
#include <optional>
#include <system_error>
#include <thread>

namespace core {

void two_pieces(bool side_by_side, const std::function<void()>& first, const std::function<void()>& second) {
  std::exception_ptr failure;
  std::optional<std::thread> other;
  if (side_by_side) {
    try {
      other.emplace([&] {
        try {
          second();
        } catch (...) {
          failure = std::current_exception();
        }
      });
    } catch (const std::system_error&) {  // no thread to be had: one does both
    }
  }
  try {
    first();
  } catch (...) {
    if (other) other->join();
    throw;
  }
  if (other) other->join();
  else second();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace core
