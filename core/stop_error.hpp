// How code below the programs ends a run: it throws a StopError carrying
// the stop code, the report line and the sentence, and only a program's
// `main` turns it into the end of the process (end_run), so the libraries
// can be called, and their refusals tested, without leaving the process.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace core {

class StopError : public std::runtime_error {
 public:
  // A stop (core::stop: report line, then sentence) or an input or output
  // failure (core::fail: the message alone, on standard error).
  enum class Kind { stop, fail };

  StopError(Kind kind, int code, std::string message, std::string why);

  Kind kind() const { return kind_; }
  int code() const { return code_; }
  // The line for the report (a stop) or the failure's message.
  const std::string& message() const { return message_; }
  // A stop's own sentence; empty for the code's own meaning.
  const std::string& why() const { return why_; }

 private:
  Kind kind_;
  int code_;
  std::string message_;
  std::string why_;
};

// Throw the StopError that ends the run as core::stop / core::fail would.
[[noreturn]] void raise_stop(int code, std::string_view message = {}, std::string_view why = {});
[[noreturn]] void raise_fail(int code, std::string_view message);

// The end of the process for a StopError caught in `main`: exactly the
// output, record and exit status of core::stop / core::fail.
[[noreturn]] void end_run(const StopError& e);

}  // namespace core
