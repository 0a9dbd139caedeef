#include "core/log_scale.hpp"

#include <cmath>

namespace core {

std::vector<double> log_scale(double f1, double f2, int64_t n) {
  if (n < 1) return {};
  std::vector<double> f(static_cast<std::size_t>(n), f1);
  if (n < 2) return f;
  const double a = std::log10(f1), b = std::log10(f2);
  for (int64_t i = 0; i < n; ++i)
    f[static_cast<std::size_t>(i)] = std::pow(10.0, a + (b - a) * static_cast<double>(i) / static_cast<double>(n - 1));
  f.front() = f1;
  f.back() = f2;
  return f;
}

}  // namespace core
