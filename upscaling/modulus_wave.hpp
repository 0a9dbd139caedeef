// The plane wave of a complex modulus: its velocity and quality factor.
#pragma once

#include "core/complex.hpp"

namespace upscaling {

using core::zcomplex;

// The velocity of a complex modulus P, 1 / Re(1 / sqrt(P / rho)), and its
// quality factor Re(P) / Im(P) (signed).
double modulus_velocity(zcomplex modulus, double density);
double modulus_q(zcomplex modulus);

}  // namespace upscaling
