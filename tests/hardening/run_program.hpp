// Running the built programs as processes for the hardening tests: the deck
// on standard input, a scratch working directory, the exit status or the
// signal that ended the process, and a time limit that turns a hang into a
// failure.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace hardening {

// Directory of the built programs (UPSCALE_BIN_DIR) and of the example
// decks (UPSCALE_EXAMPLES).
std::string bin_dir();
std::string examples_dir();
bool program_built(const std::string& program);

// Lines of an example deck, without line ends; joined with `eol` after
// every line.
std::vector<std::string> deck_lines(const std::string& deck_name);
std::string join(const std::vector<std::string>& lines, const std::string& eol = "\n");
std::vector<std::string> with_record(std::vector<std::string> lines, int record, const std::string& text);
std::vector<std::string> first_records(const std::vector<std::string>& lines, int n);

struct Options {
  // Shell commands run in the working directory before the program.
  std::string prepare;
  // Standard input comes from here instead of the deck text.
  std::string stdin_path;
  // Standard output goes here instead of a file beside the working directory.
  std::string stdout_path;
  // The working directory is removed before the program starts in it.
  bool remove_workdir = false;
  int time_limit_s = 300;
};

struct Outcome {
  int status = -1;    // exit status, -1 if the process did not exit
  int signal = 0;     // signal that ended the process, 0 if none
  bool timed_out = false;
  std::string out, err;
  std::string dir;    // the working directory
  // For messages: status, signal and the first part of standard error.
  std::string describe() const;
};

inline Options prepared(std::string commands) {
  Options o;
  o.prepare = std::move(commands);
  return o;
}
inline Options stdin_from(std::string path) {
  Options o;
  o.stdin_path = std::move(path);
  return o;
}
inline Options stdout_to(std::string path) {
  Options o;
  o.stdout_path = std::move(path);
  return o;
}
inline Options workdir_removed() {
  Options o;
  o.remove_workdir = true;
  return o;
}

Outcome run(const std::string& program, const std::string& deck, const Options& opt = {});

std::string slurp(const std::string& path);
void spit(const std::string& path, const std::string& text);
bool contains(const std::string& s, const std::string& part);
// The names of the regular files of a directory, sorted.
std::vector<std::string> files_in(const std::string& dir);

// Whether the program runs the whole computation (it writes a result line),
// as opposed to a build that still stops after reading the deck.
bool runs_end_to_end(const std::string& program);

}  // namespace hardening
