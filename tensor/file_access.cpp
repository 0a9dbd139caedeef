#include "tensor/file_access.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string_view>

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

void write_all(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw file_error(path, "cannot be written: " + errno_text(n < 0 ? errno : EIO));
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// A temporary name beside `path` that no other writer uses at the same time.
std::string temporary_name(const std::string& path, int attempt) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path p(path);
  const std::string base = "." + p.filename().string() + "." + std::to_string(::getpid()) + "." +
                           std::to_string(counter++) + "." + std::to_string(attempt) + ".tmp";
  return (p.parent_path() / base).string();
}

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

void write_file_atomically(const std::string& path, const std::string& bytes) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) throw file_error(path, "is a symbolic link; an output is never written through a link");
    if (!S_ISREG(st.st_mode)) throw file_error(path, "exists and is not a regular file; it is not replaced");
  }
  Descriptor d;
  std::string temp;
  for (int attempt = 0; d.fd < 0; ++attempt) {
    temp = temporary_name(path, attempt);
    d.fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (d.fd < 0 && (errno != EEXIST || attempt == 100))
      throw file_error(path, "cannot be created: " + errno_text(errno));
  }
  try {
    write_all(d.fd, bytes, path);
    if (::fsync(d.fd) != 0) throw file_error(path, "cannot be written to disk: " + errno_text(errno));
    const int fd = d.fd;
    d.fd = -1;
    if (::close(fd) != 0) throw file_error(path, "cannot be written: " + errno_text(errno));
    if (::rename(temp.c_str(), path.c_str()) != 0)
      throw file_error(path, "cannot be put in place: " + errno_text(errno));
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

bool run_gnuplot(const std::string& dir, const std::string& script) {
  const char* path = std::getenv("PATH");
  std::string gnuplot;
  for (std::string_view rest = path ? path : ""; gnuplot.empty() && !rest.empty();) {
    const std::size_t colon = rest.find(':');
    std::string folder(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/gnuplot";
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
      gnuplot = candidate;
  }
  if (gnuplot.empty()) return false;
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    char* argv[] = {gnuplot.data(), const_cast<char*>(script.c_str()), nullptr};
    ::execv(gnuplot.c_str(), argv);
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tensor
