// Edits against renderings of a Fortran runtime (gfortran), kept as literals.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/fortran_edit.hpp"

using core::edit_e;
using core::edit_f;
using core::edit_g;

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
}  // namespace

TEST(EditG, FixedAndExponentForms) {
  EXPECT_EQ(edit_g(0.2, 15, 5), "    0.20000    ");
  EXPECT_EQ(edit_g(1e5, 15, 5), "    0.10000E+06");
  EXPECT_EQ(edit_g(1000.0, 15, 5), "     1000.0    ");
  EXPECT_EQ(edit_g(3.14159265358979, 15, 5), "     3.1416    ");
  EXPECT_EQ(edit_g(0.000125, 15, 5), "    0.12500E-03");
  EXPECT_EQ(edit_g(123456.0, 15, 5), "    0.12346E+06");
  EXPECT_EQ(edit_g(-0.2, 15, 5), "   -0.20000    ");
  EXPECT_EQ(edit_g(-1e-10, 15, 5), "   -0.10000E-09");
  EXPECT_EQ(edit_g(1e-200, 15, 5), "    0.10000-199");  // three-digit exponent drops the E
  EXPECT_EQ(edit_g(1e200, 15, 5), "    0.10000+201");
  EXPECT_EQ(edit_g(5e-324, 15, 5), "    0.49407-323");
  EXPECT_EQ(edit_g(1e-100, 15, 5), "    0.10000E-99");
}

TEST(EditG, DecadeBoundariesFollowTheRoundedValue) {
  EXPECT_EQ(edit_g(99999.4, 15, 5), "     99999.    ");
  EXPECT_EQ(edit_g(99999.5, 15, 5), "    0.10000E+06");  // rounds to 10**5: exponent form
  EXPECT_EQ(edit_g(-99999.5, 15, 5), "   -0.10000E+06");
  EXPECT_EQ(edit_g(0.0999995, 15, 5), "    0.10000    ");  // rounds up into [0.1, 1)
  EXPECT_EQ(edit_g(0.09999949, 15, 5), "    0.99999E-01");
  EXPECT_EQ(edit_g(9.99995, 15, 5), "     10.000    ");
  EXPECT_EQ(edit_g(9.999949, 15, 5), "     9.9999    ");
  EXPECT_EQ(edit_g(0.999995, 15, 5), "     1.0000    ");
  EXPECT_EQ(edit_g(0.99999, 15, 5), "    0.99999    ");
  EXPECT_EQ(edit_g(9.99999999e4, 15, 5), "    0.10000E+06");
  EXPECT_EQ(edit_g(0.95, 8, 1), "  1.    ");
  EXPECT_EQ(edit_g(99.95, 10, 3), "  100.    ");
}

TEST(EditG, ZeroSignsAndNarrowFields) {
  EXPECT_EQ(edit_g(0.0, 15, 5), "     0.0000    ");
  EXPECT_EQ(edit_g(-0.0, 15, 5), "    -0.0000    ");
  EXPECT_EQ(edit_g(0.0, 10, 5), "0.0000    ");
  EXPECT_EQ(edit_g(-0.0, 10, 5), "-.0000    ");
  EXPECT_EQ(edit_g(0.1, 10, 5), ".10000    ");  // no room for the leading zero
  EXPECT_EQ(edit_g(1e5, 10, 5), ".10000E+06");
  EXPECT_EQ(edit_g(1000.0, 10, 5), "1000.0    ");
  EXPECT_EQ(edit_g(-0.2, 10, 5), "**********");
  EXPECT_EQ(edit_g(-1234567.5, 10, 5), "**********");
  EXPECT_EQ(edit_g(-1234567.5, 15, 5), "   -0.12346E+07");
}

TEST(EditG, TiesRoundToEven) {
  EXPECT_EQ(edit_g(12345.5, 15, 5), "     12346.    ");
  EXPECT_EQ(edit_g(12344.5, 15, 5), "     12344.    ");
  EXPECT_EQ(edit_g(0.125, 10, 2), "  0.12    ");
  EXPECT_EQ(edit_g(0.375, 10, 2), "  0.38    ");
  EXPECT_EQ(edit_g(2.5, 10, 1), "    2.    ");
  EXPECT_EQ(edit_g(3.5, 10, 1), "    4.    ");
}

