// Two moduli of the sample that are ratios of a load to its work-conjugate
// strain, printed beside the partial-stress estimates of the tests.
//
// Write t = (t1, t3) for the tractions on solid 1 and solid 3 (compressional
// test: a unit downward traction on the top of each solid, t = (1, 1); shear
// test: unit tangential tractions on the left, right and top of solid 1,
// t = (1, 0)), and eps_i for the mean over the sample of the strain of
// solid i conjugate to its traction (minus the vertical strain; the
// engineering shear strain 2 eps_xy). The work of the load over the sample's
// area is t . eps.
//
// - Work modulus M_W = (t1 + t3)^2 / (t . eps): the load over its
//   work-conjugate strain in the test as loaded.
// - Tied modulus M_T = e^T G^-1 e, e = (1, 1), where G(i, j) is the mean
//   strain of solid i under a unit traction on solid j alone: the modulus
//   when both solids share one mean strain and the total traction is split
//   between them as the sample itself splits it, the response of a sample
//   much thinner than the wavelength.
//
// With K = Kr + i Ki the system matrix (Kr, Ki symmetric positive
// semidefinite on the free unknowns) and a real load f, Im(f^T K^-1 f) <= 0;
// hence both moduli have Im >= 0, a positive Q, at every frequency. One more
// solve with the stored factors gives G: the load on one solid alone.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "core/complex.hpp"
#include "core/test_kind.hpp"
#include "core/text_out.hpp"
#include "upscaling/cell_strains.hpp"
#include "upscaling/solution_view.hpp"
#include "fem/numbering.hpp"

namespace upscaling {

// The solved test as its post-processing reads it.
struct SolvedTest {
  core::TestKind kind;
  int nx, ny;
  double h;
  const fem::XnodTable& xnod;
  std::span<const zcomplex> load;  // the assembled right-hand side
  std::span<const zcomplex> z;     // the solution
};

// Solves the test's system for another load with the factors at hand.
using SolveAgain = std::function<void(std::span<const zcomplex> load, std::span<zcomplex> x)>;

// Mean work-conjugate strain of each solid.
struct SolidStrains {
  zcomplex solid1, solid3;
};
SolidStrains mean_work_strains(core::TestKind kind, const SolutionView& u, int nx, int ny, double h);

// The same mean strain of solid s as a functional of the whole solution:
// l with sum_i l_i z_i = the mean (n entries, unknowns numbered by xnod),
// each cell's formula probed with unit values.
std::vector<zcomplex> mean_work_strain_functional(core::TestKind kind, SolidComponents s, int nx, int ny, double h,
                                                  const fem::XnodTable& xnod, std::size_t n);

// G(i, j): mean strain of solid i under a unit traction on solid j.
struct SolidCompliance {
  zcomplex g11, g13, g31, g33;
};
zcomplex tied_modulus(const SolidCompliance& g);

// The derivatives of M_T = N / D, N = g11 + g33 - g13 - g31,
// D = g11 g33 - g13 g31, by g11, g13, g31, g33, and the relative rounding
// of N / D as evaluated from the g (the cancellations in N and D counted):
// what an error bound of M_T propagates the errors of the g through.
struct TiedDerivatives {
  zcomplex m, d11, d13, d31, d33;
  double rounding;
};
TiedDerivatives tied_derivatives(zcomplex g11, zcomplex g13, zcomplex g31, zcomplex g33);

struct TiedWorkModuli {
  SolidCompliance g;
  zcomplex tied;  // M_T
  zcomplex work;  // M_W
  // The second solve: its load (on one solid alone) and its solution, for
  // the error bounds (compressional: the response to solid 1's share;
  // shear: to the same tractions on solid 3).
  std::vector<zcomplex> second_load, second_solution;
};
TiedWorkModuli tied_and_work_moduli(const SolvedTest& test, const SolveAgain& solve_again);


}  // namespace upscaling
