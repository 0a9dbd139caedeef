// Stopping a long computation from outside: a poll asked between the
// engine's fronts and before every factorisation, at most once per
// interval, that throws Cancelled when its check says so. The throw unwinds
// the computation, whose objects own every byte they hold.
#pragma once

#include <chrono>
#include <exception>
#include <functional>

namespace upscale_py {

class Cancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "the computation was cancelled"; }
};

class Poll {
 public:
  // `check` returns true to cancel; asked at most once per `interval`
  // (the first call always asks).
  Poll(std::function<bool()> check, std::chrono::milliseconds interval);
  // Asks the check when the interval has passed; throws Cancelled when it says so.
  void operator()();
  // Asks the check now.
  void now();

 private:
  std::function<bool()> check_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point last_{};
  bool asked_ = false;
};

}  // namespace upscale_py
