#include "tensor/frequency_scale.hpp"

#include <cmath>

#include "core/deck.hpp"
#include "upscaling/deck_checks.hpp"

namespace tensor {

std::string frequency_refusal(double f) { return drivers::real_out_of_range("freq", f, core::Deck{}); }

std::string log_scale_refusal(double f1, double f2, int64_t n) {
  if (std::string why = frequency_refusal(f1); !why.empty()) return "the lowest frequency " + why;
  if (std::string why = frequency_refusal(f2); !why.empty()) return "the highest frequency " + why;
  if (n < 1 || n > kMaxFrequencies)
    return "the number of frequencies must be from 1 to " + std::to_string(kMaxFrequencies);
  if (n == 1 && f1 != f2) return "one frequency from two different ends: give the same end twice, or more points";
  if (n > 1 && !(f1 < f2)) return "the lowest frequency must be below the highest";
  return "";
}

std::vector<double> log_scale(double f1, double f2, int64_t n) {
  std::vector<double> f(static_cast<std::size_t>(n), f1);
  if (n < 2) return f;
  const double a = std::log10(f1), b = std::log10(f2);
  for (int64_t i = 0; i < n; ++i)
    f[static_cast<std::size_t>(i)] = std::pow(10.0, a + (b - a) * static_cast<double>(i) / static_cast<double>(n - 1));
  f.front() = f1;
  f.back() = f2;
  return f;
}

}  // namespace tensor
