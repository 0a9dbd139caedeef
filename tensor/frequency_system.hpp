// A test's finite-element system as a function of the frequency, in the
// form a sweep over frequency needs, whatever the test and its boundary:
//
//   A(omega) = sum_q theta_q(omega) A_q,   b(omega) = sum_q theta_q(omega) b_q,
//
// with real symmetric parts A_q (values in the pattern's order, the lower
// triangle) and right-hand sides b_q (n x loads, column-major), scalar
// coefficients theta_q that are either real and >= 0 or i times a real
// >= 0, and every A_q positive semidefinite; the exact matrix of the
// frequency as the direct solves factorise it; and the linear functionals
// whose values make the test's result (plate forces, mean strains).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/complex.hpp"
#include "engine/sparse_solver.hpp"

namespace tensor {

using core::zcomplex;

struct FrequencySystem {
  const engine::Pattern* pattern = nullptr;
  int64_t n = 0;
  int loads = 0, functionals = 0;
  std::vector<std::vector<double>> term_values, term_rhs;
  // theta_q at angular frequency omega, one per term.
  std::function<std::vector<zcomplex>(double omega)> coefficients;
  // The exact matrix values and right-hand sides at omega (prescribed
  // unknowns keep their diagonal and a zero right-hand side).
  std::function<void(double omega, std::vector<zcomplex>& values, std::vector<zcomplex>& rhs)> assemble;
  // The functionals' parts over every unknown, [term][functional] (n
  // entries, or empty for none): at omega, l_i = sum_q theta_q l_qi, and
  // result i of load j is l_i^T x_j with x_j the solution with its
  // prescribed values.
  std::vector<std::vector<std::vector<double>>> term_functionals;
  // Per unknown: free (1) or prescribed (0); the prescribed values of each load (n x loads).
  std::vector<uint8_t> free;
  std::vector<double> prescribed;
};

// The functionals at the coefficients theta (functionals x n).
std::vector<std::vector<zcomplex>> functionals_at(const FrequencySystem& s, std::span<const zcomplex> theta);

}  // namespace tensor
