// The periodic tensor of every frequency of a sample by one certified
// reduced sweep of the periodic test (tensor/reduced_sweep.hpp): the six
// components and their partners from the sweep's results b_s^T x_t, each
// with its relative bound (C15 and C35 relative to the largest diagonal
// modulus, as the direct solves report them).
#pragma once

#include <vector>

#include "tensor/periodic_frequency_system.hpp"
#include "tensor/reduced_stiffness.hpp"

namespace tensor {

// `solver` has analysed g.pattern; its factors are replaced.
ReducedStiffness reduced_periodic_stiffness(const Sample& s, const CellLawTerms& terms, const PeriodicGrid& g,
                                            engine::SparseSolver& solver, const std::vector<double>& freqs_hz,
                                            const SweepOptions& o);

// The tensor and its bounds from one point (functional s, load t: b_s^T x_t)
// and the affine energy of its frequency.
void periodic_moduli(const PeriodicGrid& g, const SweepPoint& p, const AffineEnergy& d, Stiffness& c);

}  // namespace tensor
