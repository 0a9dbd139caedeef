#include "core/stop.hpp"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/run_lock.hpp"
#include "core/stop_error.hpp"
#include "core/text_out.hpp"

namespace core {

namespace {

EndHook end_hook = nullptr;

[[noreturn]] void end_process(int code) {
  release_working_folder();
  std::fprintf(stderr, "STOP %d\n", code);
  std::fflush(stderr);
  std::_Exit(code & 0xff);
}

// Runs the end hook once; a hook that fails turns a normal end into an
// output error (a stop keeps its own code).
void record_end(int code, std::string_view message) {
  // From here on the run is ending: a stop signal would only replace the
  // record of how it ended by one saying it was interrupted.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stop_signals, sig);
  ::sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
  const EndHook hook = end_hook;
  end_hook = nullptr;
  if (hook != nullptr && !hook(code, message) && code == kStopNormal) end_process(kStopOutputError);
}

}  // namespace

void at_end(EndHook hook) { end_hook = hook; }

void stop(int code, std::string_view message, std::string_view why) {
  static bool stopping = false;  // a write error while stopping ends the run at once
  if (stopping) end_process(kStopOutputError);
  stopping = true;
  try {
    if (!message.empty()) TextOut::report().line(" " + std::string(message));
  } catch (const StopError& e) {
    fail(e.code(), e.message());  // standard output cannot be written
  }
  if (why.empty()) why = stop_meaning(code);
  if (code != kStopNormal && !why.empty()) std::fprintf(stderr, "%.*s\n", static_cast<int>(why.size()), why.data());
  if (!TextOut::flush_all()) {
    std::fprintf(stderr, "output was lost; the run did not complete\n");
    record_end(kStopOutputError, "output was lost; the run did not complete");
    end_process(kStopOutputError);
  }
  record_end(code, why.empty() ? message : why);
  end_process(code);
}

void fail(int code, std::string_view message) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  TextOut::flush_all();
  record_end(code, message);
  end_process(code);
}

}  // namespace core
