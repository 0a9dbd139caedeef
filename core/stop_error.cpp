#include "core/stop_error.hpp"

#include <utility>

#include "core/stop.hpp"
#include "core/stop_codes.hpp"

namespace core {

namespace {

// The sentence a user sees for the error: the stop's own, the code's
// meaning, the report line, or the failure's message.
std::string sentence(StopError::Kind kind, int code, const std::string& message, const std::string& why) {
  if (kind == StopError::Kind::fail) return message;
  if (!why.empty()) return why;
  if (const std::string_view meaning = stop_meaning(code); !meaning.empty()) return std::string(meaning);
  if (!message.empty()) return message;
  return "STOP " + std::to_string(code);
}

}  // namespace

StopError::StopError(Kind kind, int code, std::string message, std::string why)
    : std::runtime_error(sentence(kind, code, message, why)),
      kind_(kind),
      code_(code),
      message_(std::move(message)),
      why_(std::move(why)) {}

void raise_stop(int code, std::string_view message, std::string_view why) {
  throw StopError(StopError::Kind::stop, code, std::string(message), std::string(why));
}

void raise_fail(int code, std::string_view message) {
  throw StopError(StopError::Kind::fail, code, std::string(message), {});
}

void end_run(const StopError& e) {
  if (e.kind() == StopError::Kind::fail) fail(e.code(), e.message());
  stop(e.code(), e.message(), e.why());
}

}  // namespace core
