// The solves a sealed test's error bounds need, made in the sweeps of the
// factor that solve its loads.
//
// A solve costs the reading of the factor, not its arithmetic, and the
// bounds' first solves do not depend on the solutions: the adjoints of the
// test's two functionals (a plate force, a mean strain) and the vectors
// that start every condition estimate. So the loads, the adjoints (both
// refined against the matrix) and the estimator's start vectors (plain)
// go as one block of six, and the refinement's steps solve the unfinished
// loads and adjoints together. Each vector gets the bits of its solve
// alone (the engine's block solves), so the bounds are those of the
// separate solves.
#pragma once

#include <span>
#include <vector>

#include "core/coefficients.hpp"
#include "engine/sparse_solver.hpp"
#include "tensor/grid_system.hpp"
#include "upscaling/error_bounds.hpp"

namespace tensor {

// A test's two functionals l (C11, C13, C33 from the plate forces of the
// biaxial test; C55 from the mean shear strains of solids 1 and 3), the
// adjoints y = A^{-T} of their free parts, and the solves of the condition
// estimator's start vectors.
struct TestFunctionals {
  std::vector<zcomplex> l[2], y[2];
  std::vector<std::vector<zcomplex>> start;
  upscaling::bounds::StartSolves starts() const;
};

// The functionals of the biaxial or of the shear test (no solve yet).
TestFunctionals test_functionals(const GridSystem& g, const TestSetup& test,
                                 std::span<const core::CellCoefficients> cells, double omega, bool biaxial);

// The functional on the free unknowns only: the prescribed ones carry no error.
std::vector<zcomplex> free_part(std::vector<zcomplex> l, const TestSetup& test);

// Solves the loads (n x 2, column-major, refined) into x in one block with
// f's adjoints and start vectors; returns the loads' worst backward error.
// With no loads, the adjoints and start vectors alone.
double solve_with_bounds(engine::SparseSolver& solver, const TestSetup& test, std::span<const zcomplex> loads,
                         std::vector<zcomplex>& x, TestFunctionals& f);

}  // namespace tensor
