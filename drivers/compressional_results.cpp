#include "drivers/compressional_results.hpp"

#include "core/fortran_edit.hpp"
#include "core/report_labels.hpp"
#include "drivers/run_record.hpp"

namespace drivers {

using core::cdiv;
using run_record::record_results;
using core::crecip;

namespace {

// The modulus of a boundary displacement: -1 / (deltavol / area).
zcomplex modulus_from_volume_change(zcomplex deltavol, double area) {
  return -crecip(cdiv(deltavol, core::cplx(area)));
}

// Volume change of the top boundary for each solid: the vertical
// displacement of the upper-right corner of every top cell times its width.
struct VolumeChanges {
  zcomplex solid1, solid3;
};

VolumeChanges volume_changes(const upscaling::SolutionView& solution, int nx, int ny, double h, double s1, double s3,
                             core::TextOut& report) {
  zcomplex deltavol1{0, 0}, deltavol3{0, 0};
  for (int j = 1; j <= nx; ++j) {
    const upscaling::CellSolution u = solution.cell(j, ny);
    using enum fem::Vertex;
    deltavol1 += h * u(fem::s1y(upper_right));
    deltavol3 += h * u(fem::s3y(upper_right));
  }
  report.blank();
  report.list("deltavol1=", deltavol1.re, deltavol1.im);
  report.blank();
  report.blank();
  report.list("deltavol3=", deltavol3.re, deltavol3.im);
  report.blank();
  report.list("s1, s3 ", s1, s3);
  report.blank();
  report.blank();
  const zcomplex deltavol = s1 * deltavol1 + s3 * deltavol3;
  report.list("deltavol=", deltavol.re, deltavol.im);
  return {deltavol1, deltavol3};
}

}  // namespace

void compressional_results(const upscaling::SolutionView& solution, const CompressionalInputs& in,
                           CellMaps maps, TestFiles files,
                           core::TextOut& report) {
  const core::Deck& d = in.deck;
  const core::Coefficients& c = in.coef;
  const int nx = d.nx, ny = d.ny;
  const double h = d.h;
  const double area = nx * d.domain_size * h;

  report.list(" h ", h);
  const VolumeChanges dv = volume_changes(solution, nx, ny, h, in.s1, in.s3, report);

  const zcomplex mstar = modulus_from_volume_change(dv.solid1, area);
  const double q_mstar = upscaling::modulus_q(mstar);
  report.list(core::labels::kMstarVelocity, upscaling::modulus_velocity(mstar, in.rob_med));
  report.list(core::labels::kMstarOverQ, 1000.0 / q_mstar);
  report.list(core::labels::kMstarQ, q_mstar);
  report.list(core::labels::kMstarRe, mstar.re);
  report.list(core::labels::kMstarIm, mstar.im);
  report.blank();

  // Vertical strain of both solids and vertical stress of every cell.
  const StrainStressSums sums =
      strain_stress_maps(solution, nx, ny, maps, files.maps, [&](const upscaling::CellSolution& u, int j, int k) {
        const zcomplex strain1 = upscaling::vertical_strain(u, upscaling::kSolid1, h);
        const zcomplex strain3 = upscaling::vertical_strain(u, upscaling::kSolid3, h);
        const zcomplex zeta = upscaling::fluid_divergence(u, h);
        const zcomplex stress =
            (c.lambda1(j, k) + 2 * c.mu1(j, k)) * strain1 + c.d3(j, k) * zeta + c.mu13(j, k) * strain3;
        return CellStrainStress{strain1, strain3, stress};
      });
  const double sample_area = ny * h * h * nx;
  const SampleAverages av{sums.strain / sample_area, sums.stress / sample_area};
  print_averages(report, av);

  const zcomplex c33 = cdiv(av.av_stress, av.av_strain);
  const double q_c33 = upscaling::modulus_q(c33);
  const double v_c33 = upscaling::modulus_velocity(c33, in.rob_med);
  // The label has its own leading blank, like every other label.
  const char* const stars = " ****************************************";
  report.list(stars);
  report.blank();
  report.list(core::labels::kC33Velocity, v_c33);
  report.list(core::labels::kC33OverQ, 1000.0 / q_c33);
  report.list(core::labels::kC33Q, q_c33);
  report.list(core::labels::kC33Re, c33.re);
  report.list(core::labels::kC33Im, c33.im);
  report.blank();
  report.list(stars);

  files.analytic_velocity.list(d.phi_layer1(1), in.waves.vp1);
  files.fe_velocity.line(core::g15_5_pair(d.phi_layer1(1), v_c33));
  files.fe_over_q.line(core::g15_5_pair(d.phi_layer1(1), 1000.0 / q_c33));
  files.analytic_over_q.line(core::g15_5_pair(d.freq, in.waves.over_qp1));
  record_results({{"mstar", mstar}, {"c33", c33}}, {{"vp_mstar", upscaling::modulus_velocity(mstar, in.rob_med)},
                  {"q1000_mstar", 1000.0 / q_mstar}, {"vp_fe", v_c33}, {"q1000_fe", 1000.0 / q_c33},
                  {"vp_anal", in.waves.vp1}, {"q1000_anal", in.waves.over_qp1}, {"rob_med", in.rob_med}});

  // Modulus of the top displacement of solid 3.
  const zcomplex p3 = modulus_from_volume_change(dv.solid3, area);
  const double q3 = upscaling::modulus_q(p3);

  write_pressure_maps(solution, nx, ny, h, c, maps.pressure, files.pressure, files.grad_pressure);

  core::TextOut fort54(core::labels::kSolid3QFile);
  fort54.line(core::g15_5_pair(in.step_frequency, q3));
  fort54.close();
  core::TextOut fort18(core::labels::kSolid3ModulusFile);
  fort18.list(in.step_frequency, p3.re, p3.im);
  fort18.close();
}

}  // namespace drivers
