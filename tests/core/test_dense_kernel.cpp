// The choice of the dense kernels by UPSCALE_KERNEL, on made-up processors:
// a name is taken only where the processor runs it, and a refusal says what
// was asked, what is missing and what the processor offers.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/dense_kernel.hpp"
#include "tests/support/refusal.hpp"

namespace {

using K = core::KernelIsa;
using Runs = bool (*)(K);

bool plain_only(K isa) { return isa == K::plain; }
bool up_to_avx2(K isa) { return isa != K::avx512; }
bool everything(K) { return true; }

// Unset: the widest the processor runs. Set: the kernel named, where the processor runs it.
TEST(DenseKernel, UnsetMeansTheWidestAndEveryKernelTheProcessorRunsCanBeForced) {
  for (const auto& [value, runs, want] : {std::tuple<const char*, Runs, K>{"", plain_only, K::plain}, {"", up_to_avx2, K::avx2},
                                          {"", everything, K::avx512}, {"plain", plain_only, K::plain},
                                          {"avx2", up_to_avx2, K::avx2}, {"avx512", everything, K::avx512}})
    EXPECT_EQ(core::kernel_from(value, runs), want) << '"' << value << '"';
  EXPECT_EQ(core::kernel_from("", core::processor_runs), core::widest_kernel());
  for (const K isa : {K::plain, K::avx2, K::avx512}) {
    if (core::processor_runs(isa)) {
      EXPECT_EQ(core::kernel_from(core::kernel_name(isa), core::processor_runs), isa);
    }
  }
}

TEST(DenseKernel, AKernelTheProcessorLacksOrAnUnknownNameIsRefusedWithASentence) {
  const std::vector<std::string> choices = {"expected plain, avx2 or avx512"};
  for (const auto& [value, runs, words] : {
           std::tuple<std::string, Runs, std::vector<std::string>>{
               "avx512", up_to_avx2, {"UPSCALE_KERNEL=avx512", "lacks the AVX-512", "it runs plain, avx2"}},
           {"avx2", plain_only, {"lacks the AVX2 and FMA", "it runs plain"}}, {"AVX2", everything, choices},
           {"sse", everything, choices}, {"best", everything, choices}, {" plain", everything, choices},
           {"avx512 ", everything, choices}}) {
    const std::string text = support::refusal([&] { core::kernel_from(value, runs); });
    EXPECT_NE(text.find("UPSCALE_KERNEL=" + value + ":"), std::string::npos) << text;
    for (const std::string& w : words) EXPECT_NE(text.find(w), std::string::npos) << text;
  }
}

}  // namespace
