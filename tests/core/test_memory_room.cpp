// The memory a process can still have, against limits set for real in a
// child process (ulimit -v, ulimit -d): the room never exceeds the limit,
// shrinks as the process grows, and a need above it is refused with a
// sentence naming both numbers.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/memory_room.hpp"

namespace {

// The room never exceeds the limit and falls as the process grows; a need
// above it is refused with a sentence naming both numbers, a small one taken.
int room_under_the_limit(std::int64_t limit) {
  const core::MemoryRoom before = core::memory_room();
  int failed = before.bytes < 0 || before.bytes > limit;
  failed += before.source.find("ulimit -v") == std::string::npos;
  // 64 MB more of the address space in use: the room falls by as much
  // (other mappings of the process may come and go by a few pages).
  std::vector<char> block(64 << 20, 1);
  const std::int64_t fell = before.bytes - core::memory_room().bytes;
  failed += fell < (60 << 20) || fell > (80 << 20) || block[12345] != 1;
  try {
    core::require_memory(2 * limit, "the test's array");
    return failed + 50;
  } catch (const core::MemoryShort& e) {
    const std::string text = e.what();
    failed += e.needed_bytes != 2 * limit || e.available_bytes <= 0 || e.available_bytes > limit;
    failed += text.find("the test's array needs " + core::bytes_text(2 * limit)) != 0;
    failed += text.find("are available (the address-space limit (ulimit -v)") == std::string::npos;
  }
  try {
    core::require_memory(1 << 20, "a small array");  // well within the room: accepted
  } catch (...) {
    ++failed;
  }
  return failed;
}

TEST(MemoryRoom, AnAddressSpaceLimitBoundsTheRoom) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer itself needs more address space";
#endif
  // The test process maps far less than 3 GB but not far less than 0.5 GB
  // with its thread stacks and libraries: 3 GB leaves room to grow by 64 MB.
  // The child's exit status is the number of failed expectations.
  const std::int64_t limit = std::int64_t{3} << 30;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const rlimit r{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    ::_exit(::setrlimit(RLIMIT_AS, &r) != 0 ? 100 : room_under_the_limit(limit));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(MemoryRoom, WithoutALimitTheMachinesFreeMemoryBounds) {
  EXPECT_EQ(core::room_under(1000, 5000), 0);  // already over: no room, not a negative one
  EXPECT_EQ(core::bytes_text(1234567890), "1234567890 bytes (1.235 GB)");
  const core::MemoryRoom room = core::memory_room();
  rlimit r{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &r), 0);
  if (r.rlim_cur != RLIM_INFINITY || room.bytes < 0) GTEST_SKIP() << "an address-space limit or no /proc here";
  EXPECT_NE(room.source.find("MemAvailable"), std::string::npos) << room.source;
  EXPECT_GT(room.bytes, 0);
}

}  // namespace
