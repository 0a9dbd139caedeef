// The spectrum of a sample computed for a caller that is not the program:
// the stiffness, the waves and the error bars per frequency, as the rows of
// "tensor.csv", with progress and cancellation through callbacks and no
// output but what the caller asks for.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/sparse_solver.hpp"
#include "tensor/sample.hpp"
#include "tensor/spectrum_rows.hpp"
#include "tensor/stiffness.hpp"
#include "tensor/tensor_row.hpp"

namespace upscale_py {

struct SpectrumRequest {
  std::vector<double> frequencies;  // Hz, each checked
  tensor::LameRelations lame = tensor::LameRelations::two_d;
  tensor::TestChoice tests;
  int threads = 0;                  // 0: every core
  bool estimate_error = false;      // Richardson columns from the grid refined by 2
  std::vector<double> angles;       // degrees from the vertical: vp_A, q1000_p_A, vsv_A, q1000_sv_A columns
  // automatic: the reduced sweep from tensor::kReducedFromFrequencies frequencies, as the program
  tensor::FrequencyMethod frequency_method = tensor::FrequencyMethod::automatic;
  double reduced_tolerance = 1e-8;  // relative bound of every frequency of a reduced sweep
};

// One step of the work: `done` factorisations of `total` are finished, the
// next is `test` at `freq_hz`.
struct Step {
  std::size_t done = 0, total = 0, frequency_index = 0, frequencies = 0;
  double freq_hz = 0;
  const char* test = "";
};

struct SpectrumCallbacks {
  std::function<void(const Step&)> step;  // before every factorisation
  std::function<void()> poll;             // between fronts; may throw to stop
  std::function<void(const std::string&)> warning;  // a grid that does not resolve the diffusion
};

struct Spectrum {
  std::vector<tensor::TensorRow> rows;           // as written to "tensor.csv"
  std::vector<tensor::Stiffness> stiffness;      // per frequency, with the bounds
  double rho = 0;                                // kg/m3
  engine::Statistics statistics;                 // of the sample's grid (not the refined one)
  tensor::FrequencyPlan plan;                    // how the frequencies were solved
};

// A modulus without a certain digit (relative bound above 1e-3) at some
// frequency: the rows so far, that frequency's included, and the sentence.
class NoCertainDigit : public std::runtime_error {
 public:
  NoCertainDigit(const std::string& what, Spectrum partial) : std::runtime_error(what), spectrum(std::move(partial)) {}
  Spectrum spectrum;
};

// Why the request cannot be computed ("" when it can): the frequencies, the
// thread count, the angles, the reduced sweep's tolerance.
std::string request_refusal(const SpectrumRequest& r);

// Computes every frequency of the request on `sample` (whose own
// frequencies and Lame relations are replaced by the request's). Throws
// std::invalid_argument for a request or sample refused, NoCertainDigit,
// and whatever a callback throws.
Spectrum compute_spectrum(const tensor::Sample& sample, const SpectrumRequest& request,
                          const SpectrumCallbacks& callbacks);

}  // namespace upscale_py
