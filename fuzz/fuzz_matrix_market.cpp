// Fuzz target: the benchmark's Matrix Market reader on arbitrary bytes.
//
// A file either raises ReadError naming the file and a line, or gives a
// matrix in valid Yale storage: n+1 row pointers from 1, columns strictly
// increasing within each row and within 1..n, a structurally symmetric
// pattern, and values that mirror each other as the symmetry kind says.
// The same bytes are also read as a right-hand side.
#include <cmath>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "sparse_io/matrix_market.hpp"
#include "fuzz/stop_throws.hpp"

using fuzz::check;

namespace {

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

void check_error(const mm::ReadError& e) {
  const std::string what = e.what();
  check(what.starts_with("fuzz.mtx:" + std::to_string(e.line()) + ": "), "message without file and line: " + what);
  check(e.line() >= 0, "negative line number");
  // The message quotes what it found, cut short and in printable text.
  check(what.size() < 400, "message of " + std::to_string(what.size()) + " characters");
  for (char c : what)
    check(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f, "unprintable byte in: " + what);
}

void check_matrix(const mm::Matrix& m) {
  const auto n = static_cast<std::size_t>(m.n);
  check(m.n >= 1 && m.ia.size() == n + 1, "row pointers");
  check(m.ia[0] == 1, "ia(1) is not 1");
  for (std::size_t i = 0; i < n; ++i) check(m.ia[i] <= m.ia[i + 1], "row pointers decrease");
  const auto nnz = static_cast<std::size_t>(m.ia[n] - 1);
  check(m.ja.size() == nnz && m.a.size() == nnz, "ja or a not of the stored size");
  std::map<std::pair<int32_t, int32_t>, core::zcomplex> at;
  for (std::size_t i = 0; i < n; ++i)
    for (int32_t p = m.ia[i]; p < m.ia[i + 1]; ++p) {
      const int32_t j = m.ja[static_cast<std::size_t>(p - 1)];
      check(j >= 1 && j <= m.n, "column outside 1..n");
      if (p > m.ia[i]) check(m.ja[static_cast<std::size_t>(p - 2)] < j, "columns not increasing in a row");
      at[{static_cast<int32_t>(i + 1), j}] = m.a[static_cast<std::size_t>(p - 1)];
    }
  for (const auto& [ij, v] : at) {
    const auto mirror = at.find({ij.second, ij.first});
    check(mirror != at.end(), "pattern not symmetric");
    const core::zcomplex w = mirror->second;
    switch (m.symmetry) {
      case mm::Symmetry::general: break;
      case mm::Symmetry::symmetric: check(same(w.re, v.re) && same(w.im, v.im), "symmetric values differ"); break;
      case mm::Symmetry::skew_symmetric:
        if (ij.first != ij.second) check(same(w.re, -v.re) && same(w.im, -v.im), "skew-symmetric values"); break;
      case mm::Symmetry::hermitian:
        if (ij.first != ij.second) check(same(w.re, v.re) && same(w.im, -v.im), "hermitian values"); break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  {
    std::istringstream in(text);
    try {
      check_matrix(mm::read_matrix(in, "fuzz.mtx"));
    } catch (const mm::ReadError& e) {
      check_error(e);
    }
  }
  {
    std::istringstream in(text);
    const int32_t n = 1 + static_cast<int32_t>(size % 5);
    bool is_complex = false;
    try {
      const auto b = mm::read_vector(in, "fuzz.mtx", n, is_complex);
      check(b.size() == static_cast<std::size_t>(n), "vector of the wrong length");
    } catch (const mm::ReadError& e) {
      check_error(e);
    }
  }
  return 0;
}
