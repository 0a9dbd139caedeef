// Running a built program as a process: the deck on standard input, a fresh
// scratch directory as working directory, the stop code seen as exit status.
// Helpers to read back what the run left there.
#pragma once

#include <string>
#include <vector>

namespace program_run {

struct Outcome {
  int status = -1;
  std::string out, err, dir;
  // Contents of a file the run left in its directory ("" when missing).
  std::string file(const std::string& name) const;
  std::vector<std::string> lines(const std::string& name) const;
  bool has(const std::string& name) const;
  // The files of the directory, apart from the deck and the captured streams.
  std::vector<std::string> written() const;
  // The number right after the first occurrence of `label` in the report;
  // fails the test (and gives NaN) when the label is missing.
  double after(const std::string& label) const;
  // The numbers on the rest of the line of the first `label`.
  std::vector<double> values(const std::string& label) const;
};

// Runs `program` on `deck` in a fresh directory; `prepare` (shell commands)
// may set the directory up first; `stdout_to` redirects standard output.
Outcome run(const std::string& program, const std::string& deck, const std::string& prepare = "",
            const std::string& stdout_to = "out.txt");
// Runs `program` again in the directory of an earlier run.
Outcome rerun(const std::string& program, const std::string& deck, const std::string& dir);

bool contains(const std::string& s, const std::string& part);

// The items of a list-directed line, as numbers.
std::vector<double> numbers(const std::string& line);

// A "(g15.5,2x,g15.5)" line split into its two fields; fails the test when
// the line is not of that form.
struct GPair {
  std::string first, second;
  double a = 0, b = 0;
};
GPair g_pair(const std::string& line);

}  // namespace program_run
