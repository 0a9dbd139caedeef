#include "drivers/timer.hpp"

#include <ctime>

#include "core/fortran_edit.hpp"
#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"
#include "core/text_out.hpp"

namespace drivers {

namespace {

// std::clock measures the processor time of the process, user plus system.
float cpu_seconds_now() {
  const std::clock_t c = std::clock();
  if (c == static_cast<std::clock_t>(-1)) return 0.0f;  // no clock: report zero time
  return static_cast<float>(static_cast<double>(c) / CLOCKS_PER_SEC);
}

}  // namespace

double timer() {
  static float previous = 0.0f;
  const float now = cpu_seconds_now();
  const float elapsed = now - previous;
  previous = now;
  return static_cast<double>(elapsed);
}

std::string running_time_line(double hours) {
  return " running time=" + core::edit_f(hours, 15, 6) + "hours";
}

void end_of_run(double cpu_seconds) {
  core::TextOut& out = core::TextOut::report();
  out.blank();
  out.line(running_time_line(cpu_seconds / 3600.0));
  core::raise_stop(core::kStopNormal);  // the program's main ends the run
}

}  // namespace drivers
