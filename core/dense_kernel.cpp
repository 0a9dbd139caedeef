#include "core/dense_kernel.hpp"

#include <cstdlib>
#include <stdexcept>

namespace core {

const char* kernel_name(KernelIsa isa) {
  return isa == KernelIsa::avx512 ? "avx512" : isa == KernelIsa::avx2 ? "avx2" : "plain";
}

bool processor_runs(KernelIsa isa) {
#if defined(__x86_64__)
  if (isa == KernelIsa::avx512) return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
  if (isa == KernelIsa::avx2) return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif
  return isa == KernelIsa::plain;
}

KernelIsa widest_kernel() {
  return processor_runs(KernelIsa::avx512) ? KernelIsa::avx512
         : processor_runs(KernelIsa::avx2) ? KernelIsa::avx2
                                           : KernelIsa::plain;
}

KernelIsa kernel_from(std::string_view value, bool (*runs)(KernelIsa)) {
  std::string offered;
  for (const KernelIsa isa : {KernelIsa::plain, KernelIsa::avx2, KernelIsa::avx512})
    if (runs(isa)) offered += std::string(offered.empty() ? "" : ", ") + kernel_name(isa);
  if (value.empty()) {
    for (const KernelIsa isa : {KernelIsa::avx512, KernelIsa::avx2})
      if (runs(isa)) return isa;
    return KernelIsa::plain;
  }
  for (const KernelIsa isa : {KernelIsa::plain, KernelIsa::avx2, KernelIsa::avx512}) {
    if (value != kernel_name(isa)) continue;
    if (runs(isa)) return isa;
    throw std::invalid_argument("UPSCALE_KERNEL=" + std::string(value) + ": this processor lacks the " +
                                (isa == KernelIsa::avx512 ? "AVX-512 (F and DQ)" : "AVX2 and FMA") +
                                " instructions of that kernel; it runs " + offered);
  }
  throw std::invalid_argument("UPSCALE_KERNEL=" + std::string(value) +
                              ": no such kernel; expected plain, avx2 or avx512 (this processor runs " + offered +
                              ")");
}

KernelIsa process_kernel() {
  static const char* const value = std::getenv("UPSCALE_KERNEL");
  return kernel_from(value ? value : "", processor_runs);
}

}  // namespace core
