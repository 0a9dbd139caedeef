// Cell maps of the solved test: strain and stress of every cell, and the
// fluid pressure with its gradient.
#pragma once

#include "core/cell_array.hpp"
#include "core/coefficients.hpp"
#include "core/complex.hpp"
#include "core/text_out.hpp"
#include "upscaling/cell_strains.hpp"
#include "upscaling/solution_view.hpp"

namespace drivers {

using core::zcomplex;

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

// Strain of both solids and stress of one cell.
struct CellStrainStress {
  zcomplex strain1;
  zcomplex strain3;
  zcomplex stress;
};

// Sums of strain1 and stress over the cells.
struct StrainStressSums {
  zcomplex strain;
  zcomplex stress;
};

// Sums of strain1 and stress over the cells, divided by the sample area.
struct SampleAverages {
  zcomplex av_strain;
  zcomplex av_stress;
};

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
void write_pressure_maps(const upscaling::SolutionView& solution, int nx, int ny, double h,
                         const core::Coefficients& coef, PressureMaps maps,
                         core::TextOut& pressure_file, core::TextOut& gradient_file);

// The cell maps a solved test fills.
struct CellMaps {
  ComplexField& strain1;
  ComplexField& strain3;
  ComplexField& stress;
  PressureMaps pressure;
};

// The files a solved test writes: its four result tables, the two pressure
// maps and the six strain and stress maps.
struct TestFiles {
  core::TextOut& analytic_velocity;  // "vp_anal.phiw", "vs_anal.*"
  core::TextOut& fe_velocity;        // "vp_eq.phiw", "vs_eq.*"
  core::TextOut& fe_over_q;          // "1000_over_q_eq.phiw", "1000_over_qs_eq.*"
  core::TextOut& analytic_over_q;    // "1000_over_q_anal.phiw", "1000_over_qs_anal.*"
  core::TextOut& pressure;           // "mod_pressure_p33_ice", "mod_pressure_p55_ice"
  core::TextOut& grad_pressure;      // "mod_grad_pressure_p33_ice", "mod_grad_pressure_p55_ice"
  StrainStressFiles maps;
};

// Strain and stress of every cell, k outer and j inner: `law(u, j, k)` gives
// them from the cell's solution; they are stored, written to the six maps
// and summed.
template <class Law>
StrainStressSums strain_stress_maps(const upscaling::SolutionView& solution, int nx, int ny, CellMaps maps,
                                    StrainStressFiles& files, Law law) {
  StrainStressSums sums{{0, 0}, {0, 0}};
  for (int k = 1; k <= ny; ++k) {
    for (int j = 1; j <= nx; ++j) {
      const CellStrainStress c = law(solution.cell(j, k), j, k);
      maps.strain1(j, k) = c.strain1;
      maps.strain3(j, k) = c.strain3;
      maps.stress(j, k) = c.stress;
      files.write(j, k, c.strain1, c.strain3, c.stress);
      sums.strain += c.strain1;
      sums.stress += c.stress;
    }
  }
  return sums;
}

// Prints " av_strain " and " av_stress " lines of the averages.
void print_averages(core::TextOut& report, const SampleAverages& av);

}  // namespace drivers
