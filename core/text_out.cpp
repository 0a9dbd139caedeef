#include "core/text_out.hpp"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/output_file.hpp"
#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"

namespace core {

namespace {

// Open files, so that `stop` can flush them all. A run opens a few dozen.
constexpr int kMaxOpen = 64;
TextOut* g_open[kMaxOpen];
int g_nopen = 0;
// A file closed by its destructor (a scope left early, by an error) whose
// last writes failed: the end of the run reports the lost output.
bool g_lost_on_close = false;

void register_open(TextOut* f) {
  if (g_nopen < kMaxOpen) g_open[g_nopen++] = f;
}
void unregister_open(TextOut* f) {
  for (int i = 0; i < g_nopen; ++i)
    if (g_open[i] == f) {
      g_open[i] = g_open[--g_nopen];
      return;
    }
}

template <class T>
void append_real(std::string& out, T value) {
  if (std::isnan(value)) { out += "NaN"; return; }
  if (std::isinf(value)) { out += value < 0 ? "-Infinity" : "Infinity"; return; }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}

}  // namespace

void append_item(std::string& out, std::string_view text) { out += text; }
void append_item(std::string& out, const char* text) { out += text; }
void append_item(std::string& out, int32_t value) {
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}
void append_item(std::string& out, double value) { append_real(out, value); }
void append_item(std::string& out, float value) { append_real(out, value); }
void append_item(std::string& out, zcomplex value) {
  out += '(';
  append_real(out, value.re);
  out += ',';
  append_real(out, value.im);
  out += ')';
}

TextOut::TextOut(std::string name) : name_(std::move(name)) {
  std::string why;
  const int fd = create_output(name_, why);
  if (fd >= 0 && !(f_ = ::fdopen(fd, "w"))) {
    why = std::strerror(errno);
    ::close(fd);
  }
  if (!f_) raise_fail(kStopOutputError, "cannot create result file \"" + name_ + "\": " + why);
  register_open(this);
}

TextOut::TextOut(std::FILE* f, std::string name) : f_(f), name_(std::move(name)), owned_(false) {}

TextOut& TextOut::report() {
  static TextOut out(stdout, "standard output");
  return out;
}

TextOut::~TextOut() {
  if (f_ && owned_) {
    unregister_open(this);
    if (!flush_checked()) g_lost_on_close = true;
    if (std::fclose(f_) != 0) g_lost_on_close = true;
  }
}

void TextOut::line(std::string_view text) {
  if (!f_) return;
  // An empty view may carry a null pointer, which fwrite must not receive.
  if ((!text.empty() && std::fwrite(text.data(), 1, text.size(), f_) != text.size()) || std::fputc('\n', f_) == EOF)
    write_failed();
}

bool TextOut::flush_checked() {
  if (!f_) return true;
  if (std::fflush(f_) != 0 || std::ferror(f_)) {
    std::fprintf(stderr, "error writing \"%s\": %s\n", name_.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

void TextOut::close() {
  if (!f_ || !owned_) return;
  const bool ok = flush_checked();
  unregister_open(this);
  const bool closed = std::fclose(f_) == 0;
  f_ = nullptr;
  if (!ok || !closed) raise_fail(kStopOutputError, "result file \"" + name_ + "\" could not be written");
}

void TextOut::write_failed() {
  const int e = errno;
  raise_fail(kStopOutputError, "error writing \"" + name_ + "\": " + std::strerror(e));
}

bool TextOut::flush_all() {
  bool ok = true;
  for (int i = 0; i < g_nopen; ++i) ok = g_open[i]->flush_checked() && ok;
  return report().flush_checked() && ok && !g_lost_on_close;
}

}  // namespace core
