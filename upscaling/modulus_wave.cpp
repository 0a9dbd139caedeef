#include "upscaling/modulus_wave.hpp"

namespace upscaling {

using core::cdiv;
using core::crecip;

double modulus_velocity(zcomplex modulus, double density) {
  const zcomplex slowness = crecip(core::csqrt(cdiv(modulus, core::cplx(density))));
  return 1.0 / slowness.re;
}

double modulus_q(zcomplex modulus) { return modulus.re / modulus.im; }

}  // namespace upscaling
