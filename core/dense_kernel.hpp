// Which instruction set the process's own dense kernels run on: the widest
// the processor offers, or the one named by the environment variable
// UPSCALE_KERNEL (plain, avx2 or avx512), so that every path can be run and
// checked on a machine that has it. A name that is unknown, or an
// instruction set the processor lacks, is refused with a sentence.
#pragma once

#include <string>
#include <string_view>

namespace core {

enum class KernelIsa { plain, avx2, avx512 };

const char* kernel_name(KernelIsa isa);

// Whether this processor runs the instruction set (avx2: AVX2 and FMA;
// avx512: AVX-512 F and DQ).
bool processor_runs(KernelIsa isa);

// The widest instruction set the processor runs.
KernelIsa widest_kernel();

// The kernel named by `value` (the text of UPSCALE_KERNEL; empty: the widest
// the processor runs), on a processor that runs what `runs` says; throws
// std::invalid_argument with the sentence for a refused name.
KernelIsa kernel_from(std::string_view value, bool (*runs)(KernelIsa));

// The kernel of this process: UPSCALE_KERNEL read once, checked against this
// processor. Throws std::invalid_argument as kernel_from.
KernelIsa process_kernel();

}  // namespace core
