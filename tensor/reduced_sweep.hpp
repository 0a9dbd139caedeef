// A certified reduced-order sweep over frequency.
//
// The test's system is solved in full (factorised) at a few frequencies
// chosen greedily; the real and imaginary parts of those solutions and of
// the adjoint solutions of the result's functionals span a space V; every
// asked frequency is solved in that space by Galerkin projection of the
// parts of A(omega) (V^T A(omega) V y = V^T b). Each frequency is then
// certified on the full system: with the residuals r = b - A x of the
// reduced solution and rho = l - A yhat of the reduced adjoint, a result
// l^T x is off by at most
//
//   |yhat^T r| + gamma_u |yhat|^T (|A||x| + |b|) + sqrt(2)/gamma ||rho||_N^-1 ||r||_N^-1,
//
// where N is the real positive definite energy matrix sum_q |theta_q| A_q
// at a reference frequency and gamma = min_q |theta_q(omega)|/|theta_q(ref)|
// (doc/reduced_sweep.md gives the proof). Full solves are added at the
// frequency of the worst bound until every bound is below the tolerance.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/sparse_solver.hpp"
#include "tensor/frequency_system.hpp"

namespace tensor {

struct SweepOptions {
  double tolerance = 1e-8;  // on the score of every frequency
  int max_full_solves = 0;  // 0: as many as there are frequencies
  std::function<void(const std::string&)> progress;
};

// One frequency's results l_i^T x_j (functionals x loads, row-major).
struct SweepPoint {
  double freq_hz = 0;
  std::vector<zcomplex> value;
  std::vector<double> bound;      // |value - exact| <= bound (the rounding of the sum l^T x aside)
  std::vector<double> magnitude;  // |l_i|^T |x_j|, for the rounding of the sums
  double backward_error = 0;      // componentwise, worst load
};

struct SweepResult {
  std::vector<SweepPoint> points;       // in the order of the frequencies asked
  std::vector<double> full_solves_hz;   // in the order they were made
  int factorisations = 0;               // the full solves and the energy references
};

// The relative bound a point's results carry (compared with the tolerance).
using SweepScore = std::function<double(const SweepPoint&)>;

// `solver` has analysed s.pattern; its factors are replaced.
SweepResult reduced_sweep(const FrequencySystem& s, const std::vector<double>& freqs_hz, engine::SparseSolver& solver,
                          const SweepOptions& o, const SweepScore& score);

// Where a certification pass that left frequencies uncertified solves in
// full next (indices into the sorted frequencies): in every run of
// neighbouring frequencies that failed (scores above the tolerance), the
// unsolved one of the worst score; the worst runs first, at most `room`.
std::vector<std::size_t> next_full_solves(const std::vector<double>& scores, const std::vector<bool>& certified,
                                          const std::vector<bool>& chosen, std::size_t room);

// The bound's factor gamma: N(omega) >= gamma N(reference) for energy
// matrices sum_q |theta_q| A_q of positive semidefinite parts.
double energy_ratio(std::span<const zcomplex> theta, std::span<const zcomplex> theta_reference);

}  // namespace tensor
