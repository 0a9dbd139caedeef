#include "core/signal_record.hpp"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/replace_file.hpp"
#include "core/run_lock.hpp"

namespace core {

namespace {

// Two slots of records, the handler reading the one not being rebuilt.
struct Records {
  std::string terminate, interrupt, hangup;
};
Records g_records[2];
volatile sig_atomic_t g_slot = -1;
char g_record_path[256], g_part_path[256], g_notice[256];

void copy_bounded(char (&to)[256], const std::string& from) {
  const std::size_t n = from.size() < sizeof to - 1 ? from.size() : sizeof to - 1;
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

const std::string& record_of(const Records& r, int sig) {
  return sig == SIGINT ? r.interrupt : sig == SIGHUP ? r.hangup : r.terminate;
}

void on_stop_signal(int sig) {
  const int saved = errno;
  if (g_slot >= 0 && g_record_path[0] != '\0') {
    const std::string& text = record_of(g_records[g_slot], sig);
    replace_file_from_handler(g_part_path, g_record_path, text.data(), text.size());
  }
  ssize_t ignored = ::write(STDERR_FILENO, g_notice, std::strlen(g_notice));
  (void)ignored;
  release_working_folder();
  ::signal(sig, SIG_DFL);
  ::raise(sig);  // delivered, with its default action, when the handler returns
  errno = saved;
}

// The disposition of the three signals as the process found them, taken
// once before the first handler is installed.
struct StartDisposition {
  bool term = false, intr = false, hup = false;
};
const StartDisposition& start_disposition() {
  static const StartDisposition d = [] {
    auto ignored = [](int sig) {
      struct sigaction old {};
      return ::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN;
    };
    return StartDisposition{ignored(SIGTERM), ignored(SIGINT), ignored(SIGHUP)};
  }();
  return d;
}

}  // namespace

bool ignored_at_start(int sig) {
  const StartDisposition& d = start_disposition();
  return sig == SIGTERM ? d.term : sig == SIGINT ? d.intr : sig == SIGHUP ? d.hup : false;
}

void prepare_signal_records(const std::string& terminate, const std::string& interrupt, const std::string& hangup) {
  const int next = g_slot == 0 ? 1 : 0;
  g_records[next] = {terminate, interrupt, hangup};
  g_slot = next;
}

void catch_stop_signals(const std::string& record_path, const std::string& part_path, const std::string& notice) {
  start_disposition();
  copy_bounded(g_record_path, record_path);
  copy_bounded(g_part_path, part_path);
  copy_bounded(g_notice, notice);
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&sa.sa_mask, sig);
  for (int sig : {SIGTERM, SIGINT, SIGHUP})
    if (!ignored_at_start(sig)) ::sigaction(sig, &sa, nullptr);
}

}  // namespace core
