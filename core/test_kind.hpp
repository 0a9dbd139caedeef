// Which oscillatory test a program runs. The compressional program
// (pwave_upscale) and the two shear programs (swave_spectrum,
// swave_saturation) share every routine; where they differ, the routine
// takes this switch.
#pragma once

namespace core {

enum class TestKind { compressional, shear };

}  // namespace core
