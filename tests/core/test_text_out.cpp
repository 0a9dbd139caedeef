// List-directed lines and result files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

#include "core/stop.hpp"
#include "core/text_out.hpp"

namespace {

std::string temp_dir() {
  char tmpl[] = "/tmp/upscale_text_out_XXXXXX";
  const char* d = mkdtemp(tmpl);
  EXPECT_NE(d, nullptr);
  return d ? d : "/tmp";
}

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

}  // namespace

TEST(ListLine, ItemsSeparatedByBlanks) {
  EXPECT_EQ(core::list_line(" label = ", int32_t{5}), "  label =  5");
  EXPECT_EQ(core::list_line(0.5, int32_t{-3}, "x"), " 0.5 -3 x");
  EXPECT_EQ(core::list_line(core::zcomplex{1.5, -2.0}), " (1.5,-2)");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(core::list_line(nan, inf, -inf), " NaN Infinity -Infinity");
  EXPECT_EQ(core::list_line(), "");
}

TEST(ListLine, DoublesReadBackExactly) {
  std::mt19937_64 gen(11);
  for (int i = 0; i < 5000; ++i) {
    uint64_t bits = gen();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    const std::string s = core::list_line(v);
    ASSERT_EQ(s[0], ' ');
    EXPECT_EQ(std::strtod(s.c_str() + 1, nullptr), v) << s;
  }
}

TEST(TextOut, CreatesTruncatesAndWritesLines) {
  const std::string path = temp_dir() + "/table";
  {
    std::ofstream old(path);
    old << "left over from an earlier run\n";
  }
  core::TextOut f(path);
  f.list(int32_t{1}, 2.5);
  f.blank();
  f.line("raw");
  f.close();
  EXPECT_EQ(slurp(path), " 1 2.5\n\nraw\n");
}

TEST(TextOutDeath, UncreatableFileStopsWithOutputError) {
  EXPECT_EXIT(core::TextOut("/nonexistent-dir/vp_anal.phiw"), testing::ExitedWithCode(core::kStopOutputError),
              "cannot create result file \"/nonexistent-dir/vp_anal.phiw\"");
}

TEST(TextOutDeath, WriteFailureIsNotANormalEnd) {
  // /dev/full accepts the open and fails every write.
  EXPECT_EXIT(
      {
        core::TextOut f("/dev/full");
        f.line("x");
        core::stop(core::kStopNormal);
      },
      testing::ExitedWithCode(core::kStopOutputError), "/dev/full");
}
