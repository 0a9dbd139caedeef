// swave_spectrum and swave_saturation: the oscillatory shear test on the
// cell grid at an imposed water proportion, the effective shear modulus of
// the sample, its velocity and 1000/Q. The build names the setup and the
// program.
#include "core/stop_error.hpp"
#include "drivers/program_args.hpp"
#include "drivers/upscaling_run.hpp"

int main(int argc, char** argv) {
  try {
    drivers::start_program(SWAVE_PROGRAM, argc, argv);  // the folder lock and the running record
    drivers::run_upscaling(drivers::SWAVE_SETUP);
  } catch (const core::StopError& e) {
    core::end_run(e);
  }
}
