// How many threads the memory allows. OpenBLAS gives each of its threads a
// working buffer of its own (128 MiB of address space on x86-64) the
// moment it first works; under an address-space limit (ulimit -v) a thread
// count beyond what fits makes OpenBLAS retry its allocation forever. So
// the count handed to OpenBLAS is bounded by the room left under the limit.
#pragma once

#include <cstdint>

namespace engine::detail {

// Address space one OpenBLAS thread takes: its buffer and its stack, with a margin.
inline constexpr std::int64_t kBlasThreadBytes = 160ll << 20;

// The largest count from 1 to `wanted` whose threads fit in `room` bytes
// (room < 0: no limit).
int threads_within(int wanted, std::int64_t room);

// The room left under this process's address-space limit, or -1 when it
// has none.
std::int64_t address_space_room();

}  // namespace engine::detail
