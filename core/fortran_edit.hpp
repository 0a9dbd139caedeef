// Fortran edit descriptors rendered exactly as a Fortran runtime renders
// them, NaN and Infinity included:
//   Gw.d  edit_g(0.2, 15, 5)  == "    0.20000    "
//         edit_g(1e5, 15, 5)  == "    0.10000E+06"
//         edit_g(0.1, 10, 5)  == ".10000    "
//   Ew.d  edit_e(1000, 20, 10) == "    0.1000000000E+04"
//   Fw.d  edit_f(x, 15, 6)
// A value that does not fit its width is written as w asterisks.
#pragma once

#include <string>

namespace core {

std::string edit_g(double value, int w, int d);
std::string edit_e(double value, int w, int d);
std::string edit_f(double value, int w, int d);

// The table format "(g15.5,2x,g15.5)": two values, two blanks between.
std::string g15_5_pair(double a, double b);

}  // namespace core
