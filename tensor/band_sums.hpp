// Quantities of the whole sample where each rank of a job holds its band of
// cell rows alone: every rank adds up its band's share and the job sums the
// shares, so every rank knows the whole sample's value without its cells.
#pragma once

#include "tensor/geometry_resolution.hpp"
#include "tensor/sample.hpp"

namespace tensor {

// The sample's mean density (tensor/cell_law.hpp), whole or from the bands.
double job_mean_density(const Sample& s);
// The sample's resolution of its geometry, whole or from the bands' tallies.
GeometryResolution job_geometry_resolution(const Sample& s);

}  // namespace tensor
