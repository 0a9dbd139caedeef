#include "core/run_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "core/output_file.hpp"
#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"

namespace core {

namespace {

int g_lock_fd = -1;  // held until the process ends
char g_lock_path[4096] = ".upscale_run.lock";  // the lock file's name, for the signal handlers
std::string g_folder_words = "this working folder";

// "PID PROGRAM" of the holder, as it wrote it; empty when unreadable.
std::string holder_of(int fd) {
  char buf[256];
  const ssize_t got = ::pread(fd, buf, sizeof buf - 1, 0);
  std::string s(buf, got > 0 ? static_cast<std::size_t>(got) : 0);
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return s;
}

[[noreturn]] void busy(int fd) {
  const std::string holder = holder_of(fd);
  std::string who = "another run";
  const std::size_t blank = holder.find(' ');
  if (blank != std::string::npos)
    who = holder.substr(blank + 1) + " (process " + holder.substr(0, blank) + ")";
  ::close(fd);
  raise_fail(kStopFolderBusy, g_folder_words + " is in use by " + who + ", which holds \"" + kRunLockName +
                            "\": two runs in one folder would write the same result files; wait for it to end "
                            "or run in another folder");
}

// The lock file, opened without following a link and checked to be a
// regular file of its own.
int open_lock_file() {
  const int fd = ::open(g_lock_path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1) return fd;
  const int err = errno;
  std::string why = fd < 0 ? std::strerror(err) : "is not a regular file of its own: remove it";
  if (fd >= 0) ::close(fd);
  else if (err == ELOOP) why = "is a symbolic link; a run never writes through a link: remove it";
  raise_fail(kStopOutputError, std::string("cannot create the lock file \"") + kRunLockName + "\" of the working folder: " + why);
}

// Whether the name still leads to the file behind `fd`: a run that ended
// removes its lock file, and a file removed after we opened it locks nothing.
bool still_named(int fd) {
  struct stat held {}, named {};
  return ::fstat(fd, &held) == 0 && ::lstat(g_lock_path, &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

void lock_folder(const std::string& dir, std::string_view program) {
  if (g_lock_fd >= 0) return;
  const std::string path = dir + "/" + kRunLockName;
  if (path.size() >= sizeof g_lock_path)
    raise_fail(kStopOutputError, "the folder name \"" + dir.substr(0, 80) + "...\" is too long for its lock file");
  path.copy(g_lock_path, path.size());
  g_lock_path[path.size()] = '\0';
  g_folder_words = "the folder \"" + dir + "\"";
  lock_working_folder(program);
}

void lock_working_folder(std::string_view program) {
  if (g_lock_fd >= 0) return;
  for (int attempt = 0;; ++attempt) {
    const int fd = open_lock_file();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) busy(fd);
      const int err = errno;
      ::close(fd);
      raise_fail(kStopOutputError, std::string("cannot lock \"") + kRunLockName + "\": " + std::strerror(err));
    }
    if (still_named(fd)) {
      g_lock_fd = fd;
      break;
    }
    ::close(fd);
    if (attempt == 100) raise_fail(kStopFolderBusy, std::string("the lock file \"") + kRunLockName + "\" keeps changing");
  }
  const std::string who = std::to_string(::getpid()) + " " + std::string(program) + "\n";
  if (::ftruncate(g_lock_fd, 0) != 0 || ::pwrite(g_lock_fd, who.data(), who.size(), 0) != static_cast<ssize_t>(who.size()))
    raise_fail(kStopOutputError, std::string("cannot write the lock file \"") + kRunLockName + "\": " + std::strerror(errno));
}

void release_working_folder() {
  if (g_lock_fd < 0) return;
  ::unlink(g_lock_path);
  ::close(g_lock_fd);
  g_lock_fd = -1;
}

}  // namespace core
