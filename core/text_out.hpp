// Text output: result files and the report on standard output.
//
// Lines come in two kinds. List-directed lines carry a leading blank and
// their items separated by blanks; doubles are written with the shortest
// digits that read back to the same value, a complex item as (re,im), NaN as
// "NaN" and infinities as "Infinity" / "-Infinity". Fixed-format lines are
// built from the Fortran edits of fortran_edit.hpp and written as they are.
//
// A file that cannot be created or written ends the run (kStopOutputError);
// `stop` flushes and checks every open file before the process ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/complex.hpp"

namespace core {

// Appends one list-directed item (without separator) to `out`.
void append_item(std::string& out, std::string_view text);
void append_item(std::string& out, const char* text);
void append_item(std::string& out, int32_t value);
void append_item(std::string& out, double value);
void append_item(std::string& out, float value);
void append_item(std::string& out, zcomplex value);

// " item item ..." for the given items.
template <class... Items>
std::string list_line(const Items&... items) {
  std::string s;
  ((s += ' ', append_item(s, items)), ...);
  return s;
}

class TextOut {
 public:
  // Creates (or empties) the file `name` for writing, never through a link
  // (core/output_file.hpp); stops the run with kStopOutputError and a
  // message naming the file when that fails.
  explicit TextOut(std::string name);
  // The report: standard output.
  static TextOut& report();
  ~TextOut();
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;

  // Builds the line in a buffer kept by the file, so that writing a line
  // allocates nothing once the buffer has grown to the longest line.
  template <class... Items>
  void list(const Items&... items) {
    buf_.clear();
    ((buf_ += ' ', append_item(buf_, items)), ...);
    line(buf_);
  }
  void line(std::string_view text);  // writes text and a newline
  void blank() { line({}); }

  // Flushes and closes; stops the run with kStopOutputError on a write error.
  void close();
  // Flushes; returns false (after a message on standard error) on a write error.
  bool flush_checked();
  const std::string& name() const { return name_; }

  // Flushes every open file and standard output; false if any write failed.
  static bool flush_all();

 private:
  TextOut(std::FILE* f, std::string name);
  [[noreturn]] void write_failed();
  std::FILE* f_ = nullptr;
  std::string name_;
  bool owned_ = true;
  std::string buf_;
};

}  // namespace core