TEST(EditNonFinite, NaNAndInfinityByWidth) {
  EXPECT_EQ(edit_g(kNaN, 15, 5), "            NaN");
  EXPECT_EQ(edit_e(kNaN, 20, 10), "                 NaN");
  EXPECT_EQ(edit_f(kNaN, 15, 6), "            NaN");
  EXPECT_EQ(edit_g(kInf, 15, 5), "       Infinity");
  EXPECT_EQ(edit_g(-kInf, 15, 5), "      -Infinity");
  EXPECT_EQ(edit_g(kInf, 8, 1), "Infinity");
  EXPECT_EQ(edit_g(kInf, 7, 1), "    Inf");
  EXPECT_EQ(edit_g(-kInf, 8, 2), "    -Inf");
  EXPECT_EQ(edit_g(-kInf, 9, 1), "-Infinity");
  EXPECT_EQ(edit_g(kInf, 3, 1), "Inf");
  EXPECT_EQ(edit_g(-kInf, 4, 0), "-Inf");
  EXPECT_EQ(edit_g(-kInf, 3, 1), "***");
  EXPECT_EQ(edit_g(kInf, 2, 1), "**");
}

TEST(EditE, Forms) {
  EXPECT_EQ(edit_e(1000.0, 20, 10), "    0.1000000000E+04");
  EXPECT_EQ(edit_e(0.0, 20, 10), "    0.0000000000E+00");
  EXPECT_EQ(edit_e(-0.0, 20, 10), "   -0.0000000000E+00");
  EXPECT_EQ(edit_e(99999.5, 20, 10), "    0.9999950000E+05");
  EXPECT_EQ(edit_e(std::numeric_limits<double>::max(), 20, 10), "    0.1797693135+309");
  EXPECT_EQ(edit_e(std::numeric_limits<double>::min(), 20, 10), "    0.2225073859-307");
  EXPECT_EQ(edit_e(0.5, 9, 2), " 0.50E+00");
  EXPECT_EQ(edit_e(0.5, 8, 2), "0.50E+00");
  EXPECT_EQ(edit_e(0.5, 7, 2), ".50E+00");
  EXPECT_EQ(edit_e(0.125, 10, 2), "  0.12E+00");
  EXPECT_EQ(edit_e(3.5, 10, 1), "   0.4E+01");
}

TEST(EditF, Forms) {
  EXPECT_EQ(edit_f(0.2, 15, 6), "       0.200000");
  EXPECT_EQ(edit_f(100000.0, 15, 6), "  100000.000000");
  EXPECT_EQ(edit_f(12345678.9, 15, 6), "12345678.900000");
  EXPECT_EQ(edit_f(-1234567.5, 15, 6), "-1234567.500000");
  EXPECT_EQ(edit_f(123456789.0, 15, 6), "***************");
  EXPECT_EQ(edit_f(-12345678.9, 15, 6), "***************");
  EXPECT_EQ(edit_f(1e200, 15, 6), "***************");
  EXPECT_EQ(edit_f(-0.0, 15, 6), "      -0.000000");
  EXPECT_EQ(edit_f(-1e-10, 15, 6), "      -0.000000");  // the sign survives rounding to zero
  EXPECT_EQ(edit_f(0.0000025, 15, 6), "       0.000003");
  EXPECT_EQ(edit_f(0.00000049999, 15, 6), "       0.000000");
  EXPECT_EQ(edit_f(2.5, 5, 0), "   2.");
  EXPECT_EQ(edit_f(3.5, 5, 0), "   4.");
  EXPECT_EQ(edit_f(0.4, 3, 0), " 0.");
  EXPECT_EQ(edit_f(-0.4, 4, 0), " -0.");
  EXPECT_EQ(edit_f(0.0, 1, 0), "*");
  EXPECT_EQ(edit_f(0.5, 2, 1), ".5");
  EXPECT_EQ(edit_f(-0.5, 3, 1), "-.5");
}

TEST(EditPair, TableFormat) {
  EXPECT_EQ(core::g15_5_pair(0.1, 1e5), "    0.10000          0.10000E+06");
}

// Every G rendering agrees with its own definition: either the F form of
// the same value in w-4 columns plus four blanks, or the E form.
TEST(EditG, IsEitherFixedOrExponentOfTheSameValue) {
  for (int p = -12; p <= 12; ++p) {
    for (double m : {1.0, 1.23456789, 4.999995, 9.99994, 9.999951}) {
      const double v = m * std::pow(10.0, p);
      const std::string g = edit_g(v, 15, 5);
      ASSERT_EQ(g.size(), 15u);
      if (g.find('E') == std::string::npos) {
        const std::size_t point = g.find('.');
        ASSERT_NE(point, std::string::npos) << g;
        const int decimals = static_cast<int>(g.size() - 4 - point - 1);
        EXPECT_EQ(g, edit_f(v, 11, decimals) + "    ");
        // Five significant digits: the decimals plus the integer digits.
        const std::string fixed = g.substr(0, 11);
        int sig = 0;
        bool started = false;
        for (char c : fixed)
          if (c >= '0' && c <= '9' && (started |= c != '0')) ++sig;
        EXPECT_EQ(sig, 5) << g;
      } else {
        EXPECT_EQ(g, edit_e(v, 15, 5));
      }
    }
  }
}
