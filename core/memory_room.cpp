#include "core/memory_room.hpp"

#include <sys/resource.h>

#include <cstdio>
#include <cstring>

namespace core {

namespace {

// A "Key:   value kB" line of a /proc file, in bytes; -1 when absent.
std::int64_t proc_kilobytes(const char* path, const char* key) {
  std::FILE* f = std::fopen(path, "r");
  if (!f) return -1;
  char line[256];
  std::int64_t bytes = -1;
  const std::size_t len = std::strlen(key);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, key, len) == 0) {
      long long kb = 0;
      if (std::sscanf(line + len, "%lld", &kb) == 1) bytes = static_cast<std::int64_t>(kb) * 1024;
      break;
    }
  std::fclose(f);
  return bytes;
}

std::int64_t soft_limit(int resource) {
  rlimit r{};
  if (::getrlimit(resource, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return -1;
  return static_cast<std::int64_t>(r.rlim_cur);
}

void take_smaller(MemoryRoom& room, std::int64_t bytes, const char* source) {
  if (bytes < 0) return;
  if (room.bytes < 0 || bytes < room.bytes) room = {bytes, source};
}

}  // namespace

std::int64_t room_under(std::int64_t limit, std::int64_t used) {
  if (limit < 0) return -1;
  return used >= limit ? 0 : limit - (used > 0 ? used : 0);
}

MemoryRoom memory_room() {
  MemoryRoom room;
  take_smaller(room, proc_kilobytes("/proc/meminfo", "MemAvailable:"), "MemAvailable of /proc/meminfo");
  take_smaller(room, room_under(soft_limit(RLIMIT_AS), proc_kilobytes("/proc/self/status", "VmSize:")),
               "the address-space limit (ulimit -v) less the process's size");
  take_smaller(room, room_under(soft_limit(RLIMIT_DATA), proc_kilobytes("/proc/self/status", "VmData:")),
               "the data limit (ulimit -d) less the process's data");
  return room;
}

std::string bytes_text(std::int64_t bytes) {
  char text[96];
  std::snprintf(text, sizeof text, "%lld bytes (%.3f GB)", static_cast<long long>(bytes),
                static_cast<double>(bytes) / 1e9);
  return text;
}

void require_memory(std::int64_t needed, const std::string& what) {
  const MemoryRoom room = memory_room();
  if (room.bytes < 0 || needed <= room.bytes) return;
  throw MemoryShort(needed, room.bytes,
                    what + " needs " + bytes_text(needed) + " but " + bytes_text(room.bytes) + " are available (" +
                        room.source + ")");
}

}  // namespace core
