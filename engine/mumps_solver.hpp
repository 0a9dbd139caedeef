// The distributed backend of the sparse engine: MUMPS over MPI.
#pragma once

#include <memory>

#include "engine/sparse_solver.hpp"

namespace engine {

std::unique_ptr<SparseSolver> make_mumps_solver();

}  // namespace engine
