// Volume fractions of one cell: how the cell divides into solid 1 (grain
// frame), water and solid 3 (ice or clay). Every routine that needs a cell's
// composition (elastic, mass and friction coefficients, the mean density)
// takes it from here, so that all of them split a cell the same way.
#pragma once

#include "core/deck.hpp"

namespace model {

struct CellFractions {
  double phi1 = 0;     // bulk fraction of solid 1
  double phi3 = 0;     // bulk fraction of solid 3
  double s1 = 0;       // solid 1 within the solid part
  double s3 = 0;       // solid 3 within the solid part
  double s3_prima = 0; // ice content of the pores (ice model only)
  double sw = 0;       // water saturation of the pores (ice model only)
  double control = 0;  // phi1 + phi + phi3, must be 1
};

// Splits a cell of material `m` holding the water proportion `phi`.
// Ice model (key_model 0): the absolute porosity phi_a(m) is shared by water
// and ice; an ice fraction outside (0, 1) stops the run with 45678.
// Shaley-sand model: the solid part is divided by the shale proportion s3(m).
CellFractions split_fractions(const core::Deck& deck, int m, double phi);

// Stops the run with 555 unless the three fractions add up to 1 within 1e-15.
void require_unit_sum(const CellFractions& f);

// Both of the above, for callers that print nothing in between.
CellFractions split_fractions_checked(const core::Deck& deck, int m, double phi);

}  // namespace model
