// The rows of a spectrum: every frequency of a sample turned into its row of
// "tensor.csv" (the tensor, the waves, the accuracy and resolution columns,
// with the Richardson columns of three grids when asked), either by a direct
// factorisation per frequency or by the reduced sweep of a few
// factorisations and a certified reduced system. The program and the Python
// module both compute their rows here.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tensor/error_grids.hpp"
#include "tensor/options.hpp"
#include "tensor/sample.hpp"
#include "tensor/stiffness.hpp"
#include "tensor/tensor_row.hpp"

namespace tensor {

// From this many frequencies the automatic method sweeps them by a reduced system.
inline constexpr std::size_t kReducedFromFrequencies = 8;

struct RowsRequest {
  std::vector<double> angles;  // degrees from the vertical: vp_A, q1000_p_A, vsv_A, q1000_sv_A columns
  bool estimate_error = false; // Richardson columns from the three grids of `grids`
  FrequencyMethod method = FrequencyMethod::automatic;
  double reduced_tolerance = 1e-8;  // relative bound of every frequency of a reduced sweep
};

// How the frequencies were solved, known before the first row.
struct FrequencyPlan {
  std::string method = "direct";          // "direct" or "reduced"
  long long full_factorisations = 0;      // of the tests' matrices on the sample's grid
  std::vector<double> factorisation_frequencies;  // Hz, in the order made (reduced sweep)
};

struct RowsHooks {
  // Before the first solve (every frequency direct) and again when a reduced sweep has replaced that plan.
  std::function<void(const FrequencyPlan&)> planned;
  // Before a direct factorisation of frequency i on the sample's grid.
  std::function<void(std::size_t i, double freq_hz, const char* test)> factorise;
  // Before a factorisation on another grid of the error estimate.
  std::function<void(const Sample& grid, double freq_hz, const char* test)> factorise_grid;
  std::function<void(const std::string&)> say;     // progress of the reduced sweep
  std::function<void(const std::string&)> notice;  // a reduced sweep asked for and not possible
  std::function<void(const Stiffness&)> solved;    // each frequency's stiffness, in order
};

// What the caller reports after the rows.
struct RowsEnd {
  std::string no_certain_digit;  // the sentence; the rows end at its frequency (inclusive)
  std::string outside_asymptotic;  // frequencies whose three grids are not in the asymptotic range
  std::string unresolved;          // the summary of frequencies the grid does not resolve, "" when all are
};

// Fills `rows` (emptied first) with one row per frequency of `s`; the rows
// made before an exception stay with the caller. `grids` holds the other
// two grids when r.estimate_error.
RowsEnd spectrum_rows(const Sample& s, const TestChoice& choice, StiffnessComputation& comp, ErrorGrids& grids,
                      const RowsRequest& r, const RowsHooks& hooks, std::vector<TensorRow>& rows);

}  // namespace tensor
