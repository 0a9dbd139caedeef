// Error bars of the periodic test: every modulus is a linear functional of
// one solution, C(s, t) = (D(s, t) - rhs_s^T x_t) / A, and the functional's
// adjoint A^{-T}(-rhs_s / A) is the solution x_s / A of strain s itself (the
// matrix is complex symmetric): the bounds cost no adjoint solves.
#pragma once

#include <span>

#include "engine/sparse_solver.hpp"
#include "tensor/periodic_system.hpp"
#include "tensor/stiffness_accuracy.hpp"

namespace tensor {

// The bounds of C11, C13, C33, C55 (relative), C15 and C35 (relative to the
// largest diagonal modulus) and the worst condition estimate of the three
// solves, from the raw solutions x (n x 3) and the factors in `solver`.
void bound_periodic(const PeriodicGrid& g, const PeriodicSystem& sys, std::span<const zcomplex> x,
                    const Tensor3& c, engine::SparseSolver& solver, StiffnessBounds& b);

}  // namespace tensor
