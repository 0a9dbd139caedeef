// Ending a run: every end of a run, the normal one included, goes through
// `stop`, which flushes and checks every open result file and standard
// output, writes "STOP <code>" to standard error and exits with the low
// eight bits of the code.
#pragma once

#include <string_view>

namespace core {

// Exit codes of the system besides those of the computation itself.
inline constexpr int kStopNormal = 40;        // normal end of a run
inline constexpr int kStopInputError = 2;     // a record or file that cannot be read
inline constexpr int kStopDeckRefused = 13;   // a deck beyond the capacities or with unknown keys
inline constexpr int kStopOutputError = 74;   // a result file or the report could not be written

// Prints `message` (if not empty) as one line on standard output, then stops.
[[noreturn]] void stop(int code, std::string_view message = {});

// Reports an input or output failure on standard error and stops with `code`.
[[noreturn]] void fail(int code, std::string_view message);

}  // namespace core
