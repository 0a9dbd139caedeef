// The material map: a periodic stack of the two layer materials along y, and
// its writing and checking by the main program.
#pragma once

#include <cstdint>

#include "core/cell_array.hpp"
#include "core/text_out.hpp"

namespace model {

// Fills matnum(j,k) for j = 1..nx, k = 1..ny with periods of nl(1) rows of
// material 1 followed by nl(2) rows of material 2, starting at k = 1. Rows
// beyond the last whole period, and every row when nl(1) + nl(2) <= 0, hold 0.
// Sets layer_size = nl * h and prints the layering report on `out`.
void makematnum(int nx, int ny, const core::ByMaterial<int32_t>& nl, core::ByMaterial<double>& layer_size,
                double h, core::IntField& matnum, core::TextOut& out);

// The shear tests treat the sample as one material: matnum = 1 everywhere.
void set_single_material(int nx, int ny, core::IntField& matnum);

// Writes the map, k outer and j inner, as matnum(j,k) to `map` ("matnum_p33")
// and as j, k, matnum(j,k) to `map_gnu` ("matnum_p33_gnu"), then closes both.
// A material number outside 1..nlayers stops the run with 222 right after
// that cell's two lines, the message "j,k, matnum(j,k) " j k value on `out`.
void write_and_check_matnum(core::TextOut& map, core::TextOut& map_gnu, int nx, int ny, int nlayers,
                            const core::IntField& matnum, core::TextOut& out);

}  // namespace model
