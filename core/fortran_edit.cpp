#include "core/fortran_edit.hpp"

// Placeholder renderings; the exact Fortran rules are being built.
#include <cstdio>

namespace core {

std::string edit_g(double value, int w, int d) {
  char b[64];
  std::snprintf(b, sizeof b, "%*.*G", w, d, value);
  return b;
}
std::string edit_e(double value, int w, int d) {
  char b[64];
  std::snprintf(b, sizeof b, "%*.*E", w, d, value);
  return b;
}
std::string edit_f(double value, int w, int d) {
  char b[64];
  std::snprintf(b, sizeof b, "%*.*f", w, d, value);
  return b;
}
std::string g15_5_pair(double a, double b) { return edit_g(a, 15, 5) + "  " + edit_g(b, 15, 5); }

}  // namespace core
