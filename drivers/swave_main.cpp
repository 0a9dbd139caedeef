// swave_spectrum and swave_saturation: the oscillatory shear test on the
// cell grid at an imposed water proportion, the effective shear modulus of
// the sample, its velocity and 1000/Q. The build names the setup.
#include "drivers/upscaling_run.hpp"

int main() { drivers::run_upscaling(drivers::SWAVE_SETUP); }
