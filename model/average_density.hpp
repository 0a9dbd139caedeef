// The mean density of the sample.
#pragma once

#include "core/cell_array.hpp"
#include "core/deck.hpp"
#include "core/text_out.hpp"

namespace model {

// The density phiw ro2 + phi1 ro1 + phi3 ro3 of a cell of material `n` with
// water proportion `phi`, its fractions split as the coefficient routines
// split them.
double cell_density(const core::Deck& deck, int n, double phi);

// rob_med: the volume average over the nx x ny cells of each cell's density
// phiw ro2 + phi1 ro1 + phi3 ro3, with the cell's own volume fractions split
// as the coefficient routines split them. Prints "  computes average
// density, " before and the value after, on `out`.
double average_density(const core::Deck& deck, const core::IntField& matnum, const core::RealField& phiw,
                       core::TextOut& out);

}  // namespace model
