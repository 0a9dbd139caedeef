// The effective stiffness of a sample at a frequency from two numerical
// tests on one factorisation each, sharing one analysis of the pattern.
//
// Biaxial relaxation test (biaxial_test): the right and top plates moved
// in turn give unit mean strains eps_xx and eps_zz; the total force on each
// plate over the side it acts on is the mean stress, so the two loads give
// the columns (C11, C31) and (C13, C33) of mean stress = C : mean strain.
// Shear test (shear_test): the tractions on solid 1 and on solid 3 give the
// compliance G(i, j) of the two solids' mean engineering shear strains, and
// C55 is the tied modulus e^T G^-1 e, e = (1, 1).
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/sparse_solver.hpp"
#include "tensor/grid_system.hpp"
#include "tensor/periodic_system.hpp"
#include "tensor/sample.hpp"
#include "tensor/stiffness_accuracy.hpp"

namespace tensor {

// Moduli of a test that is not run are NaN; so are c15, c35, c51, c53
// under sealed boundaries, whose tests do not measure them.
struct Stiffness {
  zcomplex c11{}, c13{}, c31{}, c33{}, c55{};
  double backward_error = 0;  // worst over the solves
  StiffnessBounds bounds;     // error bounds and resolution
  zcomplex c15 = TensorRow::kAbsent, c35 = TensorRow::kAbsent, c51 = TensorRow::kAbsent, c53 = TensorRow::kAbsent;
};

// Which tests a run performs.
// Under periodic boundaries one test gives the whole tensor and `biaxial`
// and `shear` only choose what is reported. The library's default is the
// sealed specimen; tensor_upscale's is periodic.
struct TestChoice {
  bool biaxial = true, shear = true;
  Boundary boundary = Boundary::sealed;
  // Sealed, one rank, a solver that takes its own layout (the own engine):
  // the grid's pattern is built in that layout and shared with the solver,
  // and each test's values become the solver's (no second copy). The
  // coordinate pattern is then absent: no reduced sweep can use the grid.
  // In a job of several ranks: the band's pattern drops its rows after the
  // analysis (the distributed backend keeps its own copy).
  bool lean = false;
};

// The solved tests of one frequency, for cell fields: the solution of each
// load, in the unknown numbering of the grid.
struct Solutions {
  std::vector<zcomplex> biaxial, shear;  // n x 2 each, column-major; empty when not run
  std::vector<zcomplex> periodic;        // n x 3 fluctuations (periodic grid numbering); empty under sealed
};

class StiffnessComputation {
 public:
  // Builds the grid system and analyses its pattern once. In a job of
  // several ranks each rank builds and assembles its own band of cell rows
  // only; the results are rank 0's.
  StiffnessComputation(const Sample& sample, std::unique_ptr<engine::SparseSolver> solver,
                       const engine::Options& options, TestChoice tests);
  // Factorises each test's matrix at freq_hz and solves its two loads.
  Stiffness at(double freq_hz, Solutions* keep = nullptr);
  // The sealed grid (its pattern empty under periodic boundaries).
  const GridSystem& grid() const { return *grid_; }
  // The torus of the periodic test (null under sealed boundaries).
  const PeriodicGrid* periodic_grid() const { return periodic_.get(); }
  const engine::SparseSolver& solver() const { return *solver_; }
  engine::SparseSolver& solver() { return *solver_; }
  // The solver's counts, with the factorisation's time that of the slower
  // test where the tests are factorised side by side.
  engine::Statistics statistics() const;
  // The two sealed tests' own solvers (one thread each, the analysis
  // shared) when they are factorised side by side; null otherwise.
  engine::SparseSolver* test_solver(int which) { return pair_[static_cast<std::size_t>(which)].get(); }
  const TestSetup& biaxial() const { return biaxial_; }
  const TestSetup& shear() const { return shear_; }
  // Matrix Market file of the biaxial test's matrix at freq_hz (complex
  // symmetric, lower triangle).
  void export_matrix(double freq_hz, const std::string& path) const;
  // Called before each factorisation with its name ("biaxial", "shear").
  std::function<void(const char*)> on_factorise;

 private:
  const Sample& sample_;
  std::optional<GridSystem> grid_;
  TestSetup biaxial_, shear_;
  TestChoice tests_;
  std::unique_ptr<PeriodicGrid> periodic_;
  std::unique_ptr<engine::SparseSolver> solver_;
  std::array<std::unique_ptr<engine::SparseSolver>, 2> pair_;
  int threads_ = 1;  // of the grid and the assembly (1 while the tests run side by side)
  void pair_solvers(const engine::Options& options);
  void solve_test(bool biaxial, engine::SparseSolver& solver, const std::vector<core::CellCoefficients>& cells,
                  double omega, Stiffness& s, std::vector<zcomplex>* keep);
  Stiffness periodic_at(double omega, const std::vector<core::CellCoefficients>& cells, Solutions* keep,
                        engine::SparseSolver& solver);
};

// Mean engineering shear strain of each solid (2 eps_xy over the cells).
struct SolidShear {
  zcomplex solid1, solid3;
};
SolidShear mean_shear_strains(const GridSystem& g, std::span<const zcomplex> x);

}  // namespace tensor
