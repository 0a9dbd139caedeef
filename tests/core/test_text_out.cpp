// List-directed lines, JSON values of the run records (every string a
// valid ASCII literal, every finite double read back exactly), result files
// that cannot be written.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "core/json_text.hpp"
#include "core/stop.hpp"
#include "core/stop_error.hpp"
#include "core/text_out.hpp"
#include "tests/support/refusal.hpp"

TEST(ListLine, ItemsSeparatedByBlanks) {
  EXPECT_EQ(core::list_line(" label = ", int32_t{5}), "  label =  5");
  EXPECT_EQ(core::list_line(0.5, int32_t{-3}, "x", core::zcomplex{1.5, -2.0}), " 0.5 -3 x (1.5,-2)");
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(core::list_line(std::numeric_limits<double>::quiet_NaN(), inf, -inf), " NaN Infinity -Infinity");
}

// Random bit patterns and chosen values, the subnormals among them.
TEST(ListLineAndJson, DoublesReadBackExactlyAndNullWhenNotFinite) {
  std::mt19937_64 gen(11);
  for (int i = 0; i < 5000; ++i) {
    const double v = i < 5 ? std::vector{0.1, -2.5e-300, 6.283185307179586, 1e308, 4.9e-324}[i] : std::bit_cast<double>(gen());
    if (!std::isfinite(v)) continue;
    for (const std::string& s : {core::list_line(v), core::json_number(v)}) EXPECT_EQ(std::strtod(s.c_str(), nullptr), v) << s;
  }
  EXPECT_EQ(core::json_number(std::nan("")), "null");
  EXPECT_EQ(core::json_number(-std::numeric_limits<double>::infinity()), "null");
}

TEST(JsonText, StringsEscapedIntoAscii) {
  EXPECT_EQ(core::json_string("plain text"), "\"plain text\"");
  EXPECT_EQ(core::json_string("say \"no\" \\ here"), "\"say \\\"no\\\" \\\\ here\"");
  EXPECT_EQ(core::json_string(std::string_view("a\nb\tc\0d\x7f", 8)), "\"a\\u000ab\\u0009c\\u0000d\\u007f\"");
  EXPECT_EQ(core::json_string("caf\xc3\xa9"), "\"caf\\ufffd\\ufffd\"");  // each byte beyond ASCII
}

// A result file that cannot be created is refused by an exception naming
// it (the caller goes on; a program's main ends with 74: the hardening
// catalogue); one on a full device (the open accepted, every write failing)
// is no normal end but 74.
TEST(TextOut, FilesThatCannotBeWrittenThrowAndMainEndsWith74) {
  const std::string name = "/nonexistent-folder-of-no-run/result.txt";
  const std::string why = support::refusal([&] { core::TextOut f(name); });
  EXPECT_NE(why.find("cannot create result file \"" + name + "\""), std::string::npos) << why;
  EXPECT_EXIT(
      {
        core::TextOut f("/dev/full");
        f.line("x");
        core::stop(core::kStopNormal);
      },
      testing::ExitedWithCode(core::kStopOutputError), "/dev/full");
}
