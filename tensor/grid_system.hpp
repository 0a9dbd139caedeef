// The finite-element system of a sample's cell grid as the sparse engine
// takes it, for tests that prescribe some unknowns.
//
// The unknowns are those of fem/numbering.hpp (0-based here). One pattern
// serves every test and frequency: the lower triangle of all element
// blocks, each (row, col) pair once. A test marks each unknown free, held
// at zero or moved with a rigid plate; its matrix keeps the free-free
// entries and the diagonal of the prescribed unknowns (their rows and
// columns eliminated, so the matrix stays complex symmetric), and the
// prescribed values times their columns move to the right-hand side.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/coefficients.hpp"
#include "engine/sparse_solver.hpp"
#include "fem/numbering.hpp"

namespace tensor {

using core::zcomplex;

// What a test does with an unknown.
enum Constraint : int8_t {
  kFree = -1,
  kHeld = 0,        // prescribed zero
  kRightPlate = 1,  // prescribed: the right plate's displacement
  kTopPlate = 2,    // prescribed: the top plate's displacement
};

// How the pattern is kept: as coordinate pairs (any backend, any band), or
// in the own engine's layout (the lower triangle by columns, shared with the
// engine: the whole grid on one rank, one copy of the pattern in the
// process, the values in the order of its entries).
enum class PatternLayout { coordinates, engine_lower };

// The pattern and the assembled values may be those of a band of cell rows
// alone (one rank's share of a distributed system: the entries of the
// band's cells, those of the nodes on its borders contributed by both
// bands and summed by the backend); the numbering, the places and the tests
// are always the whole grid's.
struct GridSystem {
  int64_t nx = 0, ny = 0;
  double h = 0;
  int64_t n = 0;
  int64_t first_row = 1, last_row = 0;  // the band of cell rows (1-based) of the pattern; may be empty
  fem::XnodTable xnod;
  engine::Pattern pattern;            // coordinates: sorted by row, then column
  std::vector<int64_t> row_start;     // entries of row r: row_start[r] .. row_start[r+1]-1
  std::shared_ptr<const engine::LowerPattern> lower;  // the engine's layout (null for coordinates)
  engine::GridPlaces places;

  GridSystem(int64_t nx_, int64_t ny_, double h_) : GridSystem(nx_, ny_, h_, 1, ny_) {}
  GridSystem(int64_t nx_, int64_t ny_, double h_, int64_t first_row_, int64_t last_row_);
  // The whole grid with its pattern in `layout` (the engine's layout built
  // in two halves side by side with `threads` > 1, to the same pattern).
  GridSystem(int64_t nx_, int64_t ny_, double h_, PatternLayout layout, int threads = 1);
  // Stored entries of the pattern (the length of the values).
  int64_t entries() const { return lower ? static_cast<int64_t>(lower->row.size()) : static_cast<int64_t>(pattern.col.size()); }
  bool whole() const { return first_row == 1 && last_row == ny; }
  // 0-based unknown of local unknown a (1..20) of cell (j, k).
  int64_t unknown(int64_t j, int64_t k, int a) const { return xnod(fem::cell_serial(j, k, nx), a) - 1; }
  // Position of entry (row, col), row >= col, in the pattern.
  int64_t position(int64_t row, int64_t col) const;
};

// Where the law of cell (j, k) stands among `cells` cells' laws: those of
// the whole grid of nx x ny cells, or of the rows from the band's first row
// band_first on (a sample read in bands holds its band and the row above).
inline std::size_t cell_law_index(int64_t nx, int64_t ny, int64_t band_first, std::size_t cells, int64_t j,
                                  int64_t k) {
  const int64_t first = cells == static_cast<std::size_t>(nx * ny) ? 1 : band_first;
  return static_cast<std::size_t>((j - 1) + (k - first) * nx);
}

// A test: the constraint of every unknown, and its loads.
struct TestSetup {
  std::vector<int8_t> constraint;  // one per unknown
  // Per load: the displacement of each plate (index kRightPlate, kTopPlate),
  // and the nodal forces on the free unknowns (n entries, or empty).
  struct Load {
    double plate[3] = {0, 0, 0};
    std::vector<zcomplex> force;
  };
  std::vector<Load> loads;
};

// The biaxial test of fem/test_conditions.hpp (rollers on the left and the
// base, sealed all round, rigid plates bonded to both solids on the right
// and the top); load 1 moves the right plate by the width (unit mean strain
// eps_xx), load 2 the top plate by the height (unit eps_zz).
TestSetup biaxial_test(const GridSystem& g);
// The shear test of fem/test_conditions.hpp; its tangential tractions on
// solid 1 (load 1) and the same tractions on solid 3 (load 2).
TestSetup shear_test(const GridSystem& g);

// The matrix values (in pattern order) and the right-hand sides (n x loads,
// column-major) of `test` with the cells' coefficients at omega; of a band,
// the band's share of them (the nodal forces in the band of row 1). With
// `threads` > 1 the cell rows are assembled in two halves side by side, to
// the same bits.
void assemble(const GridSystem& g, const TestSetup& test, std::span<const core::CellCoefficients> cells, double omega,
              std::vector<zcomplex>& values, std::vector<zcomplex>& rhs, int threads = 1);

// After the solve: puts the prescribed values of load `l` into its solution x.
void impose(const TestSetup& test, int l, std::span<zcomplex> x);

// Total force on each plate's unknowns, (K u) summed over them with the
// unreduced element blocks: index kRightPlate (x) and kTopPlate (y); of a
// band, the share of the band's cells (the bands' shares add up).
struct PlateForces {
  zcomplex right, top;
};
PlateForces plate_forces(const GridSystem& g, const TestSetup& test, std::span<const core::CellCoefficients> cells,
                         double omega, std::span<const zcomplex> u);

// The same forces as linear functionals of the whole solution u:
// force = sum_i l[i] u[i] (n entries each), for the error bounds.
struct PlateFunctionals {
  std::vector<zcomplex> right, top;
};
PlateFunctionals plate_functionals(const GridSystem& g, const TestSetup& test,
                                   std::span<const core::CellCoefficients> cells, double omega);

// The lower triangle of every element block of g's cells in the engine's
// layout, straight from the numbering (no list of coordinate pairs); with
// `threads` > 1 in two halves of the columns side by side.
std::shared_ptr<const engine::LowerPattern> grid_lower_pattern(const GridSystem& g, int threads = 1);
// Bytes grid_lower_pattern allocates at its peak for nx x ny cells.
int64_t grid_lower_bytes(int64_t nx, int64_t ny);

// Bytes a run on the whole sealed grid holds beside the engine at its peak
// (the lean route): the numbering and places, a test's loads, solutions and
// raw solutions, the solves' copies and residuals, the bounds' functionals,
// adjoints and residual rows.
int64_t bytes_beside_engine(int64_t nx, int64_t ny);

// A lower-triangle pattern from the keys row * n + col (col <= row) of its
// entries, repeats allowed, sorted by row, then column, and where entry
// (row, col) stands in it. The keys are used up.
void pattern_from_keys(std::vector<int64_t>& keys, int64_t n, engine::Pattern& pattern, std::vector<int64_t>& row_start);
int64_t pattern_position(const engine::Pattern& pattern, const std::vector<int64_t>& row_start, int64_t row,
                         int64_t col);

}  // namespace tensor
