// A program started by /bin/sh in a folder, its standard input a pipe that
// the test holds, so that a run can be caught while it waits for its deck.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

namespace support {

inline std::string slurp_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
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
    if (slurp_file(path).find(text) != std::string::npos) return true;
  return false;
}

}  // namespace support
