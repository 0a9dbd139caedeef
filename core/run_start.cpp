#include "core/run_start.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <new>

#include "core/stop.hpp"

namespace core {

namespace {

// Memory given back when an allocation fails, so that the stop itself can
// still format and flush what it writes.
char* g_reserve = nullptr;

[[noreturn]] void out_of_memory() {
  delete[] g_reserve;
  g_reserve = nullptr;
  std::set_new_handler(nullptr);  // a second failure while stopping throws
  stop(kStopOutOfMemory, {},
       "out of memory: an allocation of the run failed (the machine's memory or the process's address-space "
       "limit, ulimit -v, is too small for this grid)");
}

// An exception nobody caught: a std::bad_alloc (from an allocation outside
// operator new, e.g. of mapped pages) is the out-of-memory stop too.
[[noreturn]] void on_terminate() {
  if (const std::exception_ptr e = std::current_exception()) {
    try {
      std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
      out_of_memory();
    } catch (...) {
    }
  }
  std::abort();
}

// Opens /dev/null on descriptor `fd` when it is closed; false when that fails.
bool open_if_closed(int fd) {
  if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return true;
  const int got = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
  if (got < 0) return false;
  if (got == fd) return true;
  const bool ok = ::dup2(got, fd) == fd;
  ::close(got);
  return ok;
}

}  // namespace

void start_run() {
  static bool started = false;
  if (started) return;
  started = true;
  for (int fd = 0; fd <= 2; ++fd)
    if (!open_if_closed(fd)) {
      // Nowhere to say it safely: the descriptor stays closed.
      std::_Exit(kStopOutputError);
    }
  g_reserve = new char[1 << 16];
  std::set_new_handler(out_of_memory);
  std::set_terminate(on_terminate);
}

}  // namespace core
