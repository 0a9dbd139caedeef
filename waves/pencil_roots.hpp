// Accurate squared slownesses of the plane waves.
//
// The friction terms f/omega can exceed the mass terms by twelve orders of
// magnitude, and they have an exact null direction: both solids moving
// together with no relative flow. The fast waves lie almost along it, so in
// the components (u1, w, u3) their eigenvalues, and above all the tiny
// imaginary parts that carry their attenuation, come out as differences of
// friction-sized numbers. The three compressional roots also differ by up
// to sixteen orders of magnitude, which Cardano's formula cannot resolve for
// the two small ones.
//
// Here the pencils are written in the coordinates (c, w, d): c the common
// solid motion (u1 = c, u3 = c + d), w the fluid, d = u3 - u1. This is an
// integer congruence, A' = T^t A T and E' = T^t E T; in it the first row and
// column of A' are real sums of mass coefficients, the friction sits in the
// (w, d) block only, and every coefficient of det(A' - lambda E') is formed
// with compensated sums of exact products.
#pragma once

#include "waves/small_matrix.hpp"

namespace waves {

// The compressional pencil (components 1, 3, 4 of the 5 x 5 E and A) in
// the coordinates (c, w, d).
void compressional_pencil(const Mat5& e, const Mat5& a, Mat3& et, Mat3& at);

// The shear pencil in the coordinates (c, d): E of components 2, 5; A as
// the compressional A' with the fluid eliminated (its Schur complement with
// respect to w), formed after the common-motion sums.
void shear_pencil(const Mat5& e, const Mat5& a, Mat2& et, Mat2& at);

// The roots of det(at - lambda et) = 0. The largest by Cardano, the other
// two from the deflated quadratic written with the product of the roots
// (no cancellation), each improved by one Newton step on the determinant.
// Order: the largest first, then the two of the quadratic.
void pencil3_roots(const Mat3& at, const Mat3& et, Vec3& mu);

// The roots of det(at - lambda et) = 0 for 2 x 2 pencils: one from the sum
// with the discriminant root of the larger modulus, the other from the
// product of the roots.
void pencil2_roots(const Mat2& at, const Mat2& et, Vec2& mu);

// Replaces the squared slownesses of the closed route, `lambda` (the three
// compressional, as labelled by cautov) and `tau` (the two shear), by the
// accurate roots, each given to the nearest of the labelled values
// (compressional slot 3 first). Nearness is the relative distance
// |x - y| / (|x| + |y|), since the roots span many orders of magnitude.
void accurate_slownesses(const Mat5& e, const Mat5& a, Vec3& lambda, Vec2& tau);

}  // namespace waves
