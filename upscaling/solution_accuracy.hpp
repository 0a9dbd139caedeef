// How many digits of a run's results are right, and whether its grid
// resolves the physics at the run's frequency.
//
// - The solve: the componentwise condition number of the system and a bound
//   on the relative error of its solution (upscaling/error_bounds.hpp).
// - The headline moduli (M_T and the original estimates: mstar and c33 of
//   the compressional test, cmu and c13 of the shear test): each is a
//   function of a few linear functionals l^T z of the two solutions (mean
//   strains of each solid, the sum of the cells' stresses, a boundary
//   displacement). To first order the change of a modulus is itself a
//   linear functional of the solutions' errors, sum_j m_j^T dz_j, whose
//   adjoints A^{-T} m_j are combinations of those of the strains, stresses
//   and displacements, combined by the modulus' derivatives before their
//   magnitudes are taken (cancellations kept); the bound is sum_j
//   |A^{-T} m_j|^T w_j, w_j the residual bound of solution j. The
//   reciprocal of a boundary functional (mstar, cmu) is bounded exactly.
// - The grid: the fewest cells per diffusion length of the slow waves
//   (waves/diffusion_length.hpp).
#pragma once

#include <string>
#include <vector>

#include "core/coefficients.hpp"
#include "core/text_out.hpp"
#include "upscaling/error_bounds.hpp"
#include "upscaling/tied_modulus.hpp"

namespace upscaling {

// The relative error bound of one headline modulus; `name` as in run.json.
struct ModulusBound {
  const char* name;
  double relative;
};

struct RunAccuracy {
  double backward_error = 0;        // of the refined main solution
  double condition = 0;             // cond(A, z), estimated
  double forward_error_solution = 0;
  std::vector<ModulusBound> moduli;
  double forward_error_bound = 0;   // the largest bound of the headline moduli
  double cells_per_diffusion_length = 0;
};

// A grid this coarse (cells per diffusion length) draws a warning.
inline constexpr double kResolvedCells = 2.0;
// A headline modulus whose error bound exceeds this stops the run.
inline constexpr double kLargestRelativeError = 1e-3;

// The relative error of 1000/Q to expect from a grid of h / l_p = r (cell
// side over diffusion length), by the refinement study of doc/accuracy.md.
double expected_over_q_error(double r);

// The mean work-conjugate strain of each solid and the functionals of the
// original estimates, as vectors l with F(z) = sum_i l_i z_i (0-based):
// built by probing the programs' own cell formulas with unit values.
struct ResultFunctionals {
  std::vector<zcomplex> strain1, strain3;  // mean work-conjugate strains (tied_modulus.hpp)
  std::vector<zcomplex> boundary;          // deltavol1 (compressional), ctita (shear)
  std::vector<zcomplex> stress;            // the sum of the cells' stresses
};
ResultFunctionals result_functionals(const SolvedTest& t, const core::Coefficients& coef);

// Everything above for a solved test; `tied` must hold the second solve.
RunAccuracy run_accuracy(const SolvedTest& t, const core::Coefficients& coef, const TiedWorkModuli& tied,
                         const bounds::MatrixView& A, const bounds::SolveCallbacks& solves,
                         double backward_error, double omega);


// The sentence that refuses the results at frequency `freq` (Hz), empty
// when every headline bound is within kLargestRelativeError; and the
// warning of an unresolved grid, empty when the grid resolves.
std::string no_correct_digit(const RunAccuracy& a, double freq);
std::string unresolved_grid(const RunAccuracy& a, double freq);

}  // namespace upscaling
