// The distributed MUMPS backend behind the engine's interface; built only
// where the build defines UPSCALE_HAVE_MUMPS (make_solver(Backend::mumps)
// throws otherwise).
#pragma once

#include <memory>

#include "engine/sparse_solver.hpp"

namespace engine {

std::unique_ptr<SparseSolver> make_mumps_solver();

}  // namespace engine
