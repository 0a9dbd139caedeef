// The frequency-dependent system of the biaxial and the shear test of a
// sample (tensor/grid_system.hpp) in the sweep's form
// (tensor/frequency_system.hpp), from the split law of its cells
// (tensor/cell_law_terms.hpp): terms A_static (theta 1), F (theta i omega)
// and one M_g per viscous group (theta muav_g(omega)).
#pragma once

#include "tensor/cell_law_terms.hpp"
#include "tensor/frequency_system.hpp"
#include "tensor/grid_system.hpp"
#include "tensor/sample.hpp"

namespace tensor {

// The part of the cells' law that term q of a test's system holds, and the
// frequency it is assembled at (1 for the friction, whose matrix is then
// i F, read as its imaginary part): A_static, F, one M_g per viscous group.
struct TermCells {
  std::vector<core::CellCoefficients> cells;
  double omega;
  bool imaginary;
};
std::vector<TermCells> term_cells(const CellLawTerms& t);
// The terms' coefficients theta_q(omega): 1, i omega, muav_g(omega).
std::vector<zcomplex> term_coefficients(const Sample& s, const CellLawTerms& terms, double omega);
// The real (or the imaginary) parts of an assembled term.
std::vector<double> term_part(const std::vector<zcomplex>& v, bool imaginary);

enum class TestKindOf { biaxial, shear };

// The system of test `which`; `g`, `test`, `s` and `terms` must outlive it.
// Functionals: biaxial, the right and the top plate's force; shear, the mean
// engineering shear strain of solid 1 and of solid 3. Of a band of cell
// rows, every part is the band's share (the shares of a job's bands add up
// to the whole system; the mean strains are held by the band of row 1).
FrequencySystem test_system(const GridSystem& g, const TestSetup& test, TestKindOf which, const Sample& s,
                            const CellLawTerms& terms);

// Whether the cells' parts are positive semidefinite, as the sweep's bound
// needs (the name of the first cell that is not, or "").
std::string semidefinite_refusal(const Sample& s, const CellLawTerms& terms);

}  // namespace tensor
