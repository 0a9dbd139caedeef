// The built programs run as a user would run them: through /bin/sh, with
// nohup, trap, ulimit and planted names, in a scratch folder.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "scratch.hpp"

namespace outputs_test {

inline std::string examples() { return OUTPUTS_EXAMPLES; }
inline std::string drivers_bin(const std::string& program) { return std::string(OUTPUTS_DRIVERS_DIR) + "/" + program; }

// Runs `command` with /bin/sh in `dir`, standard error to `dir`/../err.txt;
// the exit status, or 128 + the signal. A time limit ends a hang.
inline int sh(const std::string& dir, const std::string& command) {
  const std::string full = "cd '" + dir + "' && timeout -s KILL 120 sh -c '" + command + "' 2> ../err.txt";
  const int st = std::system(full.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// A program started by /bin/sh -c `command` in `dir`, its standard input a
// pipe held by the test (a deck is given when the test says so).
struct Started {
  pid_t pid = -1;
  int feed = -1;
  Started(const std::string& dir, const std::string& command) {
    int p[2];
    if (::pipe(p) != 0) throw std::runtime_error("no pipe");
    pid = ::fork();
    if (pid == 0) {
      ::alarm(120);
      if (::dup2(p[0], 0) < 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
      ::close(p[1]);
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(p[0]);
    feed = p[1];
  }
  void give(const std::string& text) {
    if (::write(feed, text.data(), text.size()) != static_cast<ssize_t>(text.size())) ADD_FAILURE() << "deck not given";
    ::close(feed);
    feed = -1;
  }
  int wait() {
    if (feed >= 0) ::close(feed), feed = -1;
    int st = 0;
    ::waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  }
};

// Waits (up to a minute) for `path` to hold `text`.
inline bool wait_for_text(const std::string& path, const std::string& text) {
  for (int i = 0; i < 6000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
    if (read_all(path).find(text) != std::string::npos) return true;
  return false;
}

inline bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace outputs_test
