#include "core/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace core {

namespace {

constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

// What a name that cannot be opened with O_NOFOLLOW is, in words.
std::string open_failure(const std::string& name, int err) {
  struct stat st {};
  if (err == ELOOP || (::lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)))
    return "is a symbolic link; an output is never written through a link: remove it";
  if (err == ENXIO || err == EWOULDBLOCK)
    return "is not a regular file (a FIFO or device); remove it";
  return std::strerror(err);
}

}  // namespace

int create_output(const std::string& name, std::string& why) {
  // Opened without truncation and without waiting: what the name is gets
  // checked on the open descriptor before a byte of it changes.
  const int fd = ::open(name.c_str(), kCreateFlags, 0644);
  if (fd < 0) {
    why = open_failure(name, errno);
    return -1;
  }
  // A character device (/dev/null to discard a file) can only have been
  // put there by root; a FIFO would block, a socket or block device is no
  // place for a table.
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0;
  if (!ok || !(S_ISREG(st.st_mode) || S_ISCHR(st.st_mode))) {
    ::close(fd);
    why = "is not a regular file (a FIFO, socket or device); remove it";
    return -1;
  }
  if (S_ISREG(st.st_mode) && st.st_nlink > 1) {
    ::close(fd);
    why = "has other hard links; writing it would change those files too: remove it";
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if ((S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) || flags < 0 ||
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    why = std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

int create_fresh(const char* name, std::string* why) {
  ::unlink(name);  // a directory stays and makes the creation fail
  const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0 && why != nullptr) *why = std::strerror(errno);
  return fd;
}

}  // namespace core
