#include "core/fortran_edit.hpp"

// The edits follow the rules of formatted output with the default rounding
// mode: the decimal digits are those of the exact binary value rounded to
// nearest, ties to even (what the C library's conversions give), a leading
// zero before the decimal point is written only when the field has room for
// it, the sign of a negative value (negative zero included) is always
// written, and a value that does not fit is replaced by w asterisks.

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace core {

namespace {

std::string stars(int w) { return std::string(static_cast<std::size_t>(w > 0 ? w : 0), '*'); }

// Right-justifies `body` (already signed) in w columns; when it is one
// column too wide and starts with "0." (after the sign), the optional leading
// zero is dropped; otherwise a field that cannot hold it is all asterisks.
std::string fit(bool negative, std::string body, int w) {
  std::string text = (negative ? "-" : "") + body;
  if (static_cast<int>(text.size()) > w && body.size() > 2 && body[0] == '0' && body[1] == '.') {
    body.erase(0, 1);
    text = (negative ? "-" : "") + body;
  }
  if (static_cast<int>(text.size()) > w) return stars(w);
  return std::string(static_cast<std::size_t>(w) - text.size(), ' ') + text;
}

// NaN and the infinities: "NaN", "Infinity" or "Inf", right-justified.
std::string non_finite(double value, int w) {
  if (std::isnan(value)) return w < 3 ? stars(w) : std::string(static_cast<std::size_t>(w - 3), ' ') + "NaN";
  const bool neg = value < 0;
  const int need_long = neg ? 9 : 8;   // "-Infinity" / "Infinity"
  const int need_short = neg ? 4 : 3;  // "-Inf" / "Inf"
  std::string t;
  if (w >= need_long) t = neg ? "-Infinity" : "Infinity";
  else if (w >= need_short) t = neg ? "-Inf" : "Inf";
  else return stars(w);
  return std::string(static_cast<std::size_t>(w) - t.size(), ' ') + t;
}

// |value| rounded to `sig` significant digits (sig >= 1): the digits and the
// decimal exponent e of the form 0.d1d2...dsig x 10**e. Zero gives e = 0.
struct Rounded {
  char digits[32];
  int exponent;
};

Rounded round_significant(double magnitude, int sig) {
  Rounded r{};
  char buf[64];
  // "%.*e" gives d.ddd...e+xxx correctly rounded to sig digits.
  std::snprintf(buf, sizeof buf, "%.*e", sig - 1, magnitude);
  int n = 0;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9' && n < 31) r.digits[n++] = *p;
  r.digits[n] = '\0';
  r.exponent = magnitude == 0 ? 0 : std::atoi(p + 1) + 1;
  return r;
}

// Fixed form "ddd.ddd" of |value| with d decimals (the integer part may be
// empty only for zero, where "0" is written and may later be dropped).
// 10**n formed by n products by ten (n >= 0) or the reciprocal of such a
// product (n < 0), the way the range limits of the G edit are formed.
double pow10_by_products(int n) {
  double r = 1.0;
  for (int i = 0; i < (n >= 0 ? n : -n); ++i) r *= 10.0;
  return n >= 0 ? r : 1.0 / r;
}

std::string fixed_body(double magnitude, int d) {
  char buf[400];  // the largest double has 309 integer digits
  std::snprintf(buf, sizeof buf, "%.*f", d, magnitude);
  std::string s(buf);
  if (d == 0) s += '.';
  return s;
}

std::string exponent_body(double magnitude, int d) {
  if (d < 1) d = 1;
  const Rounded r = round_significant(magnitude, d);
  std::string s = "0.";
  s += r.digits;
  const int e = r.exponent;
  const int ae = std::abs(e);
  char eb[16];
  if (ae <= 99) std::snprintf(eb, sizeof eb, "E%c%02d", e < 0 ? '-' : '+', ae);
  else std::snprintf(eb, sizeof eb, "%c%03d", e < 0 ? '-' : '+', ae);
  return s + eb;
}

}  // namespace

std::string edit_f(double value, int w, int d) {
  if (w <= 0) return {};
  if (!std::isfinite(value)) return non_finite(value, w);
  return fit(std::signbit(value), fixed_body(std::fabs(value), d), w);
}

std::string edit_e(double value, int w, int d) {
  if (w <= 0) return {};
  if (!std::isfinite(value)) return non_finite(value, w);
  return fit(std::signbit(value), exponent_body(std::fabs(value), d), w);
}

std::string edit_g(double value, int w, int d) {
  if (w <= 0) return {};
  if (!std::isfinite(value)) return non_finite(value, w);
  constexpr int kTrail = 4;  // the blanks that stand for the absent exponent
  const double mag = std::fabs(value);
  const bool neg = std::signbit(value);
  const std::string blanks(kTrail, ' ');
  if (mag == 0) {
    // Zero takes the fixed form with d-1 decimals.
    const std::string f = fit(neg, fixed_body(0.0, d > 0 ? d - 1 : 0), w - kTrail);
    return f.find('*') != std::string::npos ? stars(w) : f + blanks;
  }
  if (d >= 1) {
    // The fixed form serves magnitudes that round (to d digits) into
    // [0.1, 10**d). The range limits 10**(k-1) * (1 - 0.5 * 10**-d) are
    // formed in double precision, powers of ten by repeated products, and the
    // magnitude is compared with them as it stands; k is then the number of
    // digits before the point and d-k follow it.
    const double tenth_step = 0.5 / pow10_by_products(d);
    const double low = 0.1 - 0.1 * tenth_step;
    const double high = pow10_by_products(d) - 0.5;
    if (mag >= low && mag < high) {
      int k = 0;
      while (k < d && mag >= pow10_by_products(k) * (1.0 - tenth_step)) ++k;
      const std::string f = fit(neg, fixed_body(mag, d - k), w - kTrail);
      return f.find('*') != std::string::npos ? stars(w) : f + blanks;
    }
  }
  return edit_e(value, w, d);
}

std::string g15_5_pair(double a, double b) { return edit_g(a, 15, 5) + "  " + edit_g(b, 15, 5); }

}  // namespace core
