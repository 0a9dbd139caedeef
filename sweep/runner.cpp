// Running the points: a pool of child processes, one per point directory.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "sweep/sweep.hpp"

namespace sweep {

namespace {

volatile sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

struct Running {
  pid_t pid;
  fs::path dir;
  std::string deck_sha256;
  std::chrono::steady_clock::time_point start;
  bool killed = false;
};

void write_all(int fd, const char* s) {
  size_t n = std::strlen(s);
  while (n > 0) {
    ssize_t w = ::write(fd, s, n);
    if (w <= 0) return;
    s += w;
    n -= static_cast<size_t>(w);
  }
}

// Starts `exe` in `dir`. Everything the child needs is prepared before the
// fork; the child only opens, duplicates and executes. The child is killed
// when the sweep dies, however it dies: an orphan run would go on writing
// its result files into a directory that a later sweep may have given to
// another point.
pid_t start(const std::string& exe, const std::vector<std::string>& args, const fs::path& dir) {
  const pid_t parent = ::getpid();
  std::string d = dir.string();
  std::string in = (dir / "input.deck").string();
  std::string out = (dir / "report.txt").string();
  std::string err = (dir / "stderr.txt").string();
  std::string failed = "upscale_sweep: cannot run " + exe + ": ";
  std::vector<char*> argv{const_cast<char*>(exe.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(125);
  // The report and error files were removed before the fork: they are
  // created afresh, never through a link.
  int fi = ::open(in.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  int fo = ::open(out.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  int fe = ::open(err.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fi >= 0) ::fcntl(fi, F_SETFL, 0);
  if (fi < 0 || fo < 0 || fe < 0 || ::dup2(fi, 0) < 0 || ::dup2(fo, 1) < 0 || ::dup2(fe, 2) < 0 ||
      ::chdir(d.c_str()) != 0)
    ::_exit(126);
  ::execv(exe.c_str(), argv.data());
  int e = errno;
  write_all(2, failed.c_str());
  write_all(2, std::strerror(e));
  write_all(2, "\n");
  ::_exit(127);
}

// Records how a run ended: its status file, written last, with the digest
// of the deck it was started on; a run stopped at the time limit says so.
Status finish(const Running& r, int wst, double timeout_s, int normal) {
  Status st;
  st.normal = normal;
  st.signal = WIFSIGNALED(wst);
  st.code = st.signal ? WTERMSIG(wst) : WEXITSTATUS(wst);
  st.deck_sha256 = r.deck_sha256;
  if (r.killed) {
    const int f = ::open((r.dir / "stderr.txt").c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (f >= 0) {
      char text[96];
      std::snprintf(text, sizeof text, "upscale_sweep: stopped after the time limit of %g s\n", timeout_s);
      write_all(f, text);
      ::close(f);
    }
  }
  try {
    write_status(r.dir, st);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "\nupscale_sweep: %s\n", e.what());
  }
  return st;
}

}  // namespace

std::string progress_text(int done, int total, int failed, double seconds, int width) {
  int filled = total > 0 ? static_cast<int>(static_cast<long>(width) * done / total) : width;
  std::string bar = "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
  char tail[128];
  std::snprintf(tail, sizeof tail, " %d/%d", done, total);
  bar += tail;
  if (failed > 0) {
    std::snprintf(tail, sizeof tail, "  %d failed", failed);
    bar += tail;
  }
  std::snprintf(tail, sizeof tail, "  %.1f s", seconds);
  return bar + tail;
}

// The progress bar: on a terminal redrawn in place every half second; into a
// file or a pipe a line at the start, at every tenth of the points and at the
// end.
class Progress {
 public:
  using clock = std::chrono::steady_clock;
  Progress(bool on, int total) : on_(on), tty_(::isatty(2)), total_(total) {}

  void point_done(bool ok) {
    ++done_;
    if (!ok) ++failed_;
    show(true);
  }
  void tick() {
    if (tty_ && clock::now() - last_draw_ > std::chrono::milliseconds(500)) show(false);
  }
  void show(bool force) {
    last_draw_ = clock::now();
    if (!on_) return;
    if (!tty_) {
      if (!force) return;
      int tenth = total_ > 0 ? 10 * done_ / total_ : 10;
      if (tenth == last_tenth_ && done_ != total_) return;
      last_tenth_ = tenth;
    }
    double s = std::chrono::duration<double>(clock::now() - t0_).count();
    std::string line = progress_text(done_, total_, failed_, s, 30);
    std::fprintf(stderr, tty_ ? "\r%s" : "%s\n", line.c_str());
    std::fflush(stderr);
  }
  void end() const {
    if (on_ && tty_) std::fputc('\n', stderr);
  }
  int done() const { return done_; }
  int failed() const { return failed_; }

 private:
  bool on_, tty_;
  int total_, done_ = 0, failed_ = 0, last_tenth_ = -1;
  clock::time_point t0_ = clock::now(), last_draw_ = t0_;
};

// Starts the run of the point in `dir`, its old status and record removed
// first; false (and a message) when the process cannot be started.
bool launch(const std::string& exe, const std::vector<std::string>& args, const fs::path& dir,
            std::vector<Running>& running) {
  std::error_code ec;
  for (const char* old : {kStatusFile, "run.json", "report.txt", "stderr.txt", "tensor.csv"}) fs::remove(dir / old, ec);
  std::string deck = file_sha256(dir / "input.deck");
  pid_t pid = start(exe, args, dir);
  if (pid < 0) {
    std::fprintf(stderr, "\nupscale_sweep: fork failed: %s\n", std::strerror(errno));
    return false;
  }
  running.push_back({pid, dir, deck, std::chrono::steady_clock::now()});
  return true;
}

// Kills every run that has gone past the time limit.
void kill_overdue(std::vector<Running>& running, double timeout_s) {
  if (timeout_s <= 0) return;
  for (auto& r : running)
    if (!r.killed && std::chrono::duration<double>(std::chrono::steady_clock::now() - r.start).count() > timeout_s) {
      ::kill(r.pid, SIGKILL);
      r.killed = true;
    }
}

int run_points(const std::string& exe, const std::vector<fs::path>& dirs, const RunOptions& opt) {
  struct sigaction sa {}, old_int{}, old_term{};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, &old_int);
  ::sigaction(SIGTERM, &sa, &old_term);
  g_stop = 0;

  const int total = static_cast<int>(dirs.size());
  Progress progress(opt.progress, total);
  progress.show(true);
  size_t next = 0;
  std::vector<Running> running;
  const int jobs = std::max(1, opt.jobs);
  bool forwarded = false;

  while (true) {
    while (!g_stop && static_cast<int>(running.size()) < jobs && next < dirs.size())
      if (!launch(exe, opt.args, dirs[next++], running)) g_stop = 1;
    if (running.empty()) break;
    if (g_stop && !forwarded) {
      for (const auto& r : running) ::kill(r.pid, SIGTERM);
      forwarded = true;
    }

    int wst = 0;
    pid_t pid = ::waitpid(-1, &wst, WNOHANG);
    if (pid < 0 && errno != EINTR && errno != ECHILD) break;
    if (pid > 0) {
      const auto r = std::find_if(running.begin(), running.end(), [&](const Running& x) { return x.pid == pid; });
      if (r != running.end()) {
        progress.point_done(finish(*r, wst, opt.timeout_s, opt.normal).ok());
        running.erase(r);
      }
      continue;
    }
    kill_overdue(running, opt.timeout_s);
    progress.tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  progress.end();
  ::sigaction(SIGINT, &old_int, nullptr);
  ::sigaction(SIGTERM, &old_term, nullptr);
  return progress.failed() + (total - progress.done());
}

}  // namespace sweep
