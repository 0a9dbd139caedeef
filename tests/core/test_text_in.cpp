// Reading rules: list-directed, (i5), (g20.10), (e12.4), and the record
// source under hostile bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "core/text_in.hpp"

using namespace core;
using namespace std::string_literals;

namespace {

template <class T>
T ok_value(const Field<T>& f) {
  EXPECT_TRUE(f.ok()) << f.error;
  return f.value;
}

// A stream holding `bytes`, read back through a RecordSource.
struct Stream {
  explicit Stream(const std::string& bytes) : f(std::tmpfile()) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
  }
  ~Stream() { std::fclose(f); }
  std::FILE* f;
};

}  // namespace

TEST(ListInt, FirstItemOfTheRecord) {
  EXPECT_EQ(ok_value(read_list_int("10   nx cells along x")), 10);
  EXPECT_EQ(ok_value(read_list_int("   +10")), 10);
  EXPECT_EQ(ok_value(read_list_int("-3,4")), -3);
  EXPECT_EQ(ok_value(read_list_int("10/")), 10);
  EXPECT_EQ(ok_value(read_list_int("\t8")), 8);
  EXPECT_EQ(ok_value(read_list_int("2*5")), 5);  // repeat count
  EXPECT_EQ(ok_value(read_list_int("2147483647")), 2147483647);
  EXPECT_EQ(ok_value(read_list_int("-2147483648")), -2147483647 - 1);
}

TEST(ListInt, RefusesWhatIsNotAnInteger) {
  for (const char* text : {"10.", "1e1", "10abc", "ten", "", "    ", ",5", "/", "3*", "x*3", "2147483648",
                           "99999999999999999999999"}) {
    const Field<int32_t> f = read_list_int(text);
    EXPECT_FALSE(f.ok()) << text;
  }
  const Field<int32_t> f = read_list_int("10.5  nx");
  EXPECT_NE(f.error.find("\"10.5\""), std::string::npos) << f.error;  // names the text found
}

TEST(ListReal, Forms) {
  EXPECT_EQ(ok_value(read_list_real("10.0   freq (Hz)")), 10.0);
  EXPECT_EQ(ok_value(read_list_real("2500")), 2500.0);  // no implied decimals in list input
  EXPECT_FALSE(read_list_real("2500").implied_decimals);
  EXPECT_EQ(ok_value(read_list_real("1+5")), 1e5);  // exponent without a letter
  EXPECT_EQ(ok_value(read_list_real("10.5d2")), 1050.0);
  EXPECT_EQ(ok_value(read_list_real("1.5Q1")), 15.0);
  EXPECT_EQ(ok_value(read_list_real(".5")), 0.5);
  EXPECT_EQ(ok_value(read_list_real("5.,6")), 5.0);
  EXPECT_EQ(ok_value(read_list_real("-0.2e-1 m")), -0.02);
  EXPECT_EQ(ok_value(read_list_real("0.1")), 0.1);  // correctly rounded
  EXPECT_EQ(ok_value(read_list_real("2*5.5")), 5.5);
  EXPECT_TRUE(std::isinf(ok_value(read_list_real("Infinity"))));
  EXPECT_TRUE(std::isnan(ok_value(read_list_real("NaN"))));
  EXPECT_TRUE(std::signbit(ok_value(read_list_real("-0"))));
  for (const char* text : {"e5", "1.5e", "10abc", "-.5e-1x", ".", "-", "1e400", "0x10", "1..2", ""})
    EXPECT_FALSE(read_list_real(text).ok()) << text;
}

TEST(ListReal, AgreesWithTheCLibraryOnRandomNumbers) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> mant(-10, 10);
  for (int i = 0; i < 2000; ++i) {
    const double v = mant(gen) * std::pow(10.0, static_cast<int>(gen() % 600) - 300);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17E", v);
    std::string text = buf;
    if (i % 2) text[text.find('E')] = 'd';
    EXPECT_EQ(ok_value(read_list_real(text)), v) << text;
  }
}

TEST(ReadI5, ColumnsOneToFive) {
  EXPECT_EQ(ok_value(read_i5("    0     key_model (0 ice, 1 shaley sand)")), 0);
  EXPECT_EQ(ok_value(read_i5("    1")), 1);
  EXPECT_EQ(ok_value(read_i5("1")), 1);  // short record padded with blanks
  EXPECT_EQ(ok_value(read_i5("  1 2")), 12);
  EXPECT_EQ(ok_value(read_i5("")), 0);
  EXPECT_EQ(ok_value(read_i5(" -3")), -3);
  EXPECT_EQ(ok_value(read_i5("100000")), 10000);  // column 6 ignored
  EXPECT_EQ(ok_value(read_i5("    0abc")), 0);
  for (const char* text : {"1.0", "\t1", "+", "-", "1-", "a", "1e1"}) EXPECT_FALSE(read_i5(text).ok()) << text;
}

