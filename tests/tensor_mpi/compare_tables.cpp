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

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream in(line);
  std::string cell;
  while (std::getline(in, cell, ',')) out.push_back(cell);
  return out;
}

bool read(const char* path, std::vector<std::vector<std::string>>& rows) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "compare_tables: \"%s\" cannot be read\n", path);
    return false;
  }
  for (std::string line; std::getline(in, line);) rows.push_back(split(line));
  return true;
}

// What measures the solver's own rounding rather than the sample: the
// backward error, the condition estimate and the error bound built on them.
bool solver_dependent(const std::string& name) {
  return name == "backward_error" || name == "condition_estimate" || name == "forward_error_bound" || name.find("time") != std::string::npos ||
         name.find("seconds") != std::string::npos;
}

// The couplings of normal and shear strain may vanish (layers): they are
// compared against the row's largest modulus, not themselves.
bool coupling(const std::string& name) {
  return name.rfind("c15", 0) == 0 || name.rfind("c35", 0) == 0 || name.rfind("c51", 0) == 0 ||
         name.rfind("c53", 0) == 0;
}

double row_scale(const std::vector<std::string>& head, const std::vector<std::string>& row) {
  double m = 0;
  for (std::size_t c = 0; c < head.size(); ++c)
    if (head[c] == "c11_re" || head[c] == "c33_re" || head[c] == "c55_re") m = std::fmax(m, std::fabs(std::stod(row[c])));
  return m;
}

std::size_t column(const std::vector<std::string>& head, const std::string& name) {
  for (std::size_t c = 0; c < head.size(); ++c)
    if (head[c] == name) return c;
  return head.size();
}

// The modulus of component `name` (c11, c15, ...) in a row; -1 when not measured.
double modulus(const std::vector<std::string>& head, const std::vector<std::string>& row, const std::string& name) {
  const std::size_t re = column(head, name + "_re"), im = column(head, name + "_im");
  if (re == head.size() || im == head.size() || row[re].empty() || row[im].empty()) return -1;
  return std::hypot(std::stod(row[re]), std::stod(row[im]));
}

// Row r of both tables: every component's difference within the two bounds.
int within_bounds(const std::vector<std::string>& head, const std::vector<std::string>& a,
                  const std::vector<std::string>& b, std::size_t line) {
  static const char* const kComponents[] = {"c11", "c13", "c31", "c33", "c55", "c15", "c35", "c51", "c53"};
  const std::size_t at = column(head, "forward_error_bound");
  if (at == head.size()) return 1;
  const double bound = std::stod(a[at]) + std::stod(b[at]);
  if (!std::isfinite(bound)) {
    std::fprintf(stderr, "compare_tables: line %zu: forward_error_bound %s and %s\n", line, a[at].c_str(), b[at].c_str());
    return 1;
  }
  const double diagonal = std::fmax(modulus(head, a, "c11"), std::fmax(modulus(head, a, "c33"), modulus(head, a, "c55")));
  int bad = 0;
  for (const char* name : kComponents) {
    const double x = modulus(head, a, name);
    if (x < 0) continue;
    const std::size_t re = column(head, std::string(name) + "_re"), im = column(head, std::string(name) + "_im");
    const double d = std::hypot(std::stod(a[re]) - std::stod(b[re]), std::stod(a[im]) - std::stod(b[im]));
    const double ref = coupling(name) ? diagonal : x;
    if (d <= bound * ref) continue;
    std::fprintf(stderr, "compare_tables: line %zu, %s: differs by %.3g of its size, the bounds sum to %.3g\n", line,
                 name, d / ref, bound);
    ++bad;
  }
  return bad;
}

}  // namespace

int main(int argc, char** argv) {
  const bool bounded = argc == 4 && std::string(argv[1]) == "--within-bounds";
  if (argc != 3 && !bounded) {
    std::fprintf(stderr, "usage: compare_tables [--within-bounds] EXPECTED.csv ACTUAL.csv\n");
    return 2;
  }
  std::vector<std::vector<std::string>> a, b;
  if (!read(argv[argc - 2], a) || !read(argv[argc - 1], b)) return 1;
  if (a.size() < 3 || a.size() != b.size() || a[0] != b[0] || a[1] != b[1]) {
    std::fprintf(stderr, "compare_tables: the headers or the row counts differ (%zu and %zu lines)\n", a.size(),
                 b.size());
    return 1;
  }
  int bad = 0;
  for (std::size_t r = 2; r < a.size(); ++r) {
    if (a[r].size() != a[0].size() || b[r].size() != a[0].size()) {
      std::fprintf(stderr, "compare_tables: line %zu has not %zu cells\n", r + 1, a[0].size());
      return 1;
    }
    if (bounded) {
      bad += within_bounds(a[0], a[r], b[r], r + 1);
      continue;
    }
    const double scale = row_scale(a[0], a[r]);
    for (std::size_t c = 0; c < a[0].size(); ++c) {
      // The direction of the fastest P wave is that of a flat maximum, and
      // its waves' 1000/Q follow that direction.
      const std::string& name = a[0][c];
      if (solver_dependent(name) || (name.size() > 5 && name.compare(name.size() - 5, 5, "_pmax") == 0 && name != "vp_pmax"))
        continue;
      if (a[r][c].empty() || b[r][c].empty()) {  // a component not measured
        if (a[r][c] == b[r][c]) continue;
        std::fprintf(stderr, "compare_tables: line %zu, %s: \"%s\" against \"%s\"\n", r + 1, a[0][c].c_str(),
                     a[r][c].c_str(), b[r][c].c_str());
        ++bad;
        continue;
      }
      const double x = std::stod(a[r][c]), y = std::stod(b[r][c]);
      const double ref = coupling(a[0][c]) ? scale : std::fmax(std::fabs(x), std::fabs(y));
      if (std::fabs(x - y) <= 1e-9 * ref) continue;
      std::fprintf(stderr, "compare_tables: line %zu, %s: %.17g against %.17g\n", r + 1, a[0][c].c_str(), x, y);
      ++bad;
    }
  }
  return bad == 0 ? 0 : 1;
}
