// The command line of an upscaling program. The run is configured by the
// deck on standard input alone; the only arguments are --help and
// --version, and anything else is refused with a usage line (exit status 2).
#pragma once

#include <string_view>

namespace drivers {

// Answers --help or --version and exits, refuses any other argument, warns
// on standard error when standard input is a terminal (a deck is expected
// there), then makes the standard descriptors safe, takes the working
// folder's lock (core/run_lock.hpp) and starts the run record of `program`.
void start_program(std::string_view program, int argc, char** argv);

}  // namespace drivers
