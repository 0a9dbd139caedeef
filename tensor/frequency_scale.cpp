#include "tensor/frequency_scale.hpp"

#include "core/deck.hpp"
#include "upscaling/deck_checks.hpp"

namespace tensor {

std::string frequency_refusal(double f) { return upscaling::real_out_of_range("freq", f, core::Deck{}); }

std::string log_scale_refusal(double f1, double f2, int64_t n) {
  if (std::string why = frequency_refusal(f1); !why.empty()) return "the lowest frequency " + why;
  if (std::string why = frequency_refusal(f2); !why.empty()) return "the highest frequency " + why;
  if (n < 1 || n > kMaxFrequencies)
    return "the number of frequencies must be from 1 to " + std::to_string(kMaxFrequencies);
  if (n == 1 && f1 != f2) return "one frequency from two different ends: give the same end twice, or more points";
  if (n > 1 && !(f1 < f2)) return "the lowest frequency must be below the highest";
  return "";
}

}  // namespace tensor
