#include "tensor/file_access.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <stdexcept>
#include <string_view>

#include "core/gnuplot_run.hpp"
#include "core/replace_file.hpp"

namespace tensor {

namespace {

std::runtime_error file_error(const std::string& path, const std::string& what) {
  return std::runtime_error("\"" + path + "\": " + what);
}

std::string errno_text(int e) { return std::strerror(e); }

// Closes a descriptor at the end of its scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::string read_input_file(const std::string& path, const std::string& what, int64_t max_bytes) {
  Descriptor d;
  d.fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (d.fd < 0) {
    const int e = errno;
    if (e == ELOOP) throw file_error(path, what + " is a symbolic link: give the file it points to");
    throw file_error(path, what + " cannot be opened: " + errno_text(e));
  }
  struct stat st {};
  if (::fstat(d.fd, &st) != 0 || !S_ISREG(st.st_mode))
    throw file_error(path, what + " is not a regular file");
  if (st.st_size > max_bytes)
    throw file_error(path, what + " holds " + std::to_string(st.st_size) + " bytes, more than the " +
                               std::to_string(max_bytes) + " a sample may have");
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(d.fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) throw file_error(path, what + " cannot be read: " + errno_text(errno));
    if (n == 0) break;  // shrank while read
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

std::FILE* open_regular_file(const std::string& path, const std::string& what) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw std::invalid_argument(what + " \"" + path + "\" cannot be opened: " + errno_text(errno));
  struct stat st {};
  const int flags = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    throw std::invalid_argument(what + " \"" + path + "\" is not a regular file (" +
                                (S_ISDIR(st.st_mode) ? "a folder" : S_ISFIFO(st.st_mode) ? "a FIFO" : "a device or socket") +
                                "): a file was expected");
  }
  std::FILE* f = ::fdopen(fd, "r");
  if (f == nullptr) {
    ::close(fd);
    throw std::invalid_argument(what + " \"" + path + "\" cannot be opened: " + errno_text(errno));
  }
  return f;
}

void write_file_atomically(const std::string& path, const std::string& bytes) {
  core::ReplaceOptions options;
  options.sync = true;
  std::string why;
  if (!core::replace_file(path, bytes, why, options)) throw file_error(path, why);
}

bool run_gnuplot(const std::string& dir, const std::string& script) {
  const core::GnuplotRun run = core::run_gnuplot(dir, script);
  if (run.found && !run.ok) std::fprintf(stderr, "tensor_upscale: %s\n", run.why.c_str());
  return run.ok;
}

}  // namespace tensor
