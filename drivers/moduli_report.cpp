#include "drivers/moduli_report.hpp"

#include <string>

#include "core/report_labels.hpp"
#include "drivers/run_record.hpp"
#include "upscaling/modulus_wave.hpp"

namespace drivers {

void report_tied_and_work(core::TextOut& report, const upscaling::TiedWorkModuli& m, double rob_med) {
  namespace l = core::labels;
  // + 0.0: an exactly real modulus has 1000/Q = 0, not -0.
  const auto over_q = [](core::zcomplex p) { return 1000.0 / upscaling::modulus_q(p) + 0.0; };
  const double v_mt = upscaling::modulus_velocity(m.tied, rob_med), v_mw = upscaling::modulus_velocity(m.work, rob_med);
  report.blank();
  report.list(l::kTiedModulus, m.tied.re, m.tied.im);
  report.list(l::kTiedVelocity, v_mt);
  report.list(l::kTiedOverQ, over_q(m.tied));
  report.list(l::kWorkModulus, m.work.re, m.work.im);
  report.list(l::kWorkVelocity, v_mw);
  report.list(l::kWorkOverQ, over_q(m.work));
  run_record::record_results({{"mt", m.tied}, {"mw", m.work}}, {{"v_mt", v_mt}, {"q1000_mt", over_q(m.tied)},
                                                                {"v_mw", v_mw}, {"q1000_mw", over_q(m.work)}});
}

void report_accuracy(core::TextOut& report, const upscaling::RunAccuracy& a) {
  namespace l = core::labels;
  report.list(l::kBackwardError, a.backward_error);
  report.list(l::kConditionEstimate, a.condition);
  report.list(l::kForwardErrorBound, a.forward_error_bound);
  report.list(l::kCellsPerDiffusionLength, a.cells_per_diffusion_length);
  run_record::result("backward_error", a.backward_error);
  run_record::result("condition_estimate", a.condition);
  run_record::result("forward_error_bound", a.forward_error_bound);
  run_record::result("forward_error_solution", a.forward_error_solution);
  for (const upscaling::ModulusBound& m : a.moduli) run_record::result(std::string("forward_error_") + m.name, m.relative);
  run_record::result("cells_per_diffusion_length", a.cells_per_diffusion_length);
}

}  // namespace drivers