TEST(ReadG20_10, ExplicitPointAndExponents) {
  EXPECT_EQ(ok_value(read_g20_10("2.250000e+09          akf(1) fluid bulk modulus")), 2.25e9);
  EXPECT_EQ(ok_value(read_g20_10("2500.")), 2500.0);
  EXPECT_FALSE(read_g20_10("2500.").implied_decimals);
  EXPECT_EQ(ok_value(read_g20_10("1.5d3")), 1500.0);
  EXPECT_EQ(ok_value(read_g20_10("1.5D3")), 1500.0);
  EXPECT_EQ(ok_value(read_g20_10("1.5E-3")), 1.5e-3);
  EXPECT_EQ(ok_value(read_g20_10("1.e5")), 1e5);
  EXPECT_EQ(ok_value(read_g20_10("  -  3 . 5 e 1")), -35.0);  // blanks ignored
  EXPECT_EQ(ok_value(read_g20_10("")), 0.0);
  EXPECT_EQ(ok_value(read_g20_10("                    1.0")), 0.0);  // blank field, value beyond column 20
  EXPECT_EQ(ok_value(read_g20_10("0.1234567890123456782")), 0.123456789012345678);
}

TEST(ReadG20_10, ImpliedDecimals) {
  Field<double> f = read_g20_10("2500");
  EXPECT_EQ(ok_value(f), 2.5e-7);
  EXPECT_TRUE(f.implied_decimals);
  EXPECT_EQ(ok_value(read_g20_10("2")), 2e-10);
  EXPECT_EQ(ok_value(read_g20_10("1 2")), 1.2e-9);
  f = read_g20_10("25e3");  // the exponent applies on top of the implied decimals
  EXPECT_EQ(ok_value(f), 2.5e-6);
  EXPECT_TRUE(f.implied_decimals);
  EXPECT_EQ(ok_value(read_g20_10("1+5")), 1e-5);
  // Columns 21 on are ignored even when the number runs on.
  EXPECT_EQ(ok_value(read_g20_10("12345678901234567890123")), 1234567890.123456789);
}

TEST(ReadG20_10, RefusesBadFields) {
  for (const char* text : {"1.5E", "1.5e+", "0x10", "E5", ".", "-", "abc", "1.0 kg", "\t1.0", "1e400", "1.2.3"}) {
    const Field<double> f = read_g20_10(text);
    EXPECT_FALSE(f.ok()) << text;
  }
  const Field<double> f = read_g20_10("1.0 kg/m3 density");
  EXPECT_NE(f.error.find("\"1.0 kg/m3 density\""), std::string::npos) << f.error;
}

TEST(ReadE12_4, FourImpliedDecimals) {
  EXPECT_EQ(ok_value(read_e12_4("  0.2000E+00")), 0.2);
  EXPECT_EQ(ok_value(read_e12_4("2000")), 0.2);
  EXPECT_TRUE(read_e12_4("2000").implied_decimals);
  EXPECT_EQ(ok_value(read_e12_4("123456789012345")), 12345678.9012);
  EXPECT_EQ(ok_value(read_e12_4("     3.0e-01 trailing")), 0.3);
}

TEST(Quoted, EscapesAndCuts) {
  EXPECT_EQ(core::quoted("a\x01\"b\\"), "\"a\\x01\\\"b\\\\\"");
  EXPECT_EQ(core::quoted(std::string(100, 'x'), 5), "\"xxxxx...\"");
  EXPECT_EQ(core::quoted("\0\xff"s), "\"\\x00\\xff\"");
}

TEST(RecordSource, SplitsLinesAndDropsCarriageReturns) {
  Stream s("a\nb\r\n\n\r\nlast");
  RecordSource in(s.f, "deck");
  EXPECT_EQ(in.next(), "a");
  EXPECT_EQ(in.next(), "b");
  EXPECT_EQ(in.next(), "");
  EXPECT_EQ(in.next(), "");
  EXPECT_EQ(in.next(), "last");  // a last line without newline is a record
  EXPECT_EQ(in.number(), 5);
  EXPECT_EQ(in.next(), std::nullopt);
  EXPECT_EQ(in.next(), std::nullopt);
  EXPECT_EQ(in.number(), 5);
}

TEST(RecordSource, SurvivesHostileBytes) {
  {
    Stream s("");
    RecordSource in(s.f, "empty");
    EXPECT_EQ(in.next(), std::nullopt);
    EXPECT_EQ(in.number(), 0);
  }
  {
    Stream s("1\0 2\n"s);
    RecordSource in(s.f, "nul");
    EXPECT_EQ(in.next(), "1\0 2"s);
  }
  {
    std::string big(3'000'000, '7');
    Stream s(big + "\nnext\n");
    RecordSource in(s.f, "big");
    const auto r = in.next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->size(), RecordSource::kMaxRecordChars);
    EXPECT_TRUE(in.truncated());
    EXPECT_EQ(in.next(), "next");
    EXPECT_FALSE(in.truncated());
  }
  {
    std::mt19937 gen(3);
    std::string bytes(200'000, '\0');
    int newlines = 0;
    for (char& c : bytes) {
      c = static_cast<char>(gen() & 0xff);
      newlines += c == '\n';
    }
    bytes += '\n';
    Stream s(bytes);
    RecordSource in(s.f, "binary");
    int n = 0;
    while (auto r = in.next()) {
      ++n;
      (void)read_list_real(*r);  // readers must cope with any record
      (void)read_g20_10(*r);
      (void)read_i5(*r);
    }
    EXPECT_EQ(n, newlines + 1);
  }
}
