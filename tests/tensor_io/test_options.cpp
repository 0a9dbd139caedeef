// The command line: a log scale of frequencies, and every bad value refused
// naming the option, the value and what was expected.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <utility>
#include <vector>

#include "tensor/options.hpp"
#include "tests/support/refusal.hpp"

namespace {

tensor::Options parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tensor_upscale");
  return tensor::parse_options(static_cast<int>(args.size()), args.data());
}

std::string refused(std::vector<const char*> args) {
  return support::refusal([&] { parse(std::move(args)); });
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
  const tensor::Options r = parse({"x.deck", "--frequency-method", "direct", "--reduced-tolerance", "1e-10"});
  EXPECT_EQ(r.frequency_method, tensor::FrequencyMethod::direct);
  EXPECT_EQ(r.reduced_tolerance, 1e-10);
}

TEST(Options, BadValuesAreRefusedWithOptionValueAndExpectation) {
  const std::pair<std::vector<const char*>, const char*> cases[] = {
      {{"d", "--freq", "0"}, "--freq \"0\": the frequency is outside (0, 1e+12] Hz"},
      {{"d", "--freq", "nan"}, "--freq \"nan\": a frequency in Hz, a finite number"},
      {{"d", "--freq", "1:10:0"}, "number of frequencies must be from 1 to 1000000"},
      {{"d", "--freq", "10:1:5"}, "lowest frequency must be below the highest"},
      {{"d", "--freq", "1:10:2.5"}, "must be a whole number"},
      {{"d", "--threads", "0"}, "--threads \"0\": a whole number of threads from 1 to 1024"},
      {{"d", "--angles", "10,185"}, "(\"185\" is not one)"},
      {{"d", "--boundary", "open"}, "--boundary \"open\": one of periodic|sealed was expected"},
      {{"d", "--frob"}, "--frob (no value): unknown option"},
      {{"d", "-o", "a", "-o", "b"}, "given twice"},
      {{"d", "--quiet=yes"}, "takes no value"},
      {{"d", "--freq"}, "a value was expected"},
      {{"d", "e"}, "one input file was expected"},
      {{"--quiet"}, "INPUT (no value): an input deck or sample file"},
      {{"d", "--export-matrix", "a.txt"}, "ending in .mtx"},
      {{"d", "--reduced-tolerance", "0.5"}, "--reduced-tolerance \"0.5\""},
  };
  for (const auto& [args, says] : cases) EXPECT_NE(refused(args).find(says), std::string::npos) << says;
}

}  // namespace
