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

TEST(MemoryRoom, RoomUnderALimitAndBytesInFullAndInGigabytes) {
  EXPECT_EQ(core::room_under(-1, 123), -1);  // no limit: nothing known
  EXPECT_EQ(core::room_under(1000, 400), 600);
  EXPECT_EQ(core::room_under(1000, 5000), 0);  // already over: no room, not a negative one
  EXPECT_EQ(core::room_under(1000, -1), 1000);  // size unknown
  EXPECT_EQ(core::bytes_text(1234567890), "1234567890 bytes (1.235 GB)");
}

// Runs `check` in a child under an address-space limit of `limit` bytes;
// the child's exit status is the number of failed expectations.
int in_child_under_limit(std::int64_t limit, int (*check)(std::int64_t)) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const rlimit r{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    if (::setrlimit(RLIMIT_AS, &r) != 0) ::_exit(100);
    ::_exit(check(limit));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

int room_is_bounded_by_the_limit(std::int64_t limit) {
  int failed = 0;
  const core::MemoryRoom before = core::memory_room();
  failed += before.bytes < 0 || before.bytes > limit;
  failed += before.source.find("ulimit -v") == std::string::npos;
  // 64 MB more of the address space in use: the room falls by as much
  // (other mappings of the process may come and go by a few pages).
  std::vector<char> block(64 << 20, 1);
  const core::MemoryRoom after = core::memory_room();
  const std::int64_t fell = before.bytes - after.bytes;
  failed += fell < (60 << 20) || fell > (80 << 20);
  failed += block[12345] != 1;
  return failed;
}

int a_need_above_the_room_is_refused(std::int64_t limit) {
  try {
    core::require_memory(2 * limit, "the test's array");
  } catch (const core::MemoryShort& e) {
    const std::string text = e.what();
    int failed = e.needed_bytes != 2 * limit;
    failed += e.available_bytes <= 0 || e.available_bytes > limit;
    failed += text.find("the test's array needs " + core::bytes_text(2 * limit)) != 0;
    failed += text.find("are available (the address-space limit (ulimit -v)") == std::string::npos;
    try {
      core::require_memory(1 << 20, "a small array");  // well within the room: accepted
    } catch (...) {
      ++failed;
    }
    return failed;
  }
  return 50;
}

TEST(MemoryRoom, AnAddressSpaceLimitBoundsTheRoom) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer itself needs more address space";
#endif
  // The test process maps far less than 3 GB but not far less than 0.5 GB
  // with its thread stacks and libraries: 3 GB leaves room to grow by 64 MB.
  const std::int64_t limit = std::int64_t{3} << 30;
  EXPECT_EQ(in_child_under_limit(limit, room_is_bounded_by_the_limit), 0);
  EXPECT_EQ(in_child_under_limit(limit, a_need_above_the_room_is_refused), 0);
}

TEST(MemoryRoom, WithoutALimitTheMachinesFreeMemoryBounds) {
  const core::MemoryRoom room = core::memory_room();
  rlimit r{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &r), 0);
  if (r.rlim_cur != RLIM_INFINITY || room.bytes < 0) GTEST_SKIP() << "an address-space limit or no /proc here";
  EXPECT_NE(room.source.find("MemAvailable"), std::string::npos) << room.source;
  EXPECT_GT(room.bytes, 0);
}

}  // namespace
