// Resident memory of this process from /proc/self/status, and a reset of
// its peak, so that a benchmark can measure the peak of one phase.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace engine_bench {

// VmRSS or VmHWM in bytes, -1 when unknown.
inline std::int64_t status_bytes(const char* key) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long long kb = -1;
  const std::size_t len = std::strlen(key);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, key, len) == 0 && line[len] == ':') {
      std::sscanf(line + len + 1, "%lld", &kb);
      break;
    }
  std::fclose(f);
  return kb < 0 ? -1 : kb * 1024;
}

// Starts a new peak (VmHWM) at the present resident size.
inline void reset_peak() {
  if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) std::fputs("5", f), std::fclose(f);
}

}  // namespace engine_bench
