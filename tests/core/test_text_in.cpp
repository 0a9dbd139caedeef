// Reading rules: list-directed, (i5), (g20.10), (e12.4). (The record
// source's lines, hostile bytes and over-long records: the fuzz targets and
// the hardening catalogue.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>

#include "core/text_in.hpp"

using namespace core;
using namespace std::string_literals;

namespace {

struct Read {
  std::string text;
  double value;
  bool implied = false;  // read without a decimal point
};

// Each text is read as its value; each of `bad` is refused.
template <class T>
void check(Field<T> (*read)(std::string_view), std::initializer_list<Read> good, std::initializer_list<const char*> bad) {
  for (const Read& c : good) {
    const Field<T> f = read(c.text);
    EXPECT_TRUE(f.ok() && f.value == static_cast<T>(c.value) && f.implied_decimals == c.implied)
        << '"' << c.text << "\": " << f.value << " " << f.implied_decimals << " " << f.error;
  }
  for (const char* text : bad) EXPECT_FALSE(read(text).ok()) << '"' << text << '"';
}

}  // namespace

// Halfway between 1 and the next double.
const std::string kHalf = "1.00000000000000011102230246251565404236316680908203125";

TEST(TextIn, ListDirected) {
  check(read_list_int,
        {{"10   nx cells along x", 10}, {"   +10", 10}, {"-3,4", -3}, {"10/", 10}, {"\t8", 8}, {"2*5", 5},  // repeat count
         {"2147483647", 2147483647}, {"-2147483648", -2147483648.0}},
        {"10.", "1e1", "10abc", "ten", "", "    ", ",5", "/", "3*", "x*3", "2147483648", "99999999999999999999999"});
  check(read_list_real,
        {{"10.0   freq (Hz)", 10.0}, {"2500", 2500.0},  // no implied decimals in list input
         {"1+5", 1e5}, {"10.5d2", 1050.0}, {"1.5Q1", 15.0}, {".5", 0.5}, {"5.,6", 5.0}, {"-0.2e-1 m", -0.02},
         {"0.1", 0.1}, {"0.05", 0.05}, {"-0.0025e2", -0.25}, {"2*5.5", 5.5}, {"Infinity", std::numeric_limits<double>::infinity()},
         // Beyond 800 significant digits only the first digits and whether any
         // later one is nonzero decide: halfway between 1 and the next double
         // then a 1 far out rounds up, exactly halfway rounds to even.
         {"1." + std::string(900, '1'), 1.1111111111111112}, {kHalf + std::string(805 - kHalf.size(), '0') + "1", std::nextafter(1.0, 2.0)},
         {kHalf + std::string(900, '0'), 1.0}, {"1" + std::string(900, '0') + "e-900", 1.0}, {"0." + std::string(850, '0') + "25e851", 2.5}},
        {"e5", "1.5e", "10abc", "-.5e-1x", ".", "-", "1e400", "0x10", "1..2", ""});
  EXPECT_TRUE(std::isnan(read_list_real("NaN").value) && std::signbit(read_list_real("-0").value));
}

TEST(TextIn, ListRealIsCorrectlyRounded) {
  // The C library's reading of 17 digits, with e or d exponents.
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> mant(-10, 10);
  for (int i = 0; i < 2000; ++i) {
    const double v = mant(gen) * std::pow(10.0, static_cast<int>(gen() % 600) - 300);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17E", v);
    std::string text = buf;
    if (i % 2) text[text.find('E')] = 'd';
    EXPECT_EQ(read_list_real(text).value, v) << text;
  }
}

TEST(TextIn, FixedFields) {
  // (i5): columns 1-5, blanks ignored.
  check(read_i5, {{"    0     key_model (0 ice, 1 shaley sand)", 0}, {"1", 1}, {"  1 2", 12}, {"", 0}, {" -3", -3},
                  {"100000", 10000}, {"    0abc", 0}},
        {"1.0", "\t1", "+", "-", "1-", "a", "1e1"});
  // (g20.10): ten implied decimals without a point, the exponent on top.
  check(read_g20_10,
        {{"2.250000e+09          akf(1) fluid bulk modulus", 2.25e9}, {"2500.", 2500.0}, {"1.5d3", 1500.0},
         {"1.5D3", 1500.0}, {"1.5E-3", 1.5e-3}, {"0.0025E+02", 0.25}, {"1.e5", 1e5}, {"  -  3 . 5 e 1", -35.0}, {"", 0.0},
         {"                    1.0", 0.0},  // a blank field, the value beyond column 20
         {"0.1234567890123456782", 0.123456789012345678}, {"2500", 2.5e-7, true}, {"2", 2e-10, true},
         {"1 2", 1.2e-9, true}, {"25e3", 2.5e-6, true}, {"1+5", 1e-5, true},
         {"12345678901234567890123", 1234567890.123456789, true}},
        {"1.5E", "1.5e+", "0x10", "E5", ".", "-", "abc", "1.0 kg", "\t1.0", "1e400", "1.2.3"});
  // (e12.4): four implied decimals.
  check(read_e12_4, {{"  0.2000E+00", 0.2}, {"2000", 0.2, true}, {"  0.0500E+00", 0.05}, {"123456789012345", 12345678.9012, true},
                     {"     3.0e-01 trailing", 0.3}}, {});
}

TEST(TextIn, Quoted) {
  EXPECT_EQ(core::quoted("a\x01\"b\\"), "\"a\\x01\\\"b\\\\\"");
  EXPECT_EQ(core::quoted(std::string(100, 'x'), 5), "\"xxxxx...\"");
  EXPECT_EQ(core::quoted("\0\xff"s), "\"\\x00\\xff\"");
}
