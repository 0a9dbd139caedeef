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
