// Reading, checking and echoing the input deck.
#pragma once

#include <cstdint>
#include <string>

#include "core/capacities.hpp"
#include "core/deck.hpp"
#include "core/text_in.hpp"

namespace upscaling {

// Reads the deck from `in` into `deck`, record by record: the nine global
// records, then twenty records for each layer material. Echoes the values on
// standard output, derives the cell side h = domain_size / ny.
//
// Stops the run
//  - with kStopInputError when a record is missing or its field cannot be
//    read (message on standard error with the record number, the quantity
//    and the text found);
//  - with kStopDeckRefused when nx or ny lies outside 1..max_cells_per_side
//    (60 for the upscaling programs), nlayers outside
//    0..2, the grid has more unknowns than the system holds, key_model or
//    model is not 0 or 1, or a value lies outside its physical range
//    (deck_checks.hpp); the value is refused right after its record is read,
//    before it is stored;
//  - with kStopPorosityCheck when, in the ice model, a layer's water
//    proportion is not below its absolute porosity (checked layer by layer
//    while reading).
// Text that reads but most likely meant another number (implied decimals, a
// blank (i5) field, a value past column 20, a decimal comma) draws a
// one-line warning on standard error naming the record.
void readata(core::RecordSource& in, core::Deck& deck, int32_t max_cells_per_side = core::kMaxCellsPerSide);

// The same, from standard input; returns the SHA-256 of the bytes it read.
std::string readata(core::Deck& deck);

}  // namespace upscaling
