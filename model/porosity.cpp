#include "model/porosity.hpp"

#include <cerrno>
#include <cstring>
#include <string>

#include "core/stop.hpp"
#include "core/text_in.hpp"

namespace model {

PorosityFile::~PorosityFile() {
  if (f_) std::fclose(f_);
}

bool PorosityFile::read_record() {
  // Keeps the first sizeof(record_) - 1 characters of the line; only the
  // first twelve columns are ever looked at.
  if (!std::fgets(record_, sizeof record_, f_)) return false;
  std::size_t n = std::strlen(record_);
  bool complete = n > 0 && record_[n - 1] == '\n';
  if (!complete) {
    int c;
    while ((c = std::fgetc(f_)) != EOF && c != '\n') {
    }
  }
  while (n > 0 && (record_[n - 1] == '\n' || record_[n - 1] == '\r')) record_[--n] = '\0';
  ++line_;
  return true;
}

namespace {

// Ends the run with an input error on `name`; builds its text only then.
[[noreturn]] void input_error(const char* name, const std::string& what) {
  core::fail(core::kStopInputError, std::string("\"") + name + "\" " + what);
}

}  // namespace

double PorosityFile::next(int j, int k) {
  if (!f_) {
    f_ = std::fopen(name_, "r");
    if (!f_) input_error(name_, std::string("cannot be opened: ") + std::strerror(errno));
  }
  if (!read_record()) {
    if (std::ferror(f_)) input_error(name_, "could not be read at line " + std::to_string(line_ + 1));
    input_error(name_, "ends before line " + std::to_string(line_ + 1) + ": no water proportion for cell j,k = " +
                           std::to_string(j) + "," + std::to_string(k));
  }
  const core::Field<double> v = core::read_e12_4(record_);
  if (!v.ok())
    input_error(name_, "line " + std::to_string(line_) + ": water proportion (e12.4) expected: " + v.error);
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
