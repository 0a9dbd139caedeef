// A small finite-element system of the oscillatory tests, distributed by
// bands of cell rows: each rank assembles the lower triangle of its own
// cells' 20 x 20 blocks (prescribed unknowns eliminated from row and column,
// their diagonal kept); rank 0 can also assemble the whole matrix densely.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

#include "core/test_kind.hpp"
#include "engine/mpi_job.hpp"
#include "engine/sparse_solver.hpp"
#include "tests/fixtures/dense_solve.hpp"

namespace mumps_check {

using engine::mpi::cell_row_band;

using cplx = std::complex<double>;

struct GridCase {
  core::TestKind kind = core::TestKind::shear;
  int nx = 6, ny = 5;
  double omega = 2 * 3.14159265358979 * 50.0, h = 0.01;
};

struct LocalSystem {
  engine::Pattern pattern;
  std::vector<engine::zcomplex> values;
};
// The entries of the cells of rows first..last.
LocalSystem assemble_band(const GridCase& g, int first, int last);

// The whole matrix, dense and symmetric (both triangles), and the load.
void assemble_dense(const GridCase& g, std::vector<cplx>& a, std::vector<cplx>& load);

// Solves a x = b (a symmetric: row or column order alike) by elimination with row pivoting.
using fixtures::dense_solve;

// Componentwise backward error max_i |b - A x|_i / (|A| |x| + |b|)_i.
double backward_error(const std::vector<cplx>& a, const cplx* x, const cplx* b, int64_t n);

}  // namespace mumps_check
