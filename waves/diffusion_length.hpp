// How far the fluid pressure diffuses in one cycle: the diffusion length of
// the slow compressional waves of a cell in the quasi-static medium that the
// finite-element tests solve (no inertia: the mass coefficients set to zero).
//
// Without inertia the plane-wave pencil det(A - s^2 E) = 0 (s the complex
// slowness k / omega, A = -i F / omega the friction) has one root s^2 = 0,
// the solids and the fluid moving together, and two diffusive roots: the
// fluid flowing relative to the solids and the two solids sliding past each
// other. In the coordinates (c, w, d) of pencil_roots.hpp (c the common
// solid motion, w the fluid, d = u3 - u1) the friction has no c row or
// column, so c is eliminated from E exactly (a Schur complement) and the two
// diffusive roots are those of a 2 x 2 pencil. Each diffusive wave decays
// as exp(-|Im k| x), k = omega s: its diffusion length is 1 / |Im k|, which
// for a pure diffusion k^2 = -i omega / D is sqrt(2 D / omega).
//
// A grid resolves the pressure field when its cell side h is well below
// the shorter of the two lengths.
#pragma once

#include <cstdint>

#include "core/coefficients.hpp"

namespace waves {

// The shorter diffusion length (m) of the two slow compressional waves of a
// cell at angular frequency omega; infinite without friction.
double diffusion_length(const core::CellCoefficients& c, double omega);

// The smallest number of cells of side h per diffusion length over the
// cells j = 1..nx, k = 1..ny of the fields.
double cells_per_diffusion_length(const core::Coefficients& coef, int32_t nx, int32_t ny, double h, double omega);

}  // namespace waves
