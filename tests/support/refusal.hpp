// The message of the exception a call throws, for tests of refusals.
#pragma once

#include <exception>
#include <string>

namespace support {

// The message of the std::exception that `f` throws ("" when none).
template <class F>
std::string refusal(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace support
