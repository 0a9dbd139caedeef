// The scratch file of the out-of-core factors, and the solves' view of the
// factor blocks in memory or on disk.
#include "engine/factor_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace engine::detail {

namespace {

std::string system_error(int err) { return std::strerror(err); }

bool disk_is_full(int err) { return err == ENOSPC || err == EDQUOT || err == EFBIG; }

}  // namespace

FactorFile::FactorFile(const std::string& path, WriteCall write) : path_(path), write_(std::move(write)) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    const int err = errno;
    throw std::runtime_error("sparse engine: the out-of-core factor file " + path + " cannot be created (" +
                             system_error(err) + "; expected a new file in an existing, writable folder" +
                             (err == EEXIST || err == ELOOP ? ", and nothing, not even a link, at its name" : "") +
                             ")");
  }
  ::unlink(path.c_str());  // removed when the descriptor closes, whatever ends the run
}

FactorFile::~FactorFile() {
  if (fd_ >= 0) ::close(fd_);
}

void FactorFile::write(Index at, const zcomplex* data, Index words) const {
  const char* p = reinterpret_cast<const char*>(data);
  std::int64_t left = 16 * words, offset = 16 * at;
  while (left > 0) {
    const std::int64_t done = write_ ? write_(fd_, p, static_cast<std::size_t>(left), offset)
                                     : ::pwrite(fd_, p, static_cast<std::size_t>(left), static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      const int err = done == 0 ? ENOSPC : errno;
      const std::string where = std::to_string(left) + " bytes at byte " + std::to_string(offset) + " of " + path_;
      if (disk_is_full(err))
        throw DiskFull("sparse engine: the disk of the out-of-core factors is full (" + system_error(err) +
                       " writing " + where + "); free room there or name a folder on a larger disk");
      throw std::runtime_error("sparse engine: the out-of-core factors cannot be written (" + system_error(err) +
                               " writing " + where + ")");
    }
    p += done, left -= done, offset += done;
  }
}

void FactorFile::read(Index at, zcomplex* data, Index words) const {
  char* p = reinterpret_cast<char*>(data);
  std::int64_t left = 16 * words, offset = 16 * at;
  while (left > 0) {
    const ssize_t done = ::pread(fd_, p, static_cast<std::size_t>(left), static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0)
      throw std::runtime_error("sparse engine: the out-of-core factors cannot be read back (" +
                               (done == 0 ? std::string("the file ends early") : system_error(errno)) + " reading " +
                               std::to_string(left) + " bytes at byte " + std::to_string(offset) + " of " + path_ + ")");
    p += done, left -= done, offset += done;
  }
}

std::int64_t FactorFile::size_bytes() const {
  struct stat st {};
  return ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

std::string factor_file_path(const std::string& dir) {
  static std::atomic<long> serial{0};
  return dir + "/upscale_factors." + std::to_string(::getpid()) + "." + std::to_string(serial++);
}

std::int64_t free_disk_bytes(const std::string& dir) {
  struct statvfs st {};
  if (::statvfs(dir.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
}

Index largest_panel_words(const Fronts& f) {
  Index words = 1;
  for (Index s = 0; s < f.nsuper; ++s) words = std::max(words, f.m(s) * f.nc(s));
  return words;
}

Index read_buffer_words(const Fronts& f) {
  const Index run = std::min<Index>(f.factor_ptr.back() / 8, Index{4} << 20);  // 64 MB of complex words
  return std::max(largest_panel_words(f), run);
}

FactorBlocks::FactorBlocks(const Fronts& f, const FactorFile& file, Index buffer_words)
    : f_(f), file_(&file), budget_(buffer_words) {}

void FactorBlocks::load(Index lo, Index hi) {
  const Index words = f_.factor_ptr[hi] - f_.factor_ptr[lo];
  buffer_.resize(static_cast<std::size_t>(std::max<Index>(budget_, words)));
  file_->read(f_.factor_ptr[lo], buffer_.data(), words);
  lo_ = lo, hi_ = hi;
}

const zcomplex* FactorBlocks::ascending(Index s) {
  if (store_) return store_ + f_.factor_ptr[s];
  if (s < lo_ || s >= hi_) {
    Index hi = s + 1;
    while (hi < f_.nsuper && f_.factor_ptr[hi + 1] - f_.factor_ptr[s] <= budget_) ++hi;
    load(s, hi);
  }
  return buffer_.data() + (f_.factor_ptr[s] - f_.factor_ptr[lo_]);
}

const zcomplex* FactorBlocks::descending(Index s) {
  if (store_) return store_ + f_.factor_ptr[s];
  if (s < lo_ || s >= hi_) {
    Index lo = s;
    while (lo > 0 && f_.factor_ptr[s + 1] - f_.factor_ptr[lo - 1] <= budget_) --lo;
    load(lo, s + 1);
  }
  return buffer_.data() + (f_.factor_ptr[s] - f_.factor_ptr[lo_]);
}

}  // namespace engine::detail
