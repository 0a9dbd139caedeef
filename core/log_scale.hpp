// Points spaced evenly on a logarithmic scale: the frequencies of a
// spectrum, of the command lines, the sample files and the sweeps.
#pragma once

#include <cstdint>
#include <vector>

namespace core {

// n points f1 * (f2/f1)^(i/(n-1)), i = 0..n-1, both ends exact (f1 alone
// when n is 1, nothing when n < 1). f1 and f2 positive; the callers check.
std::vector<double> log_scale(double f1, double f2, int64_t n);

}  // namespace core
