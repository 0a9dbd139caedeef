// The one measure of how well a computed x solves A x = b, shared by the
// Yale solver, the sparse engine and the error bounds: the componentwise
// backward error of Oettli and Prager,
//
//   omega = max_i |b - A x|_i / (|A| |x| + |b|)_i,
//
// with the magnitude of a complex number taken as |re| + |im| (at least the
// modulus, at most sqrt(2) times it; the Yale solver's measure), and the
// residual formed in extended precision (long double products and sums of
// the double entries) and rounded once to double.
#pragma once

#include <cmath>
#include <limits>

#include "core/complex.hpp"

namespace core {

// The unit roundoff of double: half the distance from 1 to the next double.
inline constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
// That of the extended type the residuals are formed in.
inline constexpr long double kExtendedRoundoff = std::numeric_limits<long double>::epsilon() / 2;

// |re| + |im|.
inline double magnitude(zcomplex v) { return std::abs(v.re) + std::abs(v.im); }

// One row of the residual b_i - sum_j a_ij x_j in extended precision, with
// its scale (|A| |x| + |b|)_i and the number of entries taken.
class ResidualRow {
 public:
  ResidualRow() = default;
  explicit ResidualRow(zcomplex b) : re_(b.re), im_(b.im), scale_(magnitude(b)) {}

  void subtract(zcomplex a, zcomplex x) {
    using ld = long double;
    re_ -= ld{a.re} * x.re - ld{a.im} * x.im;
    im_ -= ld{a.re} * x.im + ld{a.im} * x.re;
    scale_ += magnitude(a) * magnitude(x);
    ++entries_;
  }

  // The sums of another part of the same row (its right-hand side zero).
  void absorb(const ResidualRow& part) {
    re_ += part.re_;
    im_ += part.im_;
    scale_ += part.scale_;
    entries_ += part.entries_;
  }

  zcomplex value() const { return {static_cast<double>(re_), static_cast<double>(im_)}; }
  double scale() const { return scale_; }
  long long entries() const { return entries_; }

 private:
  long double re_ = 0, im_ = 0;
  double scale_ = 0;
  long long entries_ = 0;
};

// |r_i| / scale_i: 0 for a zero residual, infinite for a nonzero residual
// on a zero scale (which only a NaN or an overflow can produce).
inline double backward_ratio(zcomplex r, double scale) {
  const double m = magnitude(r);
  if (m == 0) return 0;
  if (!(m == m)) return std::numeric_limits<double>::infinity();
  return scale > 0 ? m / scale : std::numeric_limits<double>::infinity();
}

}  // namespace core
