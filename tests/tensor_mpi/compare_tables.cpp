// Compares two tensor.csv tables: the same header lines, the same number of
// rows, and every number within a relative 1e-9, apart from the columns
// that differ by nature between two solvers (backward errors, times).
// With --within-bounds, the tensor's components instead: each row's
// difference within the sum of the two rows' forward_error_bound (relative
// to the component's modulus; the couplings C15, C35 and partners to the
// largest diagonal modulus), both bounds reported (not NaN).
// Usage: compare_tables [--within-bounds] EXPECTED.csv ACTUAL.csv; status 0 when they agree.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Row = std::vector<std::string>;

std::vector<Row> read(const char* path) {
  std::vector<Row> rows;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::stringstream cells(line);
    rows.emplace_back();
    for (std::string cell; std::getline(cells, cell, ',');) rows.back().push_back(cell);
  }
  return rows;
}

// What measures the solver's own rounding rather than the sample: the
// backward error, the condition estimate and the error bound built on
// them, and the times. The direction of the fastest P wave is that of a
// flat maximum, and its waves' 1000/Q follow that direction.
bool skipped(const std::string& name) {
  const bool pmax = name.size() > 5 && name.compare(name.size() - 5, 5, "_pmax") == 0 && name != "vp_pmax";
  return name == "backward_error" || name == "condition_estimate" || name == "forward_error_bound" ||
         name.find("time") != std::string::npos || name.find("seconds") != std::string::npos || pmax;
}

// The couplings of normal and shear strain may vanish (layers): they are
// compared against the row's largest diagonal modulus, not themselves.
bool coupling(const std::string& name) {
  for (const char* c : {"c15", "c35", "c51", "c53"})
    if (name.rfind(c, 0) == 0) return true;
  return false;
}

double number(const Row& head, const Row& row, const std::string& name) {
  for (std::size_t c = 0; c < head.size(); ++c)
    if (head[c] == name && !row[c].empty()) return std::stod(row[c]);
  return NAN;
}

// The modulus of component `name` (c11, c15, ...) in a row; NaN when not measured.
double modulus(const Row& head, const Row& row, const std::string& name) {
  return std::hypot(number(head, row, name + "_re"), number(head, row, name + "_im"));
}

double diagonal(const Row& head, const Row& row) {
  return std::fmax(modulus(head, row, "c11"), std::fmax(modulus(head, row, "c33"), modulus(head, row, "c55")));
}

// Every component's difference within the two rows' bounds.
int within_bounds(const Row& head, const Row& a, const Row& b, std::size_t line) {
  const double bound = number(head, a, "forward_error_bound") + number(head, b, "forward_error_bound");
  if (!std::isfinite(bound)) return std::fprintf(stderr, "compare_tables: line %zu: no finite bounds\n", line), 1;
  int bad = 0;
  for (const char* name : {"c11", "c13", "c31", "c33", "c55", "c15", "c35", "c51", "c53"}) {
    const double x = modulus(head, a, name), ref = coupling(name) ? diagonal(head, a) : x;
    const double d = std::hypot(number(head, a, name + std::string("_re")) - number(head, b, name + std::string("_re")),
                                number(head, a, name + std::string("_im")) - number(head, b, name + std::string("_im")));
    if (std::isnan(x) || d <= bound * ref) continue;
    std::fprintf(stderr, "compare_tables: line %zu, %s: differs by %.3g of its size, the bounds sum to %.3g\n", line,
                 name, d / ref, bound);
    ++bad;
  }
  return bad;
}

// Every number within 1e-9 of its size (the couplings of the row's scale);
// a component not measured in both.
int within_rounding(const Row& head, const Row& a, const Row& b, std::size_t line) {
  int bad = 0;
  for (std::size_t c = 0; c < head.size(); ++c) {
    if (skipped(head[c]) || a[c] == b[c]) continue;
    const double x = a[c].empty() ? NAN : std::stod(a[c]), y = b[c].empty() ? NAN : std::stod(b[c]);
    const double ref = coupling(head[c]) ? diagonal(head, a) : std::fmax(std::fabs(x), std::fabs(y));
    if (std::fabs(x - y) <= 1e-9 * ref) continue;
    std::fprintf(stderr, "compare_tables: line %zu, %s: \"%s\" against \"%s\"\n", line, head[c].c_str(), a[c].c_str(),
                 b[c].c_str());
    ++bad;
  }
  return bad;
}

}  // namespace

int main(int argc, char** argv) {
  const bool bounded = argc == 4 && std::string(argv[1]) == "--within-bounds";
  if (argc != 3 && !bounded) return std::fprintf(stderr, "usage: compare_tables [--within-bounds] A.csv B.csv\n"), 2;
  const std::vector<Row> a = read(argv[argc - 2]), b = read(argv[argc - 1]);
  if (a.size() < 3 || a.size() != b.size() || a[0] != b[0] || a[1] != b[1]) {
    std::fprintf(stderr, "compare_tables: the headers or the row counts differ (%zu and %zu lines)\n", a.size(), b.size());
    return 1;
  }
  int bad = 0;
  for (std::size_t r = 2; r < a.size(); ++r) {
    if (a[r].size() != a[0].size() || b[r].size() != a[0].size())
      return std::fprintf(stderr, "compare_tables: line %zu has not %zu cells\n", r + 1, a[0].size()), 1;
    bad += bounded ? within_bounds(a[0], a[r], b[r], r + 1) : within_rounding(a[0], a[r], b[r], r + 1);
  }
  return bad == 0 ? 0 : 1;
}
