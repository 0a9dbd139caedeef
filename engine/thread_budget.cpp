#include "engine/thread_budget.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace engine::detail {

int threads_within(int wanted, std::int64_t room) {
  if (wanted < 1) return 1;
  if (room < 0) return wanted;
  return static_cast<int>(std::clamp<std::int64_t>(room / kBlasThreadBytes, 1, wanted));
}

std::int64_t address_space_room() {
  struct rlimit lim {};
  if (::getrlimit(RLIMIT_AS, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return -1;
  // The address space in use: the first field of /proc/self/statm, in pages.
  long long pages = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%lld", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  const std::int64_t used = pages * static_cast<std::int64_t>(::sysconf(_SC_PAGESIZE));
  const auto limit = static_cast<std::int64_t>(std::min<rlim_t>(lim.rlim_cur, INT64_MAX));
  return std::max<std::int64_t>(limit - used, 0);
}

}  // namespace engine::detail
