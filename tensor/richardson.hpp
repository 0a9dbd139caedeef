// Discretisation error of what a run reports, from the same sample on three
// grids whose cell sides halve (pixel replication): the observed order of
// each quantity and the Richardson estimate of its error, or a larger, safe
// value where the three grids are not in the asymptotic range.
#pragma once

#include <limits>
#include <string>
#include <vector>

#include "tensor/tensor_row.hpp"

namespace tensor {

// The estimate of one quantity for the grid at position `target` (0 the
// coarsest, 2 the finest) of three values a (h), b (h/2), c (h/4).
struct ErrorEstimate {
  double error = 0;       // absolute, in the quantity's unit
  double order = 0;       // observed, log2(|a - b| / |b - c|); NaN where not measurable
  bool asymptotic = true;  // false: the fallback value
};

// d1 = |a - b|, d2 = |b - c|, d = |a - c|, scale |a|; `partner_order` the
// observed order of the quantity that must agree (NaN: none). Differences
// below kConvergedRelative of the scale count as converged.
ErrorEstimate three_grid_estimate(double d1, double d2, double d, double scale, int target,
                                  double partner_order = std::numeric_limits<double>::quiet_NaN());

inline constexpr double kConvergedRelative = 1e-9;
// The Richardson estimate times this (as the grid convergence index of
// three-grid studies does): the extrapolation is an estimate, not a bound,
// and the observed order carries the errors of the grids it comes from.
inline constexpr double kSafetyFactor = 1.25;
// Orders of two parts of one quantity that differ by more than this disagree.
inline constexpr double kOrderDisagreement = 0.5;

// The error columns of the rows of the run's grid from the rows of the three
// grids (the same frequencies): "err_" per tensor component and per
// velocity and 1000/Q (the angles' too), then "order_" of each, then
// "err_fallbacks", the number of quantities of the row outside the
// asymptotic range. Returns the sentence naming those quantities and their
// frequencies, empty when every one is in the range.
std::string add_error_columns(std::vector<TensorRow>& rows, const std::vector<TensorRow> grids[3], int target);

}  // namespace tensor
