// CPU clock of a run and the end-of-run report.
#pragma once

#include <string>

namespace drivers {

// Process CPU time (user plus system) read in single precision, returned as
// the difference to the value read at the previous call, widened to double.
// The first call measures from zero. The only state kept between calls.
double timer();

// The end-of-run line: " running time=" and the hours in f15.6, then "hours".
std::string running_time_line(double hours);

// Prints an empty line and the running-time line for `cpu_seconds`, then
// throws the normal stop (core::StopError of code 40), which the program's
// main turns into the end of the run (core::end_run).
[[noreturn]] void end_of_run(double cpu_seconds);

}  // namespace drivers
