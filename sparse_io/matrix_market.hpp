// Reader of Matrix Market files for the tests, the fuzz targets and the solver
// benchmark: square sparse matrices in coordinate format (real, integer or
// complex; general, symmetric, skew-symmetric or hermitian) and right-hand
// sides in array or coordinate format.  The matrix comes out in Yale storage
// with both triangles stored and a structurally symmetric pattern: entries
// whose transpose is missing get it as an explicit zero.  Any file it cannot read
// raises ReadError naming the file and line.
#pragma once

#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/complex.hpp"

namespace mm {

class ReadError : public std::runtime_error {
 public:
  ReadError(const std::string& name, long line, const std::string& what)
      : std::runtime_error(name + ":" + std::to_string(line) + ": " + what), line_(line) {}
  long line() const { return line_; }

 private:
  long line_;
};

enum class Field { real, integer, complex };
enum class Symmetry { general, symmetric, skew_symmetric, hermitian };

struct Matrix {
  int32_t n = 0;
  Field field = Field::real;
  Symmetry symmetry = Symmetry::general;
  int64_t entries_read = 0;        // entry lines of the file
  int32_t zeros_added = 0;         // explicit zeros that complete the pattern
  std::vector<int32_t> ia, ja;     // 1-based, columns increasing within a row
  std::vector<core::zcomplex> a;   // one value per stored entry
  bool is_complex() const { return field == Field::complex; }
};

// Largest order accepted: the solver indexes with 32-bit integers.
inline constexpr int64_t kMaxOrder = 50'000'000;
inline constexpr int64_t kMaxEntries = 400'000'000;

Matrix read_matrix(std::istream& in, const std::string& name);

// A vector of n values; `is_complex` tells whether the file held complex ones.
std::vector<core::zcomplex> read_vector(std::istream& in, const std::string& name, int32_t n, bool& is_complex);

}  // namespace mm
