#include "python/spectrum.hpp"

#include <cmath>
#include <memory>

#include "python/engine_turns.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/frequency_scale.hpp"
#include "tensor/run.hpp"
#include "tensor/stiffness_accuracy.hpp"

namespace upscale_py {

namespace {

std::string shown(double v) {
  char s[40];
  std::snprintf(s, sizeof s, "%.10g", v);
  return s;
}

std::size_t factorisations_per_frequency(const SpectrumRequest& r) {
  const std::size_t tests = (r.tests.biaxial ? 1 : 0) + (r.tests.shear ? 1 : 0);
  return tests * (r.estimate_error ? 2 : 1);
}

}  // namespace

std::string request_refusal(const SpectrumRequest& r) {
  if (r.frequencies.empty()) return "no frequency given; expected at least one (Hz)";
  if (static_cast<int64_t>(r.frequencies.size()) > tensor::kMaxFrequencies)
    return "more frequencies than " + std::to_string(tensor::kMaxFrequencies);
  for (const double f : r.frequencies)
    if (std::string why = tensor::frequency_refusal(f); !why.empty()) return "frequency " + shown(f) + " " + why;
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
  step.total = step.frequencies * factorisations_per_frequency(request);
  auto on_factorise = [&callbacks, &step](const char* test) {
    step.test = test;
    if (callbacks.step) callbacks.step(step);
    if (callbacks.poll) callbacks.poll();
    ++step.done;
  };
  Spectrum out;
  tensor::StiffnessComputation comp(s, taking_turns(engine::make_solver(engine::Backend::own), callbacks.poll), eo, request.tests);
  comp.on_factorise = on_factorise;
  std::unique_ptr<tensor::Sample> fine_sample;
  std::unique_ptr<tensor::StiffnessComputation> fine;
  if (request.estimate_error) {
    fine_sample = std::make_unique<tensor::Sample>(tensor::refined(s));
    fine = std::make_unique<tensor::StiffnessComputation>(*fine_sample, taking_turns(engine::make_solver(engine::Backend::own), callbacks.poll),
                                                          eo, request.tests);
    fine->on_factorise = on_factorise;
  }
  out.rho = tensor::mean_density(s);
  for (std::size_t i = 0; i < s.frequencies.size(); ++i) {
    const double f = s.frequencies[i];
    step.frequency_index = i, step.freq_hz = f;
    const tensor::Stiffness c = comp.at(f);
    tensor::TensorRow row = tensor::tensor_row(f, c, out.rho, request.angles);
    tensor::add_accuracy_columns(row, c.bounds);
    if (fine) tensor::add_error_columns(row, c, fine->at(f));
    out.rows.push_back(std::move(row));
    out.stiffness.push_back(c);
    if (const std::string w = tensor::resolution_warning(c.bounds, f); !w.empty() && callbacks.warning)
      callbacks.warning(w);
    if (const std::string stop = tensor::no_certain_digit(c.bounds, f); !stop.empty()) {
      out.statistics = comp.solver().statistics();
      throw NoCertainDigit(stop, std::move(out));
    }
  }
  out.statistics = comp.solver().statistics();
  return out;
}

}  // namespace upscale_py
