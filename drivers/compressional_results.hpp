// Effective compressional modulus of the sample from the solved
// compressibility test: volume change of the top boundary (mstar), sample
// averages of stress and strain (c33), their velocities and 1000/Q, the
// cell maps and one line in each result table.
#pragma once

#include "core/coefficients.hpp"
#include "core/deck.hpp"
#include "core/text_out.hpp"
#include "drivers/cell_maps.hpp"
#include "waves/plane_waves.hpp"

namespace drivers {

struct CompressionalFiles {
  core::TextOut& vp_anal;          // "vp_anal.phiw"
  core::TextOut& vp_eq;            // "vp_eq.phiw"
  core::TextOut& over_q_eq;        // "1000_over_q_eq.phiw"
  core::TextOut& over_q_anal;      // "1000_over_q_anal.phiw"
  core::TextOut& pressure;         // "mod_pressure_p33_ice"
  core::TextOut& grad_pressure;    // "mod_grad_pressure_p33_ice"
  StrainStressFiles maps;
};

struct CompressionalInputs {
  const core::Deck& deck;
  const core::Coefficients& coef;
  double rob_med;
  double step_frequency;
  double s1, s3;                   // solid fractions of the last cell
  const waves::PlaneWaves& waves;
};

struct CompressionalFields {
  ComplexField& strain1;
  ComplexField& strain3;
  ComplexField& stress;
  PressureMaps pressure;
};

// The velocity of a complex modulus P, 1 / Re(1 / sqrt(P / rho)), and its
// quality factor Re(P) / Im(P) (signed).
double modulus_velocity(zcomplex modulus, double density);
double modulus_q(zcomplex modulus);

void compressional_results(const SolutionView& solution, const CompressionalInputs& in,
                           CompressionalFields fields, CompressionalFiles files,
                           core::TextOut& report);

}  // namespace drivers
