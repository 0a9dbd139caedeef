#include "sparse_io/matrix_market.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>

#include "core/text_in.hpp"

namespace mm {

namespace {

// Splits a line into blank-separated tokens.
std::vector<std::string_view> tokens(std::string_view s) {
  std::vector<std::string_view> t;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    std::size_t j = i;
    while (j < s.size() && !std::isspace(static_cast<unsigned char>(s[j]))) ++j;
    if (j > i) t.push_back(s.substr(i, j - i));
    i = j;
  }
  return t;
}

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

// Neither blank nor a comment.
bool data_line(std::string_view s) {
  const auto first = std::find_if(s.begin(), s.end(), [](char c) { return !std::isspace(static_cast<unsigned char>(c)); });
  return first != s.end() && *first != '%';
}

// Line by line, counting lines and skipping comments and blank lines.
class Lines {
 public:
  Lines(std::istream& in, const std::string& name) : in_(in), name_(name) {}
  bool next_raw(std::string& s) {
    if (!std::getline(in_, s)) return false;
    ++line_;
    if (!s.empty() && s.back() == '\r') s.pop_back();
    return true;
  }
  bool next_data(std::string& s) {
    while (next_raw(s))
      if (data_line(s)) return true;
    return false;
  }
  [[noreturn]] void fail(const std::string& what) const { throw ReadError(name_, line_, what); }
  long line() const { return line_; }

  int64_t integer(std::string_view t, const char* what) const {
    int64_t v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size()) fail(std::string("bad ") + what + " " + core::quoted(t));
    return v;
  }
  double real(std::string_view t) const {
    double v = 0;
    const char* b = t.data();
    if (!t.empty() && t.front() == '+') ++b;
    const auto r = std::from_chars(b, t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v))
      fail("bad value " + core::quoted(t));
    return v;
  }

 private:
  std::istream& in_;
  const std::string& name_;
  long line_ = 0;
};

struct Header {
  bool coordinate = true;
  Field field = Field::real;
  Symmetry symmetry = Symmetry::general;
};

Header read_header(Lines& lines) {
  std::string s;
  if (!lines.next_raw(s)) lines.fail("empty file");
  const auto t = tokens(s);
  if (t.empty() || lower(t[0]) != "%%matrixmarket") lines.fail("not a Matrix Market file (no %%MatrixMarket banner)");
  if (t.size() != 5) lines.fail("the banner needs: matrix, format, field, symmetry");
  if (lower(t[1]) != "matrix") lines.fail("object " + core::quoted(t[1]) + " is not 'matrix'");
  Header h;
  const std::string format = lower(t[2]), field = lower(t[3]), sym = lower(t[4]);
  if (format == "coordinate")
    h.coordinate = true;
  else if (format == "array")
    h.coordinate = false;
  else
    lines.fail("unknown format " + core::quoted(t[2]));
  if (field == "real" || field == "double")
    h.field = Field::real;
  else if (field == "integer")
    h.field = Field::integer;
  else if (field == "complex")
    h.field = Field::complex;
  else if (field == "pattern")
    lines.fail("a 'pattern' matrix has no values to solve with");
  else
    lines.fail("unknown field " + core::quoted(t[3]));
  if (sym == "general")
    h.symmetry = Symmetry::general;
  else if (sym == "symmetric")
    h.symmetry = Symmetry::symmetric;
  else if (sym == "skew-symmetric")
    h.symmetry = Symmetry::skew_symmetric;
  else if (sym == "hermitian")
    h.symmetry = Symmetry::hermitian;
  else
    lines.fail("unknown symmetry " + core::quoted(t[4]));
  if (h.symmetry == Symmetry::hermitian && h.field != Field::complex)
    lines.fail("'hermitian' needs the 'complex' field");
  return h;
}

// The value of an entry line from token `first` on.
core::zcomplex value(Lines& lines, const std::vector<std::string_view>& t, std::size_t first, Field field) {
  const std::size_t want = first + (field == Field::complex ? 2 : 1);
  if (t.size() != want)
    lines.fail("expected " + std::to_string(want) + " numbers on the line, found " + std::to_string(t.size()));
  if (field == Field::complex) return {lines.real(t[first]), lines.real(t[first + 1])};
  if (field == Field::integer) return {static_cast<double>(lines.integer(t[first], "integer value")), 0.0};
  return {lines.real(t[first]), 0.0};
}

struct Triple {
  int32_t i, j;
  core::zcomplex v;
  bool from_file;
};

}  // namespace

