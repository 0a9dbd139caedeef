// Reading a program's results back: moduli of the report, cell maps, and
// the velocity of a modulus in a form of its own.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "core/complex.hpp"
#include "run_program.hpp"

namespace results {

using core::zcomplex;
using support::Outcome;

// A modulus printed as two values after one label, or after two labels.
inline zcomplex modulus(const Outcome& r, const std::string& label) {
  const std::vector<double> v = r.values(label);
  return v.size() == 2 ? zcomplex{v[0], v[1]} : zcomplex{NAN, NAN};
}
inline zcomplex modulus(const Outcome& r, const std::string& re, const std::string& im, const std::string& from = "") {
  return {r.after(re, from), r.after(im, from)};
}

// The values of a cell map, in file order.
inline std::vector<double> column(const Outcome& r, const std::string& map) {
  std::vector<double> v;
  for (const std::string& line : r.lines(map)) v.push_back(support::numbers(line).at(2));
  return v;
}

// 1 / Re(1 / sqrt(P / rho)) in polar form: sqrt(|P| / rho) / cos(arg P / 2).
inline double p_velocity(zcomplex p, double rho) {
  return std::sqrt(core::cabs(p) / rho) / std::cos(0.5 * std::atan2(p.im, p.re));
}

}  // namespace results
