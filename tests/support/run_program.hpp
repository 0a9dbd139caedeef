// A built program run as a process: the deck on standard input, a fresh
// scratch directory as working directory, the exit status or signal, a time
// limit (an alarm the program inherits) that turns a hang into a failure.
// The directories go when the last copy of the outcome does. (The header
// the end-to-end tests start from: GoogleTest, strings and vectors.)
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/complex.hpp"

namespace support {

using Deck = std::vector<std::string>;  // the records of a deck, without line ends

std::string example_path(const std::string& example);  // an example deck (UPSCALE_EXAMPLES)
Deck deck_lines(const std::string& example);           // its records
std::string join(const Deck& lines, const std::string& eol = "\n");
inline Deck with_record(Deck d, int record, const std::string& text) { return d.at(record - 1) = text, d; }  // 1-based
inline Deck first_records(Deck d, int n) { return d.resize(n), d; }

struct Options {
  std::string prepare;      // shell commands run in the working directory first
  std::string stdin_path;   // standard input from here instead of the deck
  std::string stdout_path;  // standard output to here, not captured
  bool remove_workdir = false;
  int time_limit_s = 300;
  int closed_fd = -1;          // a standard descriptor the program starts with closed
  long address_space_mb = 0;   // a limit on the address space (ulimit -v), 0 for none
  std::vector<std::pair<std::string, std::string>> env;  // variables set for the program
};
inline Options prepared(std::string commands) { Options o; o.prepare = std::move(commands); return o; }
inline Options stdin_from(std::string path) { Options o; o.stdin_path = std::move(path); return o; }
inline Options stdout_to(std::string path) { Options o; o.stdout_path = std::move(path); return o; }

struct Outcome {
  int status = -1, signal = 0;  // exit status, -1 if the process did not exit; the signal that ended it
  bool timed_out = false;       // ended by the alarm of the time limit
  std::string out, err, dir;
  std::shared_ptr<void> scratch;  // removes the directories

  std::string file(const std::string& name) const;  // "" when missing
  std::vector<std::string> lines(const std::string& name) const;
  std::vector<std::string> files() const;  // regular files of the directory, sorted
  // The numbers on the rest of the line after the first `label` in the
  // report, or the first of them; fails the test (and gives none or NaN)
  // when there is none.
  std::vector<double> values(const std::string& label) const;
  double after(const std::string& label) const;
  std::string describe() const;  // status, signal and the start of standard error
};

Outcome run(const std::string& program, const std::string& deck, const Options& opt = {});
std::string bin_path(const std::string& program);  // a built program (UPSCALE_BIN_DIR)

// A fresh directory under $TMPDIR (else /tmp), removed with all it holds
// when the object goes, whether the test passed or not.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& stem = "upscale_test");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string slurp(const std::string& path);  // "" for a folder or a missing file
std::string quoted(const std::string& s);   // one word for /bin/sh, whatever it holds
int shell(const std::string& command);      // /bin/sh's exit status, -1 if it was killed
std::pair<std::string, int> output_of(const std::string& command);  // standard output and exit status
bool have(const std::string& program);      // a command on the PATH
bool contains(const std::string& s, const std::string& part);
std::vector<double> numbers(const std::string& line);  // the items of a list-directed line

// The two values of a "(g15.5,2x,g15.5)" line; fails the test when the line
// is not the rendering of its own two values.
struct GPair {
  double a = 0, b = 0;
};
GPair g_pair(const std::string& line);

// The sum of re + i im over two map files (the third item of each line).
core::zcomplex map_sum(const Outcome& r, const std::string& re_map, const std::string& im_map);
double rel(core::zcomplex a, core::zcomplex b);  // |a - b| / |b|

}  // namespace support
