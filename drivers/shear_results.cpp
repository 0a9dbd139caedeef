#include "drivers/shear_results.hpp"

#include <cmath>

#include "core/fortran_edit.hpp"
#include "core/report_labels.hpp"
#include "drivers/run_record.hpp"

namespace drivers {

using core::cdiv;
using core::crecip;

namespace {

// Velocity of a shear modulus as the shear programs define it, Re(sqrt(P / rho)).
float shear_velocity(zcomplex modulus, double density) {
  return static_cast<float>(core::csqrt(cdiv(modulus, core::cplx(density))).re);
}

void print_estimate(core::TextOut& report, const ShearEstimate& e, const char* re_label,
                    const char* im_label) {
  report.list(core::labels::kShearVelocity, e.velocity);
  report.list(core::labels::kShearOverQ, e.over_q);
  report.list(core::labels::kShearQ, e.q);
  report.list(re_label, e.modulus.re);
  report.list(im_label, e.modulus.im);
}

}  // namespace

ShearEstimate shear_from_angle(zcomplex ctita, double rob_med) {
  zcomplex cmu = crecip(ctita);
  if (std::abs(cmu.im) <= 1e-14) cmu.im = 0;
  const float q = static_cast<float>(cmu.re / cmu.im);
  return {cmu, shear_velocity(cmu, rob_med), q, 1000.0 / static_cast<double>(q)};
}

ShearEstimate shear_from_averages(zcomplex av_strain, zcomplex av_stress, double rob_med) {
  const zcomplex c13 = cdiv(av_stress, 2.0 * av_strain);
  const float q = static_cast<float>(std::abs(c13.re / c13.im));
  return {c13, shear_velocity(c13, rob_med), q, 1000.0 / static_cast<double>(q)};
}

void shear_results(const upscaling::SolutionView& solution, const ShearInputs& in, CellMaps maps, TestFiles files,
                   core::TextOut& report) {
  const core::Deck& d = in.deck;
  const core::Coefficients& c = in.coef;
  const int nx = d.nx, ny = d.ny;
  const double h = d.h;
  const double height = ny * h;

  // Tangent of the shear angle: the horizontal displacement of solid 1 on
  // the top boundary, averaged over its nx + 1 nodes, over the height.
  using enum fem::Vertex;
  zcomplex ctita = solution.cell(1, ny)(fem::s1x(upper_left)) / height;
  for (int j = 1; j <= nx; ++j) ctita += solution.cell(j, ny)(fem::s1x(upper_right)) / height;
  ctita = ctita / static_cast<double>(nx + 1);
  report.list("tangent angle ctita", ctita);

  const ShearEstimate cmu = shear_from_angle(ctita, in.rob_med);
  print_estimate(report, cmu, core::labels::kCmuRe, core::labels::kCmuIm);

  // Shear strain of both solids and shear stress of every cell.
  const StrainStressSums sums =
      strain_stress_maps(solution, nx, ny, maps, files.maps, [&](const upscaling::CellSolution& u, int j, int k) {
        const zcomplex strain1 = upscaling::shear_strain(u, upscaling::kSolid1, h);
        const zcomplex strain3 = upscaling::shear_strain(u, upscaling::kSolid3, h);
        const zcomplex stress = 2 * c.mu1(j, k) * strain1 + c.mu13(j, k) * strain3;
        return CellStrainStress{strain1, strain3, stress};
      });
  const double sample_area = nx * h * h * ny;
  const SampleAverages av{sums.strain / sample_area, sums.stress / sample_area};
  print_averages(report, av);

  const ShearEstimate c13 = shear_from_averages(av.av_strain, av.av_stress, in.rob_med);
  print_estimate(report, c13, core::labels::kC13Re, core::labels::kC13Im);

  const double phi = in.imposed_water;
  files.analytic_velocity.line(core::g15_5_pair(phi, in.waves.vs1));
  files.fe_velocity.line(core::g15_5_pair(phi, c13.velocity));
  files.fe_over_q.line(core::g15_5_pair(phi, c13.over_q));
  files.analytic_over_q.line(core::g15_5_pair(phi, in.waves.over_qs1));
  run_record::record_results({{"cmu", cmu.modulus}, {"c13", c13.modulus}},
                             {{"vs_cmu", cmu.velocity}, {"q1000_cmu", cmu.over_q}, {"vs_fe", c13.velocity},
                              {"q1000_fe", c13.over_q}, {"vs_anal", in.waves.vs1},
                              {"q1000_anal", in.waves.over_qs1}, {"rob_med", in.rob_med}, {"phiw", phi}});

  write_pressure_maps(solution, nx, ny, h, c, maps.pressure, files.pressure, files.grad_pressure);
}

}  // namespace drivers
