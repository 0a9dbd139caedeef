#include "tensor/richardson.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace tensor {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One quantity of a row: a tensor component (complex, Pa) or a velocity or
// 1000/Q (real; the imaginary part 0).
struct Quantity {
  std::string name, unit;
  core::zcomplex value;
  double scale = kNaN;  // what "converged" is relative to: the value's own modulus where NaN
};

// Every tensor component present; new components join this list.
std::vector<Quantity> quantities(const TensorRow& r) {
  std::vector<Quantity> q = {{"c11", "Pa", r.c11}, {"c13", "Pa", r.c13}, {"c33", "Pa", r.c33}, {"c55", "Pa", r.c55}};
  // The coupling moduli where measured (periodic boundaries): they may
  // vanish, so they converge relative to the largest diagonal modulus.
  if (!std::isnan(r.c15.re) && !std::isnan(r.c35.re)) {
    const double diagonal = std::max({std::hypot(r.c11.re, r.c11.im), std::hypot(r.c33.re, r.c33.im),
                                      std::hypot(r.c55.re, r.c55.im)});
    q.push_back({"c15", "Pa", r.c15, diagonal});
    q.push_back({"c35", "Pa", r.c35, diagonal});
  }
  const std::pair<const char*, double> waves[] = {{"vp0", r.vp0},         {"q1000_p0", r.q1000_p0},
                                                  {"vp90", r.vp90},       {"q1000_p90", r.q1000_p90},
                                                  {"vs0", r.vs0},         {"q1000_s0", r.q1000_s0}};
  for (const auto& [name, v] : waves) q.push_back({name, name[0] == 'v' ? "m/s" : "1", {v, 0}});
  for (const Column& c : r.extra)
    for (const char* prefix : {"vp_", "vsv_", "q1000_p_", "q1000_sv_"})
      if (c.name.rfind(prefix, 0) == 0) q.push_back({c.name, c.unit, {c.value, 0}});
  return q;
}

// The other half of a wave: its 1000/Q for a velocity and the reverse ("" for a component).
std::string partner_of(const std::string& name) {
  const std::pair<const char*, const char*> pairs[] = {{"vp0", "q1000_p0"}, {"vp90", "q1000_p90"}, {"vs0", "q1000_s0"}};
  for (const auto& [v, q] : pairs) {
    if (name == v) return q;
    if (name == q) return v;
  }
  const std::pair<const char*, const char*> prefixes[] = {{"vp_", "q1000_p_"}, {"vsv_", "q1000_sv_"}};
  for (const auto& [v, q] : prefixes) {
    if (name.rfind(v, 0) == 0) return q + name.substr(std::string(v).size());
    if (name.rfind(q, 0) == 0) return v + name.substr(std::string(q).size());
  }
  return "";
}

double distance(core::zcomplex a, core::zcomplex b) { return std::hypot(a.re - b.re, a.im - b.im); }

struct Differences {
  double d1, d2, d, scale;
};

Differences differences(const Quantity& a, const Quantity& b, const Quantity& c) {
  const double scale = std::isnan(a.scale) ? std::hypot(a.value.re, a.value.im) : a.scale;
  return {distance(a.value, b.value), distance(b.value, c.value), distance(a.value, c.value), scale};
}

}  // namespace

ErrorEstimate three_grid_estimate(double d1, double d2, double d, double scale, int target, double partner_order) {
  if (!std::isfinite(d1) || !std::isfinite(d2) || !std::isfinite(d)) return {kNaN, kNaN, true};
  const double converged = kConvergedRelative * scale;
  if (d1 <= converged && d2 <= converged) return {target == 0 ? d : d2, kNaN, true};
  ErrorEstimate e;
  e.order = d2 > converged && d1 > d2 ? std::log2(d1 / d2) : kNaN;
  e.asymptotic = std::isfinite(e.order) && e.order <= 2 &&
                 (!std::isfinite(partner_order) || std::fabs(e.order - partner_order) <= kOrderDisagreement);
  // The sum of a geometric series of changes of ratio r from the target on.
  const double r = d1 > 0 ? d2 / d1 : kNaN;
  const double richardson = r < 1 ? (target == 0 ? d1 : target == 1 ? d2 : d2 * r) / (1 - r) : kNaN;
  if (e.asymptotic) {
    e.error = kSafetyFactor * richardson;
  } else {
    // Safe: the whole change seen, and twice the last step for what the
    // finest grid still misses (the tail of changes falling at order 0.6 or
    // faster). Not the extrapolation with the order rejected: an order near
    // 0 would make it boundless.
    e.error = d + 2 * d2;
  }
  return e;
}

std::string add_error_columns(std::vector<TensorRow>& rows, const std::vector<TensorRow> grids[3], int target) {
  for (int g = 0; g < 3; ++g)
    if (grids[g].size() != rows.size())
      throw std::logic_error("error estimate: grid " + std::to_string(g) + " has " + std::to_string(grids[g].size()) +
                             " rows, the run " + std::to_string(rows.size()));
  std::string summary;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::vector<Quantity> q[3] = {quantities(grids[0][i]), quantities(grids[1][i]), quantities(grids[2][i])};
    if (q[1].size() != q[0].size() || q[2].size() != q[0].size())
      throw std::logic_error("error estimate: the three grids' rows carry different quantities");
    std::map<std::string, double> raw_order;
    std::vector<Differences> diffs;
    for (std::size_t k = 0; k < q[0].size(); ++k) {
      diffs.push_back(differences(q[0][k], q[1][k], q[2][k]));
      raw_order[q[0][k].name] = three_grid_estimate(diffs[k].d1, diffs[k].d2, diffs[k].d, diffs[k].scale, target).order;
    }
    std::vector<Column> errors, orders;
    std::string outside;
    double fallbacks = 0;
    for (std::size_t k = 0; k < q[0].size(); ++k) {
      const std::string partner = partner_of(q[0][k].name);
      const double po = partner.empty() || !raw_order.count(partner) ? kNaN : raw_order[partner];
      const ErrorEstimate e = three_grid_estimate(diffs[k].d1, diffs[k].d2, diffs[k].d, diffs[k].scale, target, po);
      errors.push_back({"err_" + q[0][k].name, q[0][k].unit, e.error});
      orders.push_back({"order_" + q[0][k].name, "1", e.order});
      if (!e.asymptotic) fallbacks += 1, outside += (outside.empty() ? "" : ", ") + q[0][k].name;
    }
    TensorRow& row = rows[i];
    row.extra.insert(row.extra.end(), errors.begin(), errors.end());
    row.extra.insert(row.extra.end(), orders.begin(), orders.end());
    row.extra.push_back({"err_fallbacks", "1", fallbacks});
    if (!outside.empty()) {
      char f[40];
      std::snprintf(f, sizeof f, "%g Hz: ", row.freq_hz);
      summary += (summary.empty() ? "" : "; ") + std::string(f) + outside;
    }
  }
  return summary;
}

}  // namespace tensor
