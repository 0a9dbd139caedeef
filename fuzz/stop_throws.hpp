// How a reader ended the run in a fuzz target (see stop_throws.cpp).
#pragma once

#include <sanitizer/common_interface_defs.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/stop_error.hpp"

namespace fuzz {

struct Stopped {
  int code;
  std::string message;
};

// Runs a reader, turning the error a library throws into Stopped as well.
template <class Read>
void stopping(Read read) {
  try {
    read();
  } catch (const core::StopError& e) {
    throw Stopped{e.code(), e.message()};
  }
}

// A broken property: prints what and aborts, which libFuzzer reports as a
// finding and saves the input. The text goes where the sanitizers report,
// which stays open when the fuzzer closes the target's standard error.
[[noreturn]] inline void broken(const std::string& what) {
  __sanitizer_report_error_summary(("property broken: " + what).c_str());
  std::abort();
}

inline void check(bool ok, const std::string& what) {
  if (!ok) broken(what);
}

inline bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace fuzz
