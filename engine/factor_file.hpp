// The factor blocks of an out-of-core factorisation: one scratch file in a
// folder the user names, written front by front as the fronts are computed
// and read back, a run of consecutive fronts at a time, by the solves.
//
// The file is created with O_CREAT | O_EXCL | O_NOFOLLOW (never through a
// link planted at its name, never over an existing file) and unlinked at
// once: it lives only as long as its descriptor, so it is gone at the end,
// on a stop and on a crash alike.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/analysis.hpp"

namespace engine::detail {

using WriteCall = decltype(Options{}.out_of_core_write);

class FactorFile {
 public:
  // Creates the file at `path` (its folder must exist). `write` stands in
  // for pwrite (tests simulate a full disk with it); empty: pwrite.
  explicit FactorFile(const std::string& path, WriteCall write = {});
  ~FactorFile();
  FactorFile(const FactorFile&) = delete;
  FactorFile& operator=(const FactorFile&) = delete;

  // `words` complex words at word offset `at`; safe from several threads.
  // A full disk raises DiskFull, any other failure std::runtime_error.
  void write(Index at, const zcomplex* data, Index words) const;
  void read(Index at, zcomplex* data, Index words) const;
  std::int64_t size_bytes() const;  // of the file as the system sees it
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  WriteCall write_;
  int fd_ = -1;
};

// A fresh name in `dir` for this process's next factor file.
std::string factor_file_path(const std::string& dir);

// Bytes free for an unprivileged user on the file system of `dir`, -1 unknown.
std::int64_t free_disk_bytes(const std::string& dir);

// The panels (factor blocks) of the fronts, in the factor store or read
// back from a factor file into a buffer a run of consecutive fronts at a
// time. Fronts are asked for in ascending or in descending order.
class FactorBlocks {
 public:
  FactorBlocks(const Fronts& f, const zcomplex* store) : f_(f), store_(store) {}
  FactorBlocks(const Fronts& f, const FactorFile& file, Index buffer_words);
  const zcomplex* ascending(Index s);
  const zcomplex* descending(Index s);
  bool in_memory() const { return store_ != nullptr; }  // then any order, from any thread

 private:
  void load(Index lo, Index hi);
  const Fronts& f_;
  const zcomplex* store_ = nullptr;
  const FactorFile* file_ = nullptr;
  Index budget_ = 0, lo_ = 0, hi_ = 0;  // fronts lo_ .. hi_-1 are in buffer_
  std::vector<zcomplex> buffer_;
};

// Words of the read buffer of the out-of-core solves: the largest panel,
// or a run of fronts of an eighth of the factor up to 64 MB if larger.
Index read_buffer_words(const Fronts& f);

// Words of the largest panel (m x nc) of a front.
Index largest_panel_words(const Fronts& f);

}  // namespace engine::detail
