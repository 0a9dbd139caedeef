// Frequencies spaced evenly on a logarithmic scale, shared by the command
// line (--freq F1:F2:N) and the sample file (frequency = {min, max, count}).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/log_scale.hpp"

namespace tensor {

inline constexpr int64_t kMaxFrequencies = 1'000'000;

// Why `n` frequencies from f1 to f2 cannot be a scale ("" when they can):
// each end a frequency the deck accepts, 1 <= n <= kMaxFrequencies, f1 < f2
// when n > 1 and f1 = f2 when n = 1.
std::string log_scale_refusal(double f1, double f2, int64_t n);
// Why f cannot be a test frequency ("" when it can).
std::string frequency_refusal(double f);

// n frequencies f1 * (f2/f1)^(i/(n-1)), i = 0..n-1, with both ends exact.
using core::log_scale;

}  // namespace tensor