Matrix read_matrix(std::istream& in, const std::string& name) {
  Lines lines(in, name);
  const Header h = read_header(lines);
  if (!h.coordinate) lines.fail("only the coordinate format is read for a matrix");

  std::string s;
  if (!lines.next_data(s)) lines.fail("no size line");
  const auto st = tokens(s);
  if (st.size() != 3) lines.fail("the size line needs rows, columns and entries");
  const int64_t rows = lines.integer(st[0], "row count"), cols = lines.integer(st[1], "column count"),
                nnz = lines.integer(st[2], "entry count");
  if (rows != cols) lines.fail("the matrix is not square");
  if (rows < 1 || rows > kMaxOrder) lines.fail("order " + std::to_string(rows) + " outside 1.." + std::to_string(kMaxOrder));
  if (nnz < 0 || nnz > kMaxEntries) lines.fail("entry count " + std::to_string(nnz) + " outside 0.." + std::to_string(kMaxEntries));

  Matrix m;
  m.n = static_cast<int32_t>(rows);
  m.field = h.field;
  m.symmetry = h.symmetry;
  std::vector<Triple> t;
  t.reserve(static_cast<std::size_t>(std::min<int64_t>(2 * nnz, 1 << 22)));
  for (int64_t e = 0; e < nnz; ++e) {
    if (!lines.next_data(s))
      lines.fail("the file ends after " + std::to_string(e) + " of " + std::to_string(nnz) + " entries");
    const auto tk = tokens(s);
    if (tk.size() < 2) lines.fail("an entry needs a row, a column and its value");
    const int64_t i = lines.integer(tk[0], "row index"), j = lines.integer(tk[1], "column index");
    if (i < 1 || i > rows || j < 1 || j > rows)
      lines.fail("entry (" + std::to_string(i) + ", " + std::to_string(j) + ") outside the " + std::to_string(rows) +
                 " x " + std::to_string(rows) + " matrix");
    const core::zcomplex v = value(lines, tk, 2, h.field);
    const auto ii = static_cast<int32_t>(i), jj = static_cast<int32_t>(j);
    if (h.symmetry != Symmetry::general && j > i)
      lines.fail("a " + std::string(h.symmetry == Symmetry::symmetric ? "symmetric" : h.symmetry == Symmetry::hermitian ? "hermitian" : "skew-symmetric") +
                 " file stores the lower triangle only");
    if (h.symmetry == Symmetry::skew_symmetric && i == j) lines.fail("a skew-symmetric matrix has no diagonal entries");
    t.push_back({ii, jj, v, true});
    if (i == j) continue;
    // The other triangle: its value for the symmetric kinds, an explicit
    // zero (summed away if the file holds the entry) for general ones.
    core::zcomplex w{0.0, 0.0};
    bool real_entry = true;
    switch (h.symmetry) {
      case Symmetry::general: real_entry = false; break;
      case Symmetry::symmetric: w = v; break;
      case Symmetry::skew_symmetric: w = -v; break;
      case Symmetry::hermitian: w = core::conj(v); break;
    }
    t.push_back({jj, ii, w, real_entry});
  }
  m.entries_read = nnz;
  while (lines.next_raw(s))
    if (data_line(s))
      lines.fail("more entries than the " + std::to_string(nnz) + " declared");

  std::sort(t.begin(), t.end(), [](const Triple& x, const Triple& y) { return x.i != y.i ? x.i < y.i : x.j < y.j; });
  m.ia.assign(static_cast<std::size_t>(m.n) + 1, 0);
  m.ia[0] = 1;
  std::size_t q = 0;
  for (int32_t i = 1; i <= m.n; ++i) {
    while (q < t.size() && t[q].i == i) {
      // Repeated coordinates are summed.
      core::zcomplex v = t[q].v;
      bool real_entry = t[q].from_file;
      const int32_t j = t[q].j;
      for (++q; q < t.size() && t[q].i == i && t[q].j == j; ++q) {
        v += t[q].v;
        real_entry = real_entry || t[q].from_file;
      }
      m.ja.push_back(j);
      m.a.push_back(v);
      if (!real_entry) ++m.zeros_added;
    }
    m.ia[static_cast<std::size_t>(i)] = static_cast<int32_t>(m.ja.size()) + 1;
  }
  return m;
}

std::vector<core::zcomplex> read_vector(std::istream& in, const std::string& name, int32_t n, bool& is_complex) {
  Lines lines(in, name);
  const Header h = read_header(lines);
  if (h.symmetry != Symmetry::general) lines.fail("a right-hand side must be 'general'");
  is_complex = h.field == Field::complex;
  std::string s;
  if (!lines.next_data(s)) lines.fail("no size line");
  const auto st = tokens(s);
  if (st.size() != (h.coordinate ? 3u : 2u)) lines.fail(h.coordinate ? "the size line needs rows, columns and entries" : "the size line needs rows and columns");
  const int64_t rows = lines.integer(st[0], "row count"), cols = lines.integer(st[1], "column count");
  if (rows != n || cols != 1)
    lines.fail("expected a " + std::to_string(n) + " x 1 vector, found " + std::to_string(rows) + " x " + std::to_string(cols));
  std::vector<core::zcomplex> b(static_cast<std::size_t>(n), core::zcomplex{0.0, 0.0});
  const int64_t count = h.coordinate ? lines.integer(st[2], "entry count") : rows;
  if (count < 0 || count > rows) lines.fail("entry count " + std::to_string(count) + " outside 0.." + std::to_string(rows));
  for (int64_t e = 0; e < count; ++e) {
    if (!lines.next_data(s)) lines.fail("the file ends after " + std::to_string(e) + " of " + std::to_string(count) + " values");
    const auto tk = tokens(s);
    if (h.coordinate) {
      if (tk.size() < 2) lines.fail("an entry needs a row, a column and its value");
      const int64_t i = lines.integer(tk[0], "row index"), j = lines.integer(tk[1], "column index");
      if (i < 1 || i > rows || j != 1) lines.fail("entry (" + std::to_string(i) + ", " + std::to_string(j) + ") outside the vector");
      b[static_cast<std::size_t>(i - 1)] += value(lines, tk, 2, h.field);
    } else {
      b[static_cast<std::size_t>(e)] = value(lines, tk, 0, h.field);
    }
  }
  while (lines.next_raw(s))
    if (data_line(s))
      lines.fail("more values than the " + std::to_string(count) + " declared");
  return b;
}

}  // namespace mm
