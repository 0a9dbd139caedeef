#include "core/stop_codes.hpp"

namespace core {

std::string_view stop_meaning(int code) {
  if (code >= kStopNegativeVelocity && code < kStopNegativeVelocity + 5)
    return "the plane-wave analysis of a cell gave a negative velocity (named above on standard output): the cell's "
           "coefficients do not describe a stable medium; check the grain moduli and densities of the deck";
  switch (code) {
    case kStopPorosityCheck:
      return "ice model: a layer's water proportion phi_layer1 is not below its absolute porosity phi_a";
    case kStopOrderingFailed:
      return "the sparse ordering of the finite-element system failed (its flag is on standard output)";
    case kStopSolveFailed:
      return "the sparse factorisation of the finite-element system failed (its flag is on standard output)";
    case kStopMaterialMap:
      return "a cell of the layered map has no layer material of the deck (cell and number on standard output)";
    case kStopFractionSum:
      return "the volume fractions of a cell (solid 1, water, solid 3) do not add up to 1 within 1e-15; "
             "check phi_a, s3 and the water proportions";
    case kStopLambda1:
      return "cell (1,1): the elastic coefficient lambda1 is not positive (expected > 0); the grain, frame and "
             "fluid moduli of the deck do not make a stable solid 1";
    case kStopLambda3:
      return "cell (1,1): the elastic coefficient lambda3 is not positive (expected > 0); the grain, frame and "
             "fluid moduli of the deck do not make a stable solid 3";
    case kStopIceFraction:
      return "ice model: a cell's ice fraction phi_a - water proportion lies outside (0, 1): its water "
             "proportion is not below the absolute porosity phi_a of its material";
    case kStopEnergyBulk:
    case kStopEnergyShear:
      return "the strain energy of a cell is not positive definite (expected positive for a stable solid); "
             "check the grain moduli, ak_air, xmu_air and the porosities";
    case kStopFrictionPrime:
    case kStopFriction:
      return "cell (1,1): the friction coefficients fail the control f11 f22 - f12^2 >= 0; check eta, the "
             "permeability parameters and coef_b13";
    case kStopNoCorrectDigit:
      return "the error bound of a headline modulus exceeds 1e-3: the finite-element system is numerically "
             "singular, so the results carry no certain digit";
    case kStopOutOfMemory:
      return "out of memory: the run could not obtain the memory it needs";
    default:
      return {};
  }
}

}  // namespace core
