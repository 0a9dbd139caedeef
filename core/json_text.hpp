// The two kinds of JSON value the run records write: a string literal and a
// number.
#pragma once

#include <string>
#include <string_view>

namespace core {

// A JSON string literal in ASCII: quotes, backslashes and control bytes
// (DEL too) escaped, every byte beyond ASCII replaced by U+FFFD (the
// messages are ASCII; this keeps any other byte from making the record
// invalid).
std::string json_string(std::string_view s);

// The shortest digits that read back to the same double; null for a value
// JSON cannot hold (NaN, infinities).
std::string json_number(double v);

}  // namespace core
