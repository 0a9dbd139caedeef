// For a program that builds the whole matrix on every rank (a small input
// read whole by each): a solver that hands the distributed backend only
// this rank's slice of the entries, so that each entry is given once.
//
// The pattern is cut into as many contiguous slices as there are ranks;
// with entries sorted by row and unknowns numbered band by band, a slice
// is a band of the grid. A program whose ranks assemble only their own
// cells hands its pattern to the backend directly instead.
#pragma once

#include <memory>

#include "engine/sparse_solver.hpp"

namespace engine::mpi {

std::unique_ptr<SparseSolver> share_by_rank(std::unique_ptr<SparseSolver> distributed);

}  // namespace engine::mpi
