// Cell maps of the solved test: strain and stress of every cell, and the
// fluid pressure with its gradient.
#pragma once

#include "core/cell_array.hpp"
#include "core/coefficients.hpp"
#include "core/complex.hpp"
#include "core/text_out.hpp"
#include "drivers/solution_view.hpp"

namespace drivers {

using ComplexField = core::CellArray<zcomplex>;
using ComplexPressureMap = core::CellArray<zcomplex, core::kPressureMapSide>;
using RealPressureMap = core::CellArray<double, core::kPressureMapSide>;

// The six strain and stress maps, one line "j k value" per cell.
struct StrainStressFiles {
  core::TextOut& real_strain1;
  core::TextOut& imag_strain1;
  core::TextOut& real_strain3;
  core::TextOut& imag_strain3;
  core::TextOut& real_stress;
  core::TextOut& imag_stress;

  void write(int j, int k, zcomplex strain1, zcomplex strain3, zcomplex stress);
};

// Sums of strain1 and stress over the cells, divided by the sample area.
struct SampleAverages {
  zcomplex av_strain;
  zcomplex av_stress;
};

// Discrete divergence of the fluid edge unknowns of a cell.
inline zcomplex fluid_divergence(const CellSolution& u, double h) {
  return (u(10) - u(9) + u(12) - u(11)) / h;
}

// Fluid pressure of every cell, pres = -(b1 div u1 + b2 div u3 + m zeta),
// written as |pres| per cell; the backward-difference gradient of the
// interior cells (2 <= j <= nx-1, 2 <= k <= ny-1) is written as j-1, k-1 and
// the modulus of the complex gradient vector.
struct PressureMaps {
  ComplexPressureMap& pres;
  ComplexPressureMap& derx_pres;
  ComplexPressureMap& dery_pres;
  RealPressureMap& grad_pres_mod;
};
void write_pressure_maps(const SolutionView& solution, int nx, int ny, double h,
                         const core::Coefficients& coef, PressureMaps maps,
                         core::TextOut& pressure_file, core::TextOut& gradient_file);

// Prints " av_strain " and " av_stress " lines of the averages.
void print_averages(core::TextOut& report, const SampleAverages& av);

}  // namespace drivers
