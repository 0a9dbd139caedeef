#include "python/spectrum.hpp"

#include <cmath>
#include <memory>

#include "python/engine_turns.hpp"
#include "python/sample_build.hpp"
#include "engine/analysis.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/error_grids.hpp"
#include "tensor/geometry_resolution.hpp"
#include "tensor/richardson.hpp"
#include "tensor/frequency_scale.hpp"
#include "tensor/run.hpp"
#include "tensor/tensor_row.hpp"
#include "tensor/stiffness_accuracy.hpp"

namespace upscale_py {

namespace {

std::size_t factorisations_per_frequency(const SpectrumRequest& r) {
  const std::size_t tests =
      r.tests.boundary == tensor::Boundary::periodic ? 1 : (r.tests.biaxial ? 1 : 0) + (r.tests.shear ? 1 : 0);
  return tests * (r.estimate_error ? 3 : 1);
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
  auto make = [&callbacks, &eo, &request](const tensor::Sample& x) {
    return std::make_unique<tensor::StiffnessComputation>(
        x, taking_turns(engine::make_solver(engine::Backend::own), callbacks.poll), eo, request.tests);
  };
  std::unique_ptr<tensor::StiffnessComputation> comp = make(s);
  comp->on_factorise = on_factorise;
  const tensor::GeometryResolution geometry = tensor::geometry_resolution(s);
  tensor::ErrorGrids grids;
  if (request.estimate_error) {
    grids = tensor::error_grids(s, comp->solver().memory_needed(), engine::detail::available_memory(), make);
    for (auto& other : grids.other)
      if (other) other->on_factorise = on_factorise;
  }
  std::vector<tensor::TensorRow> grid_rows[3];
  std::vector<tensor::FrequencyResolution> resolution;
  out.rho = tensor::mean_density(s);
  auto finish = [&] {
    if (request.estimate_error) {
      const std::string outside = tensor::add_error_columns(out.rows, grid_rows, grids.target);
      if (!outside.empty() && callbacks.warning)
        callbacks.warning("the three grids are not in the asymptotic range (orders that exceed 2, disagree or do "
                          "not fall) for " + outside + "; their errors are the safe value");
    }
    if (const std::string w = tensor::resolution_summary(geometry, resolution); !w.empty() && callbacks.warning)
      callbacks.warning(w);
    out.statistics = comp->solver().statistics();
  };
  for (std::size_t i = 0; i < s.frequencies.size(); ++i) {
    const double f = s.frequencies[i];
    step.frequency_index = i, step.freq_hz = f;
    const tensor::Stiffness c = comp->at(f);
    tensor::TensorRow row = tensor::tensor_row(f, c, out.rho, request.angles);
    for (int g = 0; request.estimate_error && g < 3; ++g)
      grid_rows[g].push_back(g == grids.target ? row
                                               : tensor::tensor_row(f, grids.other[g]->at(f),
                                                                    tensor::mean_density(*grids.samples[g]),
                                                                    request.angles));
    tensor::add_accuracy_columns(row, c.bounds);
    resolution.push_back({f, c.bounds.cells_per_diffusion_length,
                          tensor::expected_q1000_error(geometry, c.bounds.cells_per_diffusion_length)});
    const tensor::Column mine[2] = {{"cells_per_feature", "1", geometry.cells_per_feature},
                                    {"expected_error_q1000", "1", resolution.back().expected_error}};
    row.extra.insert(row.extra.begin() + 3, std::begin(mine), std::end(mine));
    out.rows.push_back(std::move(row));
    out.stiffness.push_back(c);
    if (const std::string stop = tensor::no_certain_digit(c.bounds, f); !stop.empty()) {
      finish();
      throw NoCertainDigit(stop, std::move(out));
    }
  }
  finish();
  return out;

}

}  // namespace upscale_py
