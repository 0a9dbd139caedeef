// The mean density of the sample.
#pragma once

#include <cstdint>

#include "core/cell_array.hpp"
#include "core/deck.hpp"
#include "core/text_out.hpp"

namespace model {

// The density phiw ro2 + phi1 ro1 + phi3 ro3 of a cell of material `n` with
// water proportion `phi`, its fractions split as the coefficient routines
// split them.
double cell_density(const core::Deck& deck, int n, double phi);

// The mean of density(j, k) over the nx x ny cells, each cell's share
// density / (nx ny) summed with k outer and j inner.
template <class CellDensity>
double mean_over_cells(int64_t nx, int64_t ny, CellDensity&& density) {
  const double cells = static_cast<double>(nx * ny);
  double sum = 0.0;
  for (int64_t k = 1; k <= ny; ++k)
    for (int64_t j = 1; j <= nx; ++j) sum += density(j, k) / cells;
  return sum;
}

// rob_med: the volume average over the nx x ny cells of each cell's density
// phiw ro2 + phi1 ro1 + phi3 ro3, with the cell's own volume fractions split
// as the coefficient routines split them. Prints "  computes average
// density, " before and the value after, on `out`.
double average_density(const core::Deck& deck, const core::IntField& matnum, const core::RealField& phiw,
                       core::TextOut& out);

}  // namespace model
