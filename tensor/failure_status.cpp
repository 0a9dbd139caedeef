#include "tensor/failure_status.hpp"

#include <new>

#include "core/memory_room.hpp"
#include "core/stop_codes.hpp"
#include "engine/sparse_solver.hpp"

namespace tensor {

namespace {

bool is_memory_short(const std::exception& e) {
  return dynamic_cast<const std::bad_alloc*>(&e) || dynamic_cast<const engine::OutOfMemory*>(&e) ||
         dynamic_cast<const core::MemoryShort*>(&e);
}

}  // namespace

int failure_status(const std::exception& e) { return is_memory_short(e) ? core::kStopOutOfMemory : 1; }

std::string failure_message(const std::exception& e) {
  if (!dynamic_cast<const std::bad_alloc*>(&e)) return e.what();
  const core::MemoryRoom room = core::memory_room();
  std::string text = "out of memory: an allocation of the run failed";
  if (room.bytes >= 0)
    text += "; with the failed step's memory given back, " + core::bytes_text(room.bytes) + " are free (" +
            room.source + ")";
  return text + " (the machine's memory or the process's address-space limit, ulimit -v, is too small for this "
                "sample: fewer cells, or --solver mumps with --out-of-core DIR)";
}

}  // namespace tensor
