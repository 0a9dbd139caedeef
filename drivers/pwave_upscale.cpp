// pwave_upscale: the oscillatory compressibility test on the cell grid, the
// effective compressional modulus of the sample, its velocity and 1000/Q.
#include "drivers/upscaling_run.hpp"

int main() { drivers::run_upscaling(drivers::kCompressionalSetup); }
