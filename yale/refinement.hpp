// Iterative refinement of a solution of A z = b with the factors that the
// factorisation left in the workspace.
//
// The factorisation does not pivot, so on a badly conditioned system its
// solution can be far less accurate than the data allow.  Each step forms
// the residual r = b - A z in extended precision, solves A d = r with the
// stored factors and adds d to z.  The measure is the componentwise
// backward error
//
//   omega = max_i |b - A z|_i / (|A| |z| + |b|)_i,
//
// the smallest relative change of the entries of A and b that makes z
// exact (magnitudes of complex numbers taken as |re| + |im|, within a
// factor sqrt(2) of the modulus).  Steps stop when omega reaches the unit roundoff, when it no longer
// halves, or after kMaxRefinementSteps.
#pragma once

#include <cstdint>
#include <limits>

#include "core/backward_error.hpp"
#include "core/complex.hpp"
#include "yale/ordering.hpp"

namespace yale {

inline constexpr int kMaxRefinementSteps = 5;

// A in Yale storage (1-based), the right-hand side b.
struct YaleMatrix {
  int32_t n;
  CIVec ia, ja;
  Vec1<const core::zcomplex> a;
};

// omega of z; the residual b - A z, formed in extended precision, is left
// rounded in r.
double residual_and_backward_error(const YaleMatrix& A, Vec1<const core::zcomplex> b, Vec1<const core::zcomplex> z,
                                   Vec1<core::zcomplex> r);

struct Refined {
  double backward_error;  // omega of the final z
  int steps;              // corrections added
};

// Refines z in place.  solve_in_place(r) overwrites r with the solution of
// A d = r by the stored factors (zndrv, job 3, with b and z the same array).
template <class SolveInPlace>
Refined refine(const YaleMatrix& A, Vec1<const core::zcomplex> b, Vec1<core::zcomplex> z, Vec1<core::zcomplex> r,
               SolveInPlace&& solve_in_place) {
  constexpr double unit_roundoff = core::kUnitRoundoff;
  double omega = residual_and_backward_error(A, b, z, r);
  double last = 3.0;  // omega never exceeds 1
  int steps = 0;
  while (omega > unit_roundoff && 2 * omega <= last && steps < kMaxRefinementSteps) {
    solve_in_place(r);
    for (int32_t i = 1; i <= A.n; ++i) z(i) += r(i);
    last = omega;
    ++steps;
    omega = residual_and_backward_error(A, b, z, r);
  }
  return {omega, steps};
}

}  // namespace yale
