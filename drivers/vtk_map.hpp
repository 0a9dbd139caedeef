// The cell grid of a run as one VTK file for ParaView and other VTK readers:
// a legacy-format unstructured grid of quadrilaterals in metres (cell (j,k)
// spans [(j-1)h, jh] x [(k-1)h, kh]), binary big-endian, with the cell maps
// as cell data whose names carry their SI units.
#pragma once

#include <string>

#include "drivers/cell_data.hpp"

namespace drivers {

inline constexpr const char* kVtkMapName = "cell_maps.vtk";

// Writes the material number, the water proportion, the nine elastic
// fields, strain1, strain3 and stress (real and imaginary parts), |p| and
// the modulus of its gradient (interior cells, NaN elsewhere) of every
// cell. A write error ends the run (kStopOutputError).
void write_vtk_map(const std::string& path, const CellData& cd);

}  // namespace drivers
