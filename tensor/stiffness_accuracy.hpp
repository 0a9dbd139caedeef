// How many digits of the stiffness of a frequency are right, and whether
// the grid resolves the diffusion of the fluid pressure
// (upscaling/error_bounds.hpp, doc/accuracy.md).
//
// Each headline modulus is a function of linear functionals of the tests'
// solutions: C11, C13, C33 the plate forces l^T u of the biaxial test over
// the plate's side, C55 the tied modulus of the four mean shear strains
// g_ij = l_i^T z_j of the shear test. With w the componentwise bound on the
// residual of a solution, a functional is off by at most |A^{-T} l|^T w
// (one adjoint solve with the factors at hand), C55 to first order through
// the combination of the adjoints that its derivatives make; the rounding
// of the sums over the cells is added.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "core/coefficients.hpp"
#include "upscaling/cell_strains.hpp"
#include "engine/sparse_solver.hpp"
#include "tensor/bound_solves.hpp"
#include "tensor/grid_system.hpp"
#include "tensor/tensor_row.hpp"
#include "upscaling/error_bounds.hpp"

namespace tensor {

// Relative bounds of the moduli (0 for a test not run), the worst Skeel-Rohn
// condition estimate over the solves, and the resolution of the grid.
struct StiffnessBounds {
  double condition = 0;
  double c11 = 0, c13 = 0, c33 = 0, c55 = 0;
  // The coupling moduli (periodic test only), relative to the largest of
  // |C11|, |C33|, |C55|: they may vanish.
  double c15 = 0, c35 = 0;
  double cells_per_diffusion_length = 0;
};

// One test as solved: its matrix values (pattern order), its right-hand
// sides and raw solutions (n x 2, column-major, before the prescribed values
// are put in) and the solutions with them.
struct SolvedLoads {
  std::span<const zcomplex> values, rhs, raw, x;
  bool two_threads = false;  // the two loads' residuals side by side
};

// The biaxial test's bounds (c11, c13, c33, condition) and the shear
// test's (c55, condition), with the factors of its matrix in `solver` and
// the test's functionals solved already (solve_with_bounds).
void bound_biaxial(const GridSystem& g, const TestFunctionals& f, const SolvedLoads& t, engine::SparseSolver& solver,
                   StiffnessBounds& b);
void bound_shear(const GridSystem& g, const TestFunctionals& f, const SolvedLoads& t, engine::SparseSolver& solver,
                 StiffnessBounds& b);

// The solves with a solver's factors for the error bounds (plain, or
// refined against the matrix); vectors known together go as one block.
upscaling::bounds::SolveCallbacks solves_of(engine::SparseSolver& solver, bool refine, bool two_threads = false);

// l with l^T u = the mean engineering shear strain of solid s over the cells.
std::vector<zcomplex> mean_shear_functional(const GridSystem& g, upscaling::SolidComponents s);

// The smallest diffusion length of the cells over the cell side h.
double cells_per_diffusion_length(std::span<const core::CellCoefficients> cells, double h, double omega);

// The worst of the four relative bounds, and its modulus' name.
double worst_bound(const StiffnessBounds& b, const char** name = nullptr);

// Puts condition_estimate, forward_error_bound, cells_per_diffusion_length
// before the row's other extra columns.
void add_accuracy_columns(TensorRow& row, const StiffnessBounds& b);

// The warning of an unresolved grid (empty when resolved), and the sentence
// of a modulus without a certain digit (empty when every bound is <= 1e-3).
std::string resolution_warning(const StiffnessBounds& b, double freq_hz);
std::string no_certain_digit(const StiffnessBounds& b, double freq_hz);

// The exit status of a run stopped by a modulus without a certain digit.
inline constexpr int kNoCertainDigitStatus = 41;

}  // namespace tensor
