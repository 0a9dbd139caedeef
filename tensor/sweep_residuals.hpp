// The residuals of a reduced solution at one frequency on the full system,
// all loads and adjoints in one pass over the matrix: r_j = b_j - A x_j and
// rho_i = l_i - A yhat_i on the free unknowns, with the magnitudes their
// rounding is bounded by (|re| + |im| for the modulus: never below it).
#pragma once

#include <span>
#include <vector>

#include "tensor/reduced_basis.hpp"

namespace tensor {

struct SweepResiduals {
  std::vector<zcomplex> r;     // n x (loads + functionals): the loads' residuals, then the adjoints'
  std::vector<double> scale;   // n x loads: |A| |x_j| + |b_j| (zero on prescribed unknowns)
  double backward_error = 0;   // max over free unknowns and loads of |r| / scale
};

// x: n x loads (free part), yhat: n x functionals, l: the functionals; a, b
// the assembled matrix and right-hand sides of the frequency. In a job of
// several ranks (collective) a is each rank's band's share, x and yhat are
// whole on every rank, b and l whole on rank 0, which alone gets the result.
SweepResiduals sweep_residuals(const FrequencySystem& s, std::span<const zcomplex> a, std::span<const zcomplex> b,
                               std::span<const zcomplex> x, std::span<const zcomplex> yhat,
                               const std::vector<std::vector<zcomplex>>& l);

}  // namespace tensor
