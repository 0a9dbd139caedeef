// Edits against literal renderings of a Fortran runtime; G takes the E form
// when the value rounded to d significant digits lies outside [0.1, 10^d).
#include <gtest/gtest.h>

#include <cfloat>
#include <initializer_list>
#include <limits>
#include <string>

#include "core/fortran_edit.hpp"

using core::edit_e;
using core::edit_f;
using core::edit_g;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct Case {
  double v;
  int w, d;
  const char* text;
};

void check(std::string (*edit)(double, int, int), std::initializer_list<Case> cases) {
  for (const Case& c : cases) EXPECT_EQ(edit(c.v, c.w, c.d), c.text) << c.v << " in " << c.w << "." << c.d;
}

}  // namespace

TEST(Edit, G) {
  check(edit_g, {
      {0.2, 15, 5, "    0.20000    "},      {1e5, 15, 5, "    0.10000E+06"},  {-1e-10, 15, 5, "   -0.10000E-09"},
      {1e-100, 15, 5, "    0.10000E-99"},   {1e-200, 15, 5, "    0.10000-199"},  // a three-digit exponent drops the E
      {1e200, 15, 5, "    0.10000+201"},    {5e-324, 15, 5, "    0.49407-323"},
      // Decade boundaries follow the rounded value; ties round to even.
      {99999.5, 15, 5, "    0.10000E+06"},  {-99999.5, 15, 5, "   -0.10000E+06"}, {0.95, 8, 1, "  1.    "},
      {0.09999951, 15, 5, "    0.10000    "}, {0.09999949, 15, 5, "    0.99999E-01"}, {99999.4, 15, 5, "     99999.    "},
      {99.95, 10, 3, "  100.    "},         {12345.5, 15, 5, "     12346.    "}, {12344.5, 15, 5, "     12344.    "},
      {0.125, 10, 2, "  0.12    "},         {0.375, 10, 2, "  0.38    "},       {2.5, 10, 1, "    2.    "},
      // Zero, signs and fields too narrow for the leading zero or the value.
      {0.0, 15, 5, "     0.0000    "},    {-0.0, 15, 5, "    -0.0000    "},  {0.0, 10, 5, "0.0000    "},
      {-0.0, 10, 5, "-.0000    "},         {0.1, 10, 5, ".10000    "},        {1e5, 10, 5, ".10000E+06"},
      {-0.2, 10, 5, "**********"},         {-1234567.5, 10, 5, "**********"}, {-1234567.5, 15, 5, "   -0.12346E+07"},
      // Not-a-number and infinities by width.
      {kNaN, 15, 5, "            NaN"},    {kInf, 15, 5, "       Infinity"}, {-kInf, 15, 5, "      -Infinity"},
      {kInf, 8, 1, "Infinity"},            {kInf, 7, 1, "    Inf"},          {-kInf, 8, 2, "    -Inf"},
      {-kInf, 9, 1, "-Infinity"},          {kInf, 3, 1, "Inf"},              {-kInf, 4, 0, "-Inf"},
      {-kInf, 3, 1, "***"},                {kInf, 2, 1, "**"},
  });
  EXPECT_EQ(core::g15_5_pair(0.1, 1e5), "    0.10000          0.10000E+06");
}

TEST(Edit, E) {
  check(edit_e, {
      {1000.0, 20, 10, "    0.1000000000E+04"}, {0.0, 20, 10, "    0.0000000000E+00"},
      {-0.0, 20, 10, "   -0.0000000000E+00"},  {99999.5, 20, 10, "    0.9999950000E+05"},
      {DBL_MAX, 20, 10, "    0.1797693135+309"},  {DBL_MIN, 20, 10, "    0.2225073859-307"},
      {kNaN, 20, 10, "                 NaN"},  {0.5, 9, 2, " 0.50E+00"},
      {0.5, 8, 2, "0.50E+00"},                 {0.5, 7, 2, ".50E+00"},
      {0.125, 10, 2, "  0.12E+00"},            {3.5, 10, 1, "   0.4E+01"},
  });
}

TEST(Edit, F) {
  check(edit_f, {
      {0.2, 15, 6, "       0.200000"},         {100000.0, 15, 6, "  100000.000000"},
      {12345678.9, 15, 6, "12345678.900000"},  {-1234567.5, 15, 6, "-1234567.500000"},
      {123456789.0, 15, 6, "***************"}, {-12345678.9, 15, 6, "***************"},
      {1e200, 15, 6, "***************"},       {kNaN, 15, 6, "            NaN"},
      {-0.0, 15, 6, "      -0.000000"},        {-1e-10, 15, 6, "      -0.000000"},  // the sign survives rounding
      {0.0000025, 15, 6, "       0.000003"},   {0.00000049999, 15, 6, "       0.000000"},
      {1.0 / 3600, 15, 6, "       0.000278"},  {2.5, 5, 0, "   2."},
      {3.5, 5, 0, "   4."},                    {0.4, 3, 0, " 0."},
      {-0.4, 4, 0, " -0."},                    {0.0, 1, 0, "*"},
      {0.5, 2, 1, ".5"},                       {-0.5, 3, 1, "-.5"},
  });
}
