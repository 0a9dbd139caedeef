// The stiffness of every frequency of a sample by a certified reduced sweep
// of each test (tensor/reduced_sweep.hpp): the moduli from the sweep's
// functionals as the direct solves make them (plate forces over the side,
// the tied modulus of the mean shear strains), each modulus' relative bound
// from the functionals' bounds, the rounding of their sums added.
#pragma once

#include <string>
#include <vector>

#include "tensor/cell_law_terms.hpp"
#include "tensor/reduced_sweep.hpp"
#include "tensor/stiffness.hpp"

namespace tensor {

struct ReducedStiffness {
  std::vector<Stiffness> rows;          // per frequency asked, in order
  std::vector<double> full_solves_hz;   // of both tests, in the order made
  int factorisations = 0;
};

// Why the sweep cannot serve the sample ("" when it can): a part of a
// cell's law that is not positive semidefinite, or more than `max_groups`
// distinct viscous laws (each one a term of the system).
std::string reduced_refusal(const Sample& s, const CellLawTerms& terms, std::size_t max_groups = 16);

// With `shear_solver` (of the same analysis) and both tests, the shear test
// is swept on it beside the biaxial one, on a thread of its own.
ReducedStiffness reduced_stiffness(const Sample& s, const CellLawTerms& terms, const GridSystem& g,
                                   const TestSetup& biaxial, const TestSetup& shear, TestChoice tests,
                                   engine::SparseSolver& solver, const std::vector<double>& freqs_hz,
                                   const SweepOptions& o, engine::SparseSolver* shear_solver = nullptr);

// Rows of no modulus yet (not a number) with the frequencies' resolution
// and no condition estimate (no factorisation at the frequency).
std::vector<Stiffness> unswept_rows(const Sample& s, const std::vector<double>& freqs_hz);

// The moduli and relative bounds of the biaxial and the shear test from
// their points (functionals x loads); bounds in b.
void biaxial_moduli(const GridSystem& g, const SweepPoint& p, Stiffness& c);
void shear_moduli(const GridSystem& g, const SweepPoint& p, Stiffness& c);

}  // namespace tensor
