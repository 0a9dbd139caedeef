// UPSCALE_KERNEL as the three programs meet it: a kernel this processor
// runs is taken and the results do not depend on it beyond rounding; an
// unknown name or a kernel the processor lacks ends the run before it
// touches its folder, with a sentence and status 2.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/dense_kernel.hpp"
#include "run_program.hpp"

using namespace support;

namespace {

// Sets UPSCALE_KERNEL for the programs started in its lifetime.
class KernelVariable {
 public:
  explicit KernelVariable(const std::string& value) {
    if (const char* old = std::getenv("UPSCALE_KERNEL")) old_ = old, had_ = true;
    ::setenv("UPSCALE_KERNEL", value.c_str(), 1);
  }
  ~KernelVariable() { had_ ? ::setenv("UPSCALE_KERNEL", old_.c_str(), 1) : ::unsetenv("UPSCALE_KERNEL"); }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(KernelChoice, ARefusedKernelEndsTheRunBeforeItStarts) {
  const std::string deck = join(deck_lines("ice_small.deck"));
  std::vector<std::string> refused = {"sse4"};
  if (!core::processor_runs(core::KernelIsa::avx512)) refused.push_back("avx512");
  if (!core::processor_runs(core::KernelIsa::avx2)) refused.push_back("avx2");
  const char* programs[] = {"pwave_upscale", "swave_spectrum", "swave_saturation"};  // one main: each refusal in turn
  for (std::size_t i = 0; i < refused.size(); ++i) {
    const std::string& name = refused[i];
    const char* program = programs[i % 3];
    KernelVariable v(name);
    const Outcome r = run(program, deck);
    EXPECT_EQ(r.status, 2) << program << " " << name << ": " << r.describe();
    EXPECT_NE(r.err.find(std::string(program) + ": UPSCALE_KERNEL=" + name + ": "), std::string::npos) << r.err;
    EXPECT_TRUE(r.files().empty()) << program << ": the refused run left files";
  }
}

TEST(KernelChoice, EveryKernelOfTheProcessorGivesTheSameModulusWithinItsBounds) {
  const std::string deck = join(deck_lines("ice_small.deck"));
  std::vector<double> reference;
  double reference_bound = 0;
  for (const core::KernelIsa isa : {core::KernelIsa::plain, core::KernelIsa::avx2, core::KernelIsa::avx512}) {
    if (!core::processor_runs(isa)) continue;
    KernelVariable v(core::kernel_name(isa));
    const Outcome r = run("pwave_upscale", deck);
    ASSERT_EQ(r.status, 40) << core::kernel_name(isa) << ": " << r.describe();
    const std::vector<double> m = r.values("tied modulus M_T (Pa) =");
    const double bound = r.after("forward error bound =");
    ASSERT_EQ(m.size(), 2U) << r.out;
    if (reference.empty()) reference = m, reference_bound = bound;
    // Each run's relative error is within its own bound: two runs differ by
    // at most the sum (a factor 4 for the bounds' first-order terms), and
    // by a few units of rounding of the printed value.
    const double size = std::hypot(reference[0], reference[1]);
    const double tolerance = (4 * (bound + reference_bound) + 8 * std::numeric_limits<double>::epsilon()) * size;
    EXPECT_NEAR(m[0], reference[0], tolerance) << core::kernel_name(isa);
    EXPECT_NEAR(m[1], reference[1], tolerance) << core::kernel_name(isa);
  }
}

}  // namespace
