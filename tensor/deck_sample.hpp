// A deck of the upscaling programs read as a sample of tensor_upscale: the
// same records and checks, with grids beyond 60 x 60 cells.
#pragma once

#include <cstdint>
#include <string>

#include "tensor/sample.hpp"

namespace tensor {

// Largest side of a deck grid this program accepts.
inline constexpr int32_t kMaxDeckSide = 20000;

// Reads the deck at `path` (its echo kept off standard output). The
// materials are the deck's layers ("layer 1", "layer 2", labels 1 and 2)
// and the cells follow the periodic layering nl(1), nl(2) from the base;
// with `model` 1 the cells take their water proportions from
// "porosity.frac" in the deck's folder (one line per cell, k outer). The frequencies
// are the deck's scale: nfreq points from freq to freq_max, logarithmic,
// or freq alone when nfreq is 1. A bad deck ends the run with the deck
// reader's message and exit status; a layering that does not fill the grid
// with whole periods throws std::invalid_argument.
Sample read_deck_sample(const std::string& path);

}  // namespace tensor
