// Report lines on the volume fractions of the first cell, shared by the
// elastic and the mass-and-friction routines.
#pragma once

#include "core/text_out.hpp"
#include "model/fractions.hpp"

namespace model {

// Two lines of asterisks.
void print_stars(core::TextOut& out);

// The fixed-format fraction lines: each label followed by its value as
// g10.5, without a leading blank. The routines name themselves in the
// labels of phi1 and s1.
struct FractionLabels {
  const char* phi1;
  const char* s1;
};
void print_fraction_lines(core::TextOut& out, double phi, const CellFractions& f, FractionLabels labels);

}  // namespace model
