// Compares two tensor.csv tables: the same header lines, the same number of
// rows, and every number within a relative 1e-9, apart from the columns
// that differ by nature between two solvers (backward errors, times).
// Usage: compare_tables EXPECTED.csv ACTUAL.csv; status 0 when they agree.
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: compare_tables EXPECTED.csv ACTUAL.csv\n");
    return 2;
  }
  std::vector<std::vector<std::string>> a, b;
  if (!read(argv[1], a) || !read(argv[2], b)) return 1;
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
    for (std::size_t c = 0; c < a[0].size(); ++c) {
      if (solver_dependent(a[0][c])) continue;
      const double x = std::stod(a[r][c]), y = std::stod(b[r][c]);
      if (std::fabs(x - y) <= 1e-9 * std::fmax(std::fabs(x), std::fabs(y))) continue;
      std::fprintf(stderr, "compare_tables: line %zu, %s: %.17g against %.17g\n", r + 1, a[0][c].c_str(), x, y);
      ++bad;
    }
  }
  return bad == 0 ? 0 : 1;
}
