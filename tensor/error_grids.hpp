// The three grids of --estimate-error: the run's grid refined twice by
// pixel replication (each cell split into 2 x 2 and 4 x 4 cells of its own
// law), or, where the finer grids do not fit in memory, the run's grid
// between one coarsened and one refined grid, or below two coarsened ones
// (each 2 x 2 block of cells one cell of the law most of them have).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/sparse_solver.hpp"
#include "tensor/sample.hpp"
#include "tensor/stiffness.hpp"

namespace tensor {

// The sample on the grid whose cell side is h / 2^level (level < 0: coarsened).
// Throws where the sides do not divide by the coarsening.
Sample scaled_sample(const Sample& s, int level);

struct ErrorGrids {
  int target = 0;  // the position of the run's grid among the three, 0 the coarsest
  std::unique_ptr<Sample> samples[3];
  std::unique_ptr<StiffnessComputation> other[3];  // null at the run's grid
  std::int64_t memory_bytes = 0;                  // of the factors of the two other grids
  double flops = 0;                               // of their factorisations per frequency and test
  std::string note;                               // why the grids are coarsened, "" when not
};

// Chooses and analyses the grids: refined where the factors of all three
// grids fit in `available` bytes (< 0: unknown, no limit), else coarsened.
// `make` builds a computation of a sample. Throws with the memory needed
// when no choice fits.
ErrorGrids error_grids(const Sample& s, std::int64_t run_memory, std::int64_t available,
                       const std::function<std::unique_ptr<StiffnessComputation>(const Sample&)>& make);

}  // namespace tensor
