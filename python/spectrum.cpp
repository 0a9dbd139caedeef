#include "python/spectrum.hpp"

#include <cmath>
#include <memory>

#include "python/engine_turns.hpp"
#include "python/sample_build.hpp"
#include "engine/analysis.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/error_grids.hpp"
#include "tensor/frequency_scale.hpp"
#include "tensor/spectrum_rows.hpp"

namespace upscale_py {

namespace {

std::size_t tests_per_frequency(const SpectrumRequest& r) {
  return r.tests.boundary == tensor::Boundary::periodic ? 1 : (r.tests.biaxial ? 1 : 0) + (r.tests.shear ? 1 : 0);
}

tensor::RowsRequest rows_request(const SpectrumRequest& r) {
  tensor::RowsRequest out;
  out.angles = r.angles;
  out.estimate_error = r.estimate_error;
  out.method = r.frequency_method;
  out.reduced_tolerance = r.reduced_tolerance;
  return out;
}

}  // namespace

std::string request_refusal(const SpectrumRequest& r) {
  if (r.frequencies.empty()) return "no frequency given; expected at least one (Hz)";
  if (static_cast<int64_t>(r.frequencies.size()) > tensor::kMaxFrequencies)
    return "more frequencies than " + std::to_string(tensor::kMaxFrequencies);
  for (const double f : r.frequencies)
    if (std::string why = tensor::frequency_refusal(f); !why.empty()) return "frequency " + shown(f) + " " + why;
  if (!(r.reduced_tolerance >= tensor::kLeastReducedTolerance && r.reduced_tolerance <= tensor::kMostReducedTolerance))
    return "reduced_tolerance = " + shown(r.reduced_tolerance) + "; expected a relative tolerance from " +
           shown(tensor::kLeastReducedTolerance) + " to " + shown(tensor::kMostReducedTolerance);
  if (r.threads < 0) return "threads = " + std::to_string(r.threads) + "; expected a positive count, or None for every core";
  if (!r.tests.biaxial && !r.tests.shear) return "no test chosen";
  for (const double a : r.angles)
    if (!std::isfinite(a)) return "angle " + shown(a) + " is not a finite number of degrees";
  return "";
}

Spectrum compute_spectrum(const tensor::Sample& sample, const SpectrumRequest& request,
                          const SpectrumCallbacks& callbacks) {
  if (const std::string why = request_refusal(request); !why.empty()) throw std::invalid_argument(why);
  tensor::Sample s = sample;
  s.frequencies = request.frequencies;
  s.lame = request.lame;
  tensor::check_sample(s);
  engine::Options eo;
  eo.threads = request.threads;
  if (callbacks.poll) eo.progress = [&callbacks](double) { callbacks.poll(); };
  Step step;
  step.frequencies = s.frequencies.size();
  step.total = step.frequencies * tests_per_frequency(request) * (request.estimate_error ? 3 : 1);
  auto on_factorise = [&callbacks, &step](const char* test) {
    step.test = test;
    if (callbacks.step) callbacks.step(step);
    if (callbacks.poll) callbacks.poll();
    ++step.done;
  };
  Spectrum out;
  auto make = [&callbacks, &eo, &request](const tensor::Sample& x) {
    return std::make_unique<tensor::StiffnessComputation>(
        x, taking_turns(engine::make_solver(engine::Backend::own), callbacks.poll), eo, request.tests);
  };
  std::unique_ptr<tensor::StiffnessComputation> comp = make(s);
  tensor::ErrorGrids grids;
  if (request.estimate_error)
    grids = tensor::error_grids(s, comp->solver().memory_needed(), engine::detail::available_memory(), make);
  tensor::RowsHooks hooks;
  hooks.planned = [&out, &step, &request](const tensor::FrequencyPlan& p) {
    out.plan = p;
    // The reduced sweep's own factorisations are not steps: the steps left
    // are those of the error estimate's two other grids.
    if (p.method == "reduced")
      step.total = request.estimate_error ? 2 * step.frequencies * tests_per_frequency(request) : 0;
  };
  hooks.factorise = [&step, &on_factorise](std::size_t i, double f, const char* test) {
    step.frequency_index = i, step.freq_hz = f;
    on_factorise(test);
  };
  hooks.factorise_grid = [&on_factorise](const tensor::Sample&, double, const char* test) { on_factorise(test); };
  hooks.solved = [&out](const tensor::Stiffness& c) { out.stiffness.push_back(c); };
  out.rho = tensor::mean_density(s);
  const tensor::RowsEnd end = tensor::spectrum_rows(s, request.tests, *comp, grids, rows_request(request), hooks, out.rows);
  if (!end.outside_asymptotic.empty() && callbacks.warning)
    callbacks.warning("the three grids are not in the asymptotic range (orders that exceed 2, disagree or do "
                      "not fall) for " + end.outside_asymptotic + "; their errors are the safe value");
  if (!end.unresolved.empty() && callbacks.warning) callbacks.warning(end.unresolved);
  out.statistics = comp->solver().statistics();
  if (!end.no_certain_digit.empty()) throw NoCertainDigit(end.no_certain_digit, std::move(out));
  return out;
}

}  // namespace upscale_py
