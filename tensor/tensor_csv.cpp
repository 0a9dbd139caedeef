// "tensor.csv": the column names, then their units, then one row per
// frequency with every digit a double holds (%.17g reads back exactly).
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "tensor/file_access.hpp"
#include "tensor/io.hpp"

namespace tensor {

namespace {

struct FixedColumn {
  const char* name;
  const char* unit;
};

constexpr FixedColumn kFixed[] = {
    {"freq_hz", "Hz"}, {"c11_re", "Pa"},   {"c11_im", "Pa"},      {"c13_re", "Pa"}, {"c13_im", "Pa"},
    {"c31_re", "Pa"},  {"c31_im", "Pa"},   {"c33_re", "Pa"},      {"c33_im", "Pa"}, {"c55_re", "Pa"},
    {"c55_im", "Pa"},  {"rho", "kg/m^3"},  {"vp0", "m/s"},        {"q1000_p0", "1"}, {"vp90", "m/s"},
    {"q1000_p90", "1"}, {"vs0", "m/s"},    {"q1000_s0", "1"},     {"backward_error", "1"},
    // The couplings of normal and shear strain (periodic test), after the
    // columns every run has, so that those keep their places.
    {"c15_re", "Pa"},  {"c15_im", "Pa"},   {"c35_re", "Pa"},      {"c35_im", "Pa"}, {"c51_re", "Pa"},
    {"c51_im", "Pa"},  {"c53_re", "Pa"},   {"c53_im", "Pa"},
};

void append(std::string& line, double v) {
  char s[40];
  std::snprintf(s, sizeof s, "%.17g", v);
  line += ',';
  line += s;
}

// A name or unit must not break the table's lines or columns.
void check_label(const std::string& s, const char* what) {
  for (const char c : s)
    if (c == ',' || c == '"' || static_cast<unsigned char>(c) < 0x20)
      throw std::invalid_argument(std::string("tensor.csv: ") + what + " \"" + s +
                                  "\" holds a comma, quote or control character");
}

}  // namespace

void write_tensor_csv(const std::string& path, const std::vector<TensorRow>& rows) {
  std::string names, units;
  for (const FixedColumn& c : kFixed) {
    names += names.empty() ? "" : ",";
    names += c.name;
    units += units.empty() ? "" : ",";
    units += c.unit;
  }
  const std::vector<Column> none;
  const std::vector<Column>& extra = rows.empty() ? none : rows.front().extra;
  for (const Column& c : extra) {
    check_label(c.name, "column name");
    check_label(c.unit, "unit");
    names += "," + c.name;
    units += "," + c.unit;
  }
  std::string text = names + "\n" + units + "\n";
  for (const TensorRow& r : rows) {
    if (r.extra.size() != extra.size())
      throw std::invalid_argument("tensor.csv: the row of " + std::to_string(r.freq_hz) + " Hz has " +
                                  std::to_string(r.extra.size()) + " further columns, the first row " +
                                  std::to_string(extra.size()));
    std::string line;
    char f[40];
    std::snprintf(f, sizeof f, "%.17g", r.freq_hz);
    line = f;
    for (const core::zcomplex& c : {r.c11, r.c13, r.c31, r.c33, r.c55}) {
      append(line, c.re);
      append(line, c.im);
    }
    for (const double v : {r.rho, r.vp0, r.q1000_p0, r.vp90, r.q1000_p90, r.vs0, r.q1000_s0, r.backward_error})
      append(line, v);
    // Components the test does not measure are absent, not zero.
    for (const core::zcomplex& c : {r.c15, r.c35, r.c51, r.c53}) {
      if (std::isnan(c.re)) {
        line += ",,";
        continue;
      }
      append(line, c.re);
      append(line, c.im);
    }
    for (std::size_t i = 0; i < extra.size(); ++i) {
      if (r.extra[i].name != extra[i].name)
        throw std::invalid_argument("tensor.csv: column " + std::to_string(i + 1) + " of the further columns is \"" +
                                    r.extra[i].name + "\" in one row and \"" + extra[i].name + "\" in the first");
      append(line, r.extra[i].value);
    }
    text += line + "\n";
  }
  write_file_atomically(path, text);
}

}  // namespace tensor
