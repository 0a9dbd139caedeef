// pwave_upscale: the oscillatory compressibility test on the cell grid, the
// effective compressional modulus of the sample, its velocity and 1000/Q.
#include "core/stop_error.hpp"
#include "drivers/program_args.hpp"
#include "drivers/upscaling_run.hpp"

int main(int argc, char** argv) {
  try {
    drivers::start_program("pwave_upscale", argc, argv);  // the folder lock and the running record
    drivers::run_upscaling(drivers::kCompressionalSetup);
  } catch (const core::StopError& e) {
    core::end_run(e);
  }
}
