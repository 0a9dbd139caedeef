// Water proportion of every cell: from the two layer materials, or cell by
// cell from the file "porosity.frac".
#pragma once

#include <cstddef>
#include <cstdio>

#include "core/cell_array.hpp"
#include "core/test_kind.hpp"

namespace model {

// The connection to "porosity.frac". The main program owns it for the whole
// run; the file is opened at the first read and stays open, so a later read
// continues after the values already taken. Records are read into a fixed
// buffer: reading allocates nothing.
class PorosityFile {
 public:
  static constexpr const char* kName = "porosity.frac";

  explicit PorosityFile(const char* name = kName) : name_(name) {}
  ~PorosityFile();
  PorosityFile(const PorosityFile&) = delete;
  PorosityFile& operator=(const PorosityFile&) = delete;

  // The next record's value under the (e12.4) rule (columns 1-12, four
  // implied decimals). A file that cannot be opened or is not a regular file
  // (a FIFO would block, a device never end), a missing record, a line of
  // kMaxLineChars or more characters, or a field that is not a water
  // proportion ends the run with an input-error message naming the file and
  // the line. A value without a decimal point draws one warning, for the
  // first such line. `j`, `k` name the cell the value is for.
  double next(int j, int k);

  int line() const { return line_; }  // number of the record last read

  static constexpr std::size_t kMaxLineChars = std::size_t{1} << 20;

 private:
  void open();
  bool read_record();  // false at end of file

  const char* name_;
  std::FILE* f_ = nullptr;
  int line_ = 0;
  char record_[256]{};
  std::size_t length_ = 0;  // characters of the record kept in record_
  bool too_long_ = false;   // the record last read reached kMaxLineChars
  bool warned_ = false;     // implied decimals reported once
};

// Fills phiw(j,k), j = 1..nx, k = 1..ny, after `model`:
//   0, compressional test: phi_layer1(matnum(j,k));
//   0, shear tests: phi_layer1(1) in rows 1..ny/2, phi_layer1(2) above
//      (halves of the sample, whatever the material map);
//   1: one value per record of `file`, k outer, j inner;
//   anything else: phiw unchanged.
void porosity(core::TestKind kind, int nx, int ny, const core::ByMaterial<double>& phi_layer1, int model,
              core::RealField& phiw, const core::IntField& matnum, PorosityFile& file);

}  // namespace model
