#include "model/porosity.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"
#include "core/text_in.hpp"

namespace model {

PorosityFile::~PorosityFile() {
  if (f_) std::fclose(f_);
}

bool PorosityFile::read_record() {
  // Keeps the first sizeof(record_) characters of the line, whatever bytes
  // they are; only the first twelve columns are ever looked at. Carriage
  // returns that end the whole line are dropped; the kept prefix alone does
  // not decide, since text may follow them beyond it.
  int c = std::fgetc(f_);
  if (c == EOF) return false;
  length_ = 0;
  too_long_ = false;
  std::size_t total = 0, trailing_cr = 0;
  for (; c != EOF && c != '\n'; c = std::fgetc(f_)) {
    if (total == kMaxLineChars) {
      too_long_ = true;
      break;
    }
    if (length_ < sizeof record_) record_[length_++] = static_cast<char>(c);
    ++total;
    trailing_cr = c == '\r' ? trailing_cr + 1 : 0;
  }
  if (total - trailing_cr < length_) length_ = total - trailing_cr;
  ++line_;
  return true;
}

namespace {

// Ends the run with an input error on `name`; builds its text only then.
[[noreturn]] void input_error(const char* name, const std::string& what) {
  core::raise_fail(core::kStopInputError, std::string("\"") + name + "\" " + what);
}

}  // namespace

void PorosityFile::open() {
  // Opened without waiting (a FIFO without a writer would block forever),
  // then refused unless it is a regular file.
  const int fd = ::open(name_, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) input_error(name_, std::string("cannot be opened: ") + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    input_error(name_, "is not a regular file: a file of water proportions, one line per cell, was expected");
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || !(f_ = ::fdopen(fd, "r"))) {
    ::close(fd);
    input_error(name_, std::string("cannot be opened: ") + std::strerror(errno));
  }
}

double PorosityFile::next(int j, int k) {
  if (!f_) open();
  if (!read_record()) {
    if (std::ferror(f_)) input_error(name_, "could not be read at line " + std::to_string(line_ + 1));
    input_error(name_, "ends before line " + std::to_string(line_ + 1) + ": no water proportion for cell j,k = " +
                           std::to_string(j) + "," + std::to_string(k));
  }
  if (too_long_)
    input_error(name_, "line " + std::to_string(line_) + " reaches " + std::to_string(kMaxLineChars) +
                           " characters without a line end: one water proportion per line was expected");
  const core::Field<double> v = core::read_e12_4(std::string_view(record_, length_));
  if (!v.ok())
    input_error(name_, "line " + std::to_string(line_) + ": water proportion (e12.4) expected: " + v.error);
  // A water proportion is a volume fraction of the cell, strictly between 0
  // and 1: the coefficients divide by it and by the solid fraction.
  if (!(v.value > 0 && v.value < 1))
    input_error(name_, "line " + std::to_string(line_) + ": water proportion " +
                           core::quoted(std::string_view(record_, length_).substr(0, 12)) +
                           " is outside (0, 1) (cell j,k = " + std::to_string(j) + "," + std::to_string(k) + ")");
  if (!v.warning.empty() && !warned_) {
    warned_ = true;
    std::fprintf(stderr, "warning: \"%s\" line %d: %s; later lines without a decimal point are not reported\n",
                 name_, line_, v.warning.c_str());
  }
  return v.value;
}

void porosity(core::TestKind kind, int nx, int ny, const core::ByMaterial<double>& phi_layer1, int model,
              core::RealField& phiw, const core::IntField& matnum, PorosityFile& file) {
  if (model == 0) {
    if (kind == core::TestKind::compressional) {
      for (int k = 1; k <= ny; ++k)
        for (int j = 1; j <= nx; ++j) phiw(j, k) = phi_layer1(matnum(j, k));
    } else {
      for (int k = 1; k <= ny; ++k)
        for (int j = 1; j <= nx; ++j) phiw(j, k) = k <= ny / 2 ? phi_layer1(1) : phi_layer1(2);
    }
  } else if (model == 1) {
    for (int k = 1; k <= ny; ++k)
      for (int j = 1; j <= nx; ++j) phiw(j, k) = file.next(j, k);
  }
}

}  // namespace model
