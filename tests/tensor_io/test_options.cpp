// The command line: a log scale of frequencies, and every bad value refused
// naming the option, the value and what was expected.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "tensor/options.hpp"

namespace {

tensor::Options parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tensor_upscale");
  return tensor::parse_options(static_cast<int>(args.size()), args.data());
}

std::string refused(std::vector<const char*> args) {
  try {
    parse(std::move(args));
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "";
}

TEST(Options, FrequenciesFormALogScale) {
  const tensor::Options o = parse({"s.toml", "--freq", "1:1000:4", "--tests=p", "--angles", "0,45,90"});
  ASSERT_EQ(o.frequencies.size(), 4u);
  // A constant ratio, here of 10, both ends exact.
  for (std::size_t i = 1; i < 4; ++i) EXPECT_NEAR(o.frequencies[i] / o.frequencies[i - 1], 10.0, 1e-12);
  EXPECT_EQ(o.frequencies.front(), 1.0);
  EXPECT_EQ(o.frequencies.back(), 1000.0);
  EXPECT_EQ(o.tests, tensor::Tests::p);  // "--opt=value" as "--opt value"
  EXPECT_EQ(o.angles, (std::vector<double>{0, 45, 90}));
  EXPECT_TRUE(parse({"--help"}).help);  // needs no input
  EXPECT_EQ(parse({"d", "--out-of-core", "x"}).out_of_core_dir, "x");  // either solver
}

TEST(Options, BadValuesAreRefusedWithOptionValueAndExpectation) {
  EXPECT_NE(refused({"d", "--freq", "0"}).find("--freq \"0\": the frequency is outside (0, 1e+12] Hz"),
            std::string::npos);
  EXPECT_NE(refused({"d", "--freq", "nan"}).find("--freq \"nan\": a frequency in Hz, a finite number"),
            std::string::npos);
  EXPECT_NE(refused({"d", "--freq", "1:10:0"}).find("number of frequencies must be from 1 to 1000000"),
            std::string::npos);
  EXPECT_NE(refused({"d", "--freq", "10:1:5"}).find("lowest frequency must be below the highest"), std::string::npos);
  EXPECT_NE(refused({"d", "--freq", "1:10:2.5"}).find("must be a whole number"), std::string::npos);
  EXPECT_NE(refused({"d", "--threads", "0"}).find("--threads \"0\": a whole number of threads from 1 to 1024"),
            std::string::npos);
  EXPECT_NE(refused({"d", "--threads", "1025"}).find("from 1 to 1024"), std::string::npos);
  EXPECT_NE(refused({"d", "--angles", "10,95"}).find("(\"95\" is not one)"), std::string::npos);
  EXPECT_NE(refused({"d", "--lame", "4d"}).find("--lame \"4d\": one of 2d|3d was expected"), std::string::npos);
  EXPECT_NE(refused({"d", "--tests", "q"}).find("one of p|s|tensor"), std::string::npos);
  EXPECT_NE(refused({"d", "--frob"}).find("--frob (no value): unknown option"), std::string::npos);
  EXPECT_NE(refused({"d", "-o", "a", "-o", "b"}).find("given twice"), std::string::npos);
  EXPECT_NE(refused({"d", "--quiet=yes"}).find("takes no value"), std::string::npos);
  EXPECT_NE(refused({"d", "--freq"}).find("a value was expected"), std::string::npos);
  EXPECT_NE(refused({"d", "e"}).find("one input file was expected"), std::string::npos);
  EXPECT_NE(refused({"--quiet"}).find("INPUT (no value): an input deck or sample file"), std::string::npos);
  EXPECT_NE(refused({"d", "--export-matrix", "a.txt"}).find("ending in .mtx"), std::string::npos);
}

}  // namespace
