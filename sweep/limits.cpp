// The relaxed and unrelaxed moduli of a layered sample from the elastic
// coefficient maps of a run.
#include <array>
#include <cmath>
#include <sstream>

#include "sweep/sweep.hpp"

namespace sweep {

namespace {

using M3 = std::array<std::array<double, 3>, 3>;

// Inverse of a symmetric 3 x 3 matrix by cofactors; nothing when singular.
std::optional<M3> inverse(const M3& a) {
  M3 c{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      c[j][i] = a[i1][j1] * a[i2][j2] - a[i1][j2] * a[i2][j1];
    }
  const double det = a[0][0] * c[0][0] + a[0][1] * c[1][0] + a[0][2] * c[2][0];
  if (!(std::fabs(det) > 0) || !std::isfinite(det)) return std::nullopt;
  for (auto& row : c)
    for (auto& x : row) x /= det;
  return c;
}

}  // namespace

Limits layered_limits(const std::vector<CellCoefficients>& cells) {
  M3 mean{};
  double compliance = 0;
  for (const auto& c : cells) {
    const double A = c.lambda1 + 2 * c.mu1, B = c.lambda3 + 2 * c.mu3, C = c.d3 + c.mu13;
    const M3 e = {{{A, C, c.b1}, {C, B, c.b2}, {c.b1, c.b2, c.m}}};
    auto inv = inverse(e);
    if (!inv) return {std::nan(""), std::nan("")};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) mean[i][j] += (*inv)[i][j] / static_cast<double>(cells.size());
    compliance += 1 / (A + B + 2 * C) / static_cast<double>(cells.size());
  }
  auto stiff = inverse(mean);
  Limits l;
  l.relaxed = stiff ? (*stiff)[0][0] + (*stiff)[0][1] + (*stiff)[1][0] + (*stiff)[1][1] : std::nan("");
  l.unrelaxed = 1 / compliance;
  return l;
}

std::optional<Limits> layered_limits(const fs::path& dir) {
  static const char* files[] = {"xlambda1_gnu", "xlambda3_gnu", "xmu1_gnu", "xmu3_gnu", "xmu13_gnu",
                                "b1_gnu",       "b2_gnu",       "xm_gnu",   "d3_gnu"};
  std::map<std::pair<int, int>, std::array<double, 9>> cells;
  for (int f = 0; f < 9; ++f) {
    const std::optional<std::string> text = slurp(dir / files[f]);
    if (!text) return std::nullopt;
    std::istringstream in(*text);
    size_t n = 0;
    for (std::string a, b, v; in >> a >> b >> v; ++n) {
      auto j = parse_number(a), k = parse_number(b), x = parse_number(v);
      if (!j || !k || !x) return std::nullopt;
      cells[{static_cast<int>(*j), static_cast<int>(*k)}][f] = *x;
    }
    if (n != cells.size() || n == 0) return std::nullopt;  // every map over the same cells
  }
  std::vector<CellCoefficients> list;
  for (const auto& [cell, v] : cells) list.push_back({v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]});
  Limits l = layered_limits(list);
  if (!std::isfinite(l.relaxed) || !std::isfinite(l.unrelaxed)) return std::nullopt;
  return l;
}

}  // namespace sweep
