// Replacing an output file as a whole: the new contents are written under a
// temporary name created afresh in the same folder (exclusively, never
// through a link), then renamed over the old name, so a reader sees the old
// file or the new one and never half of one, and a name planted as a link
// is never written through.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

struct ReplaceOptions {
  bool executable = false;     // mode 0755 instead of 0644
  bool sync = false;           // fsync before the rename
  bool refuse_odd_target = true;  // a link or non-regular file under the name is refused, not replaced
};

// Replaces `path` by `bytes`. False with `why` (the cause in words) when the
// file cannot be written; no temporary file is left behind.
bool replace_file(const std::string& path, std::string_view bytes, std::string& why, ReplaceOptions options = {});

// What is wrong with `path` as a name an output is renamed onto: empty when
// it is missing or a regular file of its own, else the sentence of refusal.
std::string odd_target(const std::string& path);

// Writes `size` bytes of `text` to the fixed temporary name `part`, created
// afresh, and renames it to `name`. Async-signal-safe (for the records a
// signal handler writes); false with errno set when it fails.
bool replace_file_from_handler(const char* part, const char* name, const char* text, std::size_t size);

}  // namespace core
