// tensor_upscale with the own engine's factors on disk: the same table to
// the last digit as in memory, no file left in the factor folder, and a
// plan that gives both modes without factorising.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tensor/options.hpp"
#include "tensor/run.hpp"
#include "tests/tensor/support.hpp"

namespace tensor_test {
namespace {

int run_program(std::vector<std::string> extra, const std::string& out) {
  extra.insert(extra.begin(), {"--freq", "3:300:2", "--threads", "2"});
  return tensor_test::run_program(example("ice_small.deck"), extra, out);
}

TEST(OutOfCoreRun, TheTableEqualsTheInCoreRunToTheLastDigit) {
  const Folder in, out, factors;
  ASSERT_TRUE(in.made && out.made && factors.made);
  ASSERT_EQ(run_program({}, in.dir), 0);
  ASSERT_EQ(run_program({"--out-of-core", factors.dir}, out.dir), 0);
  const std::string a = text_of(in.dir + "/tensor.csv"), b = text_of(out.dir + "/tensor.csv");
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a, b);
  EXPECT_TRUE(std::filesystem::is_empty(factors.dir));
  // A folder that is not there is refused with its name, and recorded.
  const std::string absent = factors.dir + "/absent";
  testing::internal::CaptureStderr();
  EXPECT_THROW(run_program({"--out-of-core", absent}, out.dir), std::exception);
  testing::internal::GetCapturedStderr();
  EXPECT_NE(text_of(out.dir + "/run.json").find(absent), std::string::npos);
}

TEST(OutOfCoreRun, ThePlanGivesBothModesAndTheDisk) {
  const Folder out;
  ASSERT_TRUE(out.made);
  // The program itself: where MUMPS is built a plan starts MPI, whose own
  // start-up allocations are never freed (no leak check of that process).
  const std::string cmd = "ASAN_OPTIONS=detect_leaks=0 '" TENSOR_UPSCALE_PROGRAM "' '" + example("ice_small.deck") +
                          "' --freq 3:300:2 --quiet --threads 2 --plan -o '" + out.dir + "' > '" + out.dir + "/plan.txt'";
  const int status = std::system(cmd.c_str());
  const std::string plan = text_of(out.dir + "/plan.txt");
  EXPECT_EQ(status, 0);
  for (const char* line : {"own engine plan on 1 rank", "unknowns", "factor entries", "flops", "memory in core",
                           "memory out of core", "disk out of core"})
    EXPECT_NE(plan.find(line), std::string::npos) << line << " in\n" << plan;
  EXPECT_FALSE(std::filesystem::exists(out.dir + "/tensor.csv"));
}

}  // namespace
}  // namespace tensor_test
