// The finite-element system of a sample repeated without end in x and z:
// the periodic test of the effective tensor.
//
// Both solids move with a macroscopic strain E = (eps_xx, eps_zz, gamma_xz)
// plus a periodic fluctuation; the relative fluid displacement is periodic.
// The grid's unknowns wrap into a torus: node (i, k), 0 <= i < nx,
// 0 <= k < ny, holds six unknowns, the four solid displacements and the
// fluid fluxes through the horizontal edge to its right and the vertical
// edge above it, so opposite sides of the sample share their nodes and
// edges. The macroscopic part enters each cell as the affine field
//
//   u1 = u3 = (eps_xx dx + gamma_xz dz, eps_zz dz)
//
// of its vertices' offsets (dx, dz) from the cell's lower-left vertex; a
// translation per cell changes neither the strains nor the relative motion
// of the solids, so this is the jump E L across the period made into a load.
// The three unit strains are the three right-hand sides of one matrix.
//
// The common translations of both solids are the null space of the
// periodic matrix; they are removed by holding solid 1's displacement at
// node (0, 0) (its rows and columns keep only the diagonal). The loads are
// orthogonal to the null space, so the held solution satisfies every
// equation and its strains, hence the stresses, are those of any other.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/coefficients.hpp"
#include "engine/sparse_solver.hpp"
#include "fem/numbering.hpp"

namespace tensor {

using core::zcomplex;

// The three unit macroscopic strains, in the order of the right-hand sides.
inline constexpr int kStrains = 3;  // 0: eps_xx, 1: eps_zz, 2: gamma_xz

// As for the sealed grid (GridSystem), the pattern and the assembled system
// may be a band of cell rows alone: one rank's share. The last band's cells
// reach the first row's nodes across the wrap-around, which coordinate
// entries carry as any others.
struct PeriodicGrid {
  int64_t nx = 0, ny = 0;
  double h = 0;
  int64_t n = 0;                  // 6 nx ny
  int64_t first_row = 1, last_row = 0;  // the band of cell rows (1-based) of the pattern
  fem::XnodTable xnod;            // the torus numbering, 1-based as fem/
  engine::Pattern pattern;        // lower triangle, sorted by row, then column
  std::vector<int64_t> row_start;
  std::array<int64_t, 2> held{};  // solid-1 x and y at node (0, 0)

  PeriodicGrid(int64_t nx_, int64_t ny_, double h_) : PeriodicGrid(nx_, ny_, h_, 1, ny_) {}
  PeriodicGrid(int64_t nx_, int64_t ny_, double h_, int64_t first_row_, int64_t last_row_);
  // 0-based unknown of local unknown a (1..20) of cell (j, k).
  int64_t unknown(int64_t j, int64_t k, int a) const { return xnod(fem::cell_serial(j, k, nx), a) - 1; }
  int64_t position(int64_t row, int64_t col) const;
  bool is_held(int64_t u) const { return u == held[0] || u == held[1]; }
};

// The macroscopic displacement of local unknown a (1..20) of a cell of side h
// under the unit strain s (0..2): zero for the fluid.
double affine_part(int a, int s, double h);

// One frequency's periodic system: the matrix values (pattern order), the
// three right-hand sides (n x 3, column-major) and the energy matrix of the
// affine fields, D(s, t) = sum over cells of a_s^T K_e a_t; of a band, the
// sums over its cells alone.
struct PeriodicSystem {
  std::vector<zcomplex> values, rhs;
  std::array<std::array<zcomplex, kStrains>, kStrains> affine{};
};
void assemble_periodic(const PeriodicGrid& g, std::span<const core::CellCoefficients> cells, double omega,
                       PeriodicSystem& sys);

// The effective tensor from the solved fluctuations x (n x 3): with
// u_t = P x_t + a_t the whole displacement of strain t, the mean stress
// under strain t against strain s is
//   C(s, t) = a_s^T K u_t / A = (D(s, t) - rhs_s^T x_t) / A,   A = nx ny h^2,
// in the order (xx, zz, xz): C(0,0) = C11, C(0,1) = C13, C(0,2) = C15, ...
using Tensor3 = std::array<std::array<zcomplex, kStrains>, kStrains>;
Tensor3 periodic_tensor(const PeriodicGrid& g, const PeriodicSystem& sys, std::span<const zcomplex> x);

}  // namespace tensor
