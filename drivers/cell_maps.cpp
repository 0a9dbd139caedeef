#include "drivers/cell_maps.hpp"

#include <cmath>

namespace drivers {

void StrainStressFiles::write(int j, int k, zcomplex strain1, zcomplex strain3, zcomplex stress) {
  real_strain1.list(j, k, strain1.re);
  imag_strain1.list(j, k, strain1.im);
  real_strain3.list(j, k, strain3.re);
  imag_strain3.list(j, k, strain3.im);
  real_stress.list(j, k, stress.re);
  imag_stress.list(j, k, stress.im);
}

void write_pressure_maps(const upscaling::SolutionView& solution, int nx, int ny, double h,
                         const core::Coefficients& coef, PressureMaps maps,
                         core::TextOut& pressure_file, core::TextOut& gradient_file) {
  for (int k = 1; k <= ny; ++k) {
    for (int j = 1; j <= nx; ++j) {
      const upscaling::CellSolution u = solution.cell(j, k);
      const zcomplex theta1 = upscaling::solid_divergence(u, upscaling::kSolid1, h);
      const zcomplex theta3 = upscaling::solid_divergence(u, upscaling::kSolid3, h);
      const zcomplex zeta = upscaling::fluid_divergence(u, h);
      const zcomplex p = upscaling::fluid_pressure(coef.b1(j, k), coef.b2(j, k), coef.m(j, k), theta1, theta3, zeta);
      maps.pres(j, k) = p;
      pressure_file.list(j, k, core::cabs(p));
      if (j >= 2 && j <= nx - 1 && k >= 2 && k <= ny - 1) {
        const zcomplex dx = (p - maps.pres(j - 1, k)) / h;
        const zcomplex dy = (p - maps.pres(j, k - 1)) / h;
        maps.derx_pres(j, k) = dx;
        maps.dery_pres(j, k) = dy;
        const double g = std::hypot(core::cabs(dx), core::cabs(dy));
        maps.grad_pres_mod(j, k) = g;
        gradient_file.list(j - 1, k - 1, g);
      }
    }
  }
}

void print_averages(core::TextOut& report, const SampleAverages& av) {
  report.list(" av_strain ", av.av_strain.re, av.av_strain.im);
  report.blank();
  report.list(" av_stress ", av.av_stress.re, av.av_stress.im);
}

}  // namespace drivers
