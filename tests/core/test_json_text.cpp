// JSON values of the run records: every string a valid ASCII literal, every
// finite double read back exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/json_text.hpp"

namespace {

TEST(JsonText, StringsEscapedIntoAscii) {
  EXPECT_EQ(core::json_string("plain text"), "\"plain text\"");
  EXPECT_EQ(core::json_string("say \"no\" \\ here"), "\"say \\\"no\\\" \\\\ here\"");
  EXPECT_EQ(core::json_string(std::string_view("a\nb\tc\0d\x7f", 8)), "\"a\\u000ab\\u0009c\\u0000d\\u007f\"");
  EXPECT_EQ(core::json_string("caf\xc3\xa9"), "\"caf\\ufffd\\ufffd\"");  // each byte beyond ASCII
}

TEST(JsonText, NumbersReadBackExactlyAndNullWhenNotFinite) {
  for (const double v : {0.1, -2.5e-300, 6.283185307179586, 1e308, std::numeric_limits<double>::denorm_min()}) {
    const std::string s = core::json_number(v);
    EXPECT_EQ(std::strtod(s.c_str(), nullptr), v) << s;
  }
  EXPECT_EQ(core::json_number(std::nan("")), "null");
  EXPECT_EQ(core::json_number(-std::numeric_limits<double>::infinity()), "null");
}

}  // namespace
