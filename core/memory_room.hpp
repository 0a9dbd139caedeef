// How much more memory this process can have: the smaller of what the
// machine has free (MemAvailable) and what the process's address-space and
// data limits (ulimit -v, ulimit -d) leave above what it maps already.
// Large allocations are checked against it before they are made, so that a
// run short of memory stops with a sentence naming the bytes rather than
// with an exception from deep inside an allocation.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace core {

struct MemoryRoom {
  std::int64_t bytes = -1;  // -1: nothing is known (no /proc, no limit)
  std::string source;       // what bounds it, for the sentence
};

// Free bytes of the machine (MemAvailable), the room under RLIMIT_AS and
// under RLIMIT_DATA (limit less the process's current size): the smallest
// known one.
MemoryRoom memory_room();

// The room left under a limit of `limit` bytes by a process of `used`
// bytes; `limit` < 0 means unlimited (result -1).
std::int64_t room_under(std::int64_t limit, std::int64_t used);

// "1234567890 bytes (1.235 GB)".
std::string bytes_text(std::int64_t bytes);

// Throws core::MemoryShort when `needed` bytes for `what` exceed the room
// (nothing happens when the room is unknown).
void require_memory(std::int64_t needed, const std::string& what);

class MemoryShort : public std::exception {
 public:
  MemoryShort(std::int64_t needed, std::int64_t available, std::string text)
      : needed_bytes(needed), available_bytes(available), text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }
  std::int64_t needed_bytes, available_bytes;

 private:
  std::string text_;
};

}  // namespace core
