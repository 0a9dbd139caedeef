// The physical range of every deck value: what the rock-physics model and
// the finite-element test can turn into meaningful numbers. A value the
// chosen model does not use only has to be a finite number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/deck.hpp"

namespace upscaling {

// Why the real value `v` of the quantity `name` (the record's name without
// its layer index, e.g. "akf") cannot stand in `deck` as read so far (the
// global records are read before any layer): "" when it can, otherwise the
// text that follows "name = value" in the refusal, with the allowed range.
std::string real_out_of_range(std::string_view name, double v, const core::Deck& deck);

// A negative coef_b13 is left to the friction control of cell (1,1) (stop
// codes 99999 and 99998), which the model runs on it; the range check of
// coef_b13 comes after that control. Empty when every layer material's
// coef_b13 lies in its range, otherwise the refusal naming the record.
std::string friction_range_after_control(const core::Deck& deck);

// The same for the integers nfreq and nl (layer thickness in cells); the
// grid size and keys are checked where they are read.
std::string integer_out_of_range(std::string_view name, int32_t v);

}  // namespace upscaling
