// The small dense complex routines of the plane-wave analysis: roots of a
// complex cubic (Cardano), eigenvalues of a 3 x 3 complex matrix through its
// characteristic polynomial, and in-place inversion of a complex matrix of
// order 1 to 5 by bordering.
//
// None of them checks its input, prints or allocates. Degenerate input (a
// zero leading coefficient, a triple root, a zero pivot) gives the
// infinities and NaNs of IEEE arithmetic, passed on to the caller.
#pragma once

#include "waves/small_matrix.hpp"

namespace waves {

// Roots of a*x^3 + b*x^2 + c*x + d = 0 by Cardano's formula in complex
// arithmetic. The order of the roots is fixed by the three cube-root angles
// theta, theta + 2pi/3, theta + 4pi/3; they are not sorted. A triple root
// (w = 0) is not guarded and yields NaN.
void cubeq2(const zcomplex& a, const zcomplex& b, const zcomplex& c, const zcomplex& d, zcomplex& x1, zcomplex& x2,
            zcomplex& x3);

// The three eigenvalues of `m` as the roots of its characteristic
// polynomial, in the order cubeq2 returns them.
void cautov(const Mat3& m, Vec3& lambda);

// Replaces the leading n x n block of `m` (1 <= n <= 5) by its inverse, by
// bordering without pivoting. Entries outside the block are not touched.
void c_invert(int n, Mat5& m);

}  // namespace waves
