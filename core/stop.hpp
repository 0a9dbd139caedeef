// Ending a run: every end of a run, the normal one included, goes through
// `stop`, which flushes and checks every open result file and standard
// output, writes "STOP <code>" to standard error and exits with the low
// eight bits of the code.
#pragma once

#include <string_view>

#include "core/stop_codes.hpp"

namespace core {

// Prints `message` (if not empty) as one line on standard output, then
// stops. Every stop but the normal end first writes one plain sentence on
// standard error: `why`, or the code's own meaning (stop_meaning) when
// `why` is empty.
[[noreturn]] void stop(int code, std::string_view message = {}, std::string_view why = {});

// Reports an input or output failure on standard error and stops with `code`.
[[noreturn]] void fail(int code, std::string_view message);

// Called once as the run ends, after the result files are flushed, with the
// stop code and the message: the sentence of a stop (its report line when it
// has none), or the message given to `fail`; returns false when
// it could not record the end, which turns a normal end into
// kStopOutputError.
using EndHook = bool (*)(int code, std::string_view message);
void at_end(EndHook hook);

}  // namespace core
