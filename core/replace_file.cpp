#include "core/replace_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "core/output_file.hpp"

namespace core {

namespace {

// Writes all of `size` bytes; false with errno set. Async-signal-safe.
bool write_all(int fd, const char* data, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t w = ::write(fd, data + done, size - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(w);
  }
  return true;
}

// A temporary name beside `path` that no other writer of this process or
// of another uses at the same time.
std::string temporary_name(const std::string& path, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + base + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + "." +
         std::to_string(attempt) + ".tmp";
}

}  // namespace

std::string odd_target(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return "";
  if (S_ISLNK(st.st_mode)) return "is a symbolic link; an output is never written through a link: remove it";
  if (!S_ISREG(st.st_mode)) return "exists and is not a regular file (a folder, FIFO, socket or device): remove it";
  return "";
}

bool replace_file(const std::string& path, std::string_view bytes, std::string& why, ReplaceOptions options) {
  if (options.refuse_odd_target) {
    why = odd_target(path);
    if (!why.empty()) return false;
  }
  std::string temp;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0; ++attempt) {
    temp = temporary_name(path, attempt);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, options.executable ? 0755 : 0644);
    if (fd < 0 && (errno != EEXIST || attempt == 100)) {
      why = std::string("cannot be created: ") + std::strerror(errno);
      return false;
    }
  }
  bool ok = write_all(fd, bytes.data(), bytes.size()) && (!options.executable || ::fchmod(fd, 0755) == 0) &&
            (!options.sync || ::fsync(fd) == 0);
  int err = errno;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    if (err == 0) err = errno;
    why = std::string("cannot be written: ") + std::strerror(err != 0 ? err : EIO);
  } else if (::rename(temp.c_str(), path.c_str()) != 0) {
    why = std::string("cannot be put in place: ") + std::strerror(errno);
    ok = false;
  }
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool replace_file_from_handler(const char* part, const char* name, const char* text, std::size_t size) {
  const int fd = create_fresh(part, nullptr);
  if (fd < 0) return false;
  bool ok = write_all(fd, text, size);
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(part, name) == 0;
  if (!ok) {
    const int err = errno;
    ::unlink(part);
    errno = err;
  }
  return ok;
}

}  // namespace core
