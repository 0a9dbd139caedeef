// The choice of the dense kernels by UPSCALE_KERNEL, on made-up processors:
// a name is taken only where the processor runs it, and a refusal says what
// was asked, what is missing and what the processor offers.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "core/dense_kernel.hpp"
#include "tests/support/refusal.hpp"

namespace {

using core::KernelIsa;

bool plain_only(KernelIsa isa) { return isa == KernelIsa::plain; }
bool up_to_avx2(KernelIsa isa) { return isa != KernelIsa::avx512; }
bool everything(KernelIsa) { return true; }

std::string refusal(const char* value, bool (*runs)(KernelIsa)) {
  return support::refusal([&] { core::kernel_from(value, runs); });
}

TEST(DenseKernel, UnsetMeansTheWidestTheProcessorRuns) {
  EXPECT_EQ(core::kernel_from("", plain_only), KernelIsa::plain);
  EXPECT_EQ(core::kernel_from("", up_to_avx2), KernelIsa::avx2);
  EXPECT_EQ(core::kernel_from("", everything), KernelIsa::avx512);
  EXPECT_EQ(core::kernel_from("", core::processor_runs), core::widest_kernel());
}

TEST(DenseKernel, EveryKernelTheProcessorRunsCanBeForced) {
  for (const KernelIsa isa : {KernelIsa::plain, KernelIsa::avx2, KernelIsa::avx512}) {
    EXPECT_EQ(core::kernel_from(core::kernel_name(isa), everything), isa);
    if (core::processor_runs(isa)) EXPECT_EQ(core::kernel_from(core::kernel_name(isa), core::processor_runs), isa);
  }
  EXPECT_EQ(core::kernel_from("plain", plain_only), KernelIsa::plain);  // every processor runs plain arithmetic
}

TEST(DenseKernel, AKernelTheProcessorLacksIsRefusedWithASentence) {
  const std::string wide = refusal("avx512", up_to_avx2);
  EXPECT_NE(wide.find("UPSCALE_KERNEL=avx512"), std::string::npos) << wide;
  EXPECT_NE(wide.find("lacks the AVX-512"), std::string::npos) << wide;
  EXPECT_NE(wide.find("it runs plain, avx2"), std::string::npos) << wide;
  const std::string narrow = refusal("avx2", plain_only);
  EXPECT_NE(narrow.find("lacks the AVX2 and FMA"), std::string::npos) << narrow;
  EXPECT_NE(narrow.find("it runs plain"), std::string::npos) << narrow;
}

TEST(DenseKernel, AnUnknownNameIsRefusedNamingTheChoices) {
  for (const char* bad : {"AVX2", "sse", "best", " plain", "avx512 "}) {
    const std::string text = refusal(bad, everything);
    EXPECT_NE(text.find(std::string("UPSCALE_KERNEL=") + bad + ":"), std::string::npos) << text;
    EXPECT_NE(text.find("expected plain, avx2 or avx512"), std::string::npos) << text;
  }
}

}  // namespace
