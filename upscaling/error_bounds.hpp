// How many digits of a solved sparse system, and of a number computed from
// it, are right: error bounds from the factors already at hand.
//
// A backward error measures the residual, not the error: a system singular
// to working precision can be solved with a backward error of 1e-16 and a
// solution without one correct digit. The error itself is bounded through
// the exact residual r = b - A x of the computed x (x - x* = -A^{-1} r):
//
// - residual bound: |r| <= w componentwise, w = (1 + c u)|r~| + g (|A||x| + |b|),
//   r~ the residual formed in higher precision and rounded: for compressed
//   rows (the programs' solver) in extended precision, g = 2 (nnz of the row
//   + 2) times the extended unit roundoff, c = 2; for the engine's lower
//   triangle or coordinate entries in doubled double precision
//   (core/compensated_residual.hpp), g about 8 ((nnz + 1) u)^2, c = 8;
// - a linear functional F(x) = l^T x of the solution (a mean strain, a sum
//   of stresses, a boundary displacement) is off by at most |y|^T w,
//   y = A^{-T} l: one transposed solve, no estimation (adjoint bound);
// - the solution as a whole: ||x - x*||_inf / ||x||_inf <= || |A^{-1}| w ||_inf
//   / ||x||_inf, and the componentwise condition number of Skeel and Rohn
//   cond(A, x) = || |A^{-1}| (|A||x| + |b|) ||_inf / ||x||_inf (relative
//   error per relative componentwise perturbation of A and b); both norms
//   of |A^{-1}| times a vector are estimated by the 1-norm estimator of
//   Hager and Higham (LAPACK's zlacn2) with a few solves by A and A^H,
//   as LAPACK's refinement (zgerfs) bounds its errors.
//
// The interface is generic: the matrix as a view of compressed rows (Yale,
// 1-based, 32-bit) or of coordinate entries (0-based, 64-bit, optionally the
// lower triangle of a symmetric matrix), solves as callbacks that overwrite
// a vector with A^{-1} or A^{-T} times it (the stored factors), the
// functional as a dense vector l.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <variant>
#include <vector>

#include "core/complex.hpp"

namespace upscaling::bounds {

using Index = std::int64_t;
using core::zcomplex;

// Compressed rows: the entries of row i (1-based or 0-based by `base`) are
// ia[i - base] .. ia[i + 1 - base] - 1 (minus base) of ja and a.
struct CsrView {
  Index n;
  std::span<const std::int32_t> ia, ja;
  std::span<const zcomplex> a;
  int base = 1;
};

// Coordinate entries, 0-based; with `lower_symmetric` an entry (i, j), i > j,
// also stands for (j, i). Repeated pairs add up.
struct CooView {
  Index n;
  std::span<const Index> row, col;
  std::span<const zcomplex> a;
  bool lower_symmetric = false;
};

// A symmetric matrix's lower triangle by columns, 0-based: column j holds
// rows row[ptr[j]] .. row[ptr[j+1]-1], each entry (i, j), i > j, also
// standing for (j, i).
struct LowerColumnsView {
  Index n;
  std::span<const Index> ptr, row;
  std::span<const zcomplex> a;
};

using MatrixView = std::variant<CsrView, CooView, LowerColumnsView>;

Index order(const MatrixView& A);

// Overwrites v with A^{-1} v (or A^{-T} v, plain transpose) using the stored
// factors.
using SolveInPlace = std::function<void(std::span<zcomplex> v)>;

// Overwrites each of several vectors with A^{-T} times it in one sweep of
// the factors (a solve costs the reading of the factors, not its
// arithmetic), each result the same as solve_transpose's.
using SolveSeveral = std::function<void(std::span<const std::span<zcomplex>> vs)>;

struct SolveCallbacks {
  SolveInPlace solve;            // A^{-1}
  SolveInPlace solve_transpose;  // A^{-T}; the same as `solve` for a symmetric A
  SolveSeveral solve_transpose_several = {};  // optional; empty: solve_transpose on each
  SolveSeveral solve_several = {};            // optional; empty: solve on each
  bool two_threads = false;  // the estimates' work on their vectors, two side by side
};

// The componentwise residual bound of a computed solution x of A x = b.
struct ResidualBound {
  std::vector<double> w;       // w_i >= |b - A x|_i in exact arithmetic
  std::vector<double> scale;   // (|A||x| + |b|)_i
  double backward_error = 0;   // max_i |r~|_i / scale_i
};
ResidualBound residual_bound(const MatrixView& A, std::span<const zcomplex> b, std::span<const zcomplex> x);

// y = A^{-T} l: the adjoint of the functional l^T x.
std::vector<zcomplex> adjoint(std::span<const zcomplex> l, const SolveCallbacks& s);

// The adjoints of several functionals, in one sweep where the solves offer it.
std::vector<std::vector<zcomplex>> adjoints(std::span<const std::span<const zcomplex>> ls, const SolveCallbacks& s);

// |y|^T w: the bound on |l^T (x - x*)| of the solution whose residual bound
// is w (several such w may be summed for a difference of solutions).
double functional_bound(std::span<const zcomplex> y, std::span<const double> w);

// Estimate of || |A^{-1}| g ||_inf for g >= 0 (Hager-Higham: at most
// max_steps steps of one solve with A^H and one with A, then the
// alternating-sign test; LAPACK allows five steps: on the 60 x 60 example
// decks three give an estimate 0.1 to 14 % lower for 4 solves less).
double inverse_weighted_norm(std::span<const double> g, const SolveCallbacks& s, int max_steps = 3);

// The vectors whose solves by A^{-T} start every estimate of order n,
// whatever its g: the uniform vector 1/n and (n >= 2) the alternating-sign
// vector. Their solves may be made ahead, in one block with other solves
// of the matrix, and handed over as StartSolves.
std::vector<std::vector<zcomplex>> estimator_start(Index n);
struct StartSolves {
  std::span<const zcomplex> uniform, alternating;  // A^{-T} times estimator_start(n)[0], [1]
};

// The estimates for several g of one matrix, in lockstep: each step solves
// the vectors of all estimates still running as one block, the start
// vectors once for all (or not at all with `ahead` of their order). Each
// estimate is the one inverse_weighted_norm gives for its g alone.
std::vector<double> inverse_weighted_norms(std::span<const std::span<const double>> gs, const SolveCallbacks& s,
                                           int max_steps = 3, const StartSolves* ahead = nullptr);

// The two numbers a solve reports beside its backward error.
struct SolutionBounds {
  double condition = 0;       // cond(A, x), Skeel-Rohn, estimated
  double forward_error = 0;   // bound on ||x - x*||_inf / ||x||_inf
};
SolutionBounds solution_bounds(const ResidualBound& r, std::span<const zcomplex> x, const SolveCallbacks& s);

// Those of several solutions of one matrix, their estimates in lockstep.
std::vector<SolutionBounds> solution_bounds(std::span<const ResidualBound> r,
                                            std::span<const std::span<const zcomplex>> x, const SolveCallbacks& s,
                                            const StartSolves* ahead = nullptr);

}  // namespace upscaling::bounds
