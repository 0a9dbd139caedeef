// The periodic test's system as a function of the frequency, in the form a
// sweep over frequency needs (tensor/frequency_system.hpp): the parts
// A_static, F and M_g of the torus matrix, the three unit strains' loads
// split the same way, and as functionals the loads themselves, since every
// modulus is C(s, t) = (D(s, t) - b_s^T x_t) / A (tensor/periodic_system.hpp).
// The affine energy D is linear in the cells' law too and is kept per term.
// The held node of solid 1 is the prescribed unknown (value 0).
#pragma once

#include <array>
#include <vector>

#include "tensor/cell_law_terms.hpp"
#include "tensor/frequency_system.hpp"
#include "tensor/periodic_system.hpp"
#include "tensor/sample.hpp"

namespace tensor {

struct PeriodicFrequencySystem {
  FrequencySystem system;  // loads: the strains xx, zz, xz; functional s: b_s
  std::vector<std::array<std::array<double, kStrains>, kStrains>> term_affine;  // D_q(s, t)
};

// `g`, `s` and `terms` must outlive the result.
PeriodicFrequencySystem periodic_frequency_system(const PeriodicGrid& g, const Sample& s, const CellLawTerms& terms);

// D(s, t) at the coefficients theta, and the scale of its rounding,
// sum_q |theta_q| sqrt(D_q(s, s) D_q(t, t)).
struct AffineEnergy {
  std::array<std::array<zcomplex, kStrains>, kStrains> value{};
  std::array<std::array<double, kStrains>, kStrains> magnitude{};
};
AffineEnergy affine_energy(const PeriodicFrequencySystem& p, std::span<const zcomplex> theta);

}  // namespace tensor
