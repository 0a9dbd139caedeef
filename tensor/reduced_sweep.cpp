#include "tensor/reduced_sweep.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

#include "core/angular_frequency.hpp"
#include "core/backward_error.hpp"
#include "tensor/mpi_run.hpp"
#include "tensor/reduced_basis.hpp"
#include "tensor/sweep_residuals.hpp"

namespace tensor {

namespace {

using core::kTwoPi;
using core::kUnitRoundoff;
using core::magnitude;
constexpr double kInf = std::numeric_limits<double>::infinity();

double modulus(zcomplex a) { return core::cabs(a); }

class Sweep {
 public:
  Sweep(const FrequencySystem& s, engine::SparseSolver& solver, const SweepOptions& o)
      : s_(s), solver_(solver), o_(o), basis_(s) {
    std::vector<double> count(static_cast<std::size_t>(s.n), 0.0);
    for (std::size_t e = 0; e < s.pattern->row.size(); ++e) {
      ++count[static_cast<std::size_t>(s.pattern->row[e])];
      if (s.pattern->row[e] != s.pattern->col[e]) ++count[static_cast<std::size_t>(s.pattern->col[e])];
    }
    // In a job a row's products are those of every rank's share, in any
    // order of summation. Real and imaginary parts each sum two products
    // per entry of a row.
    sum_over_ranks(count);
    const double k = 2.0 * static_cast<double>(*std::max_element(count.begin(), count.end()) + 2);
    residual_rounding_ = k * kUnitRoundoff / (1 - k * kUnitRoundoff);
  }

  void full_solve(double hz);
  void add_columns(const std::vector<zcomplex>& block);
  std::vector<zcomplex> right_sides(std::span<const zcomplex> theta) const;
  void subtract_product(std::span<const zcomplex> theta, double c, const std::vector<zcomplex>& x,
                        std::vector<zcomplex>& block) const;
  std::size_t columns() const { return static_cast<std::size_t>(s_.loads + s_.functionals); }
  std::vector<zcomplex> reduced_values(double hz) const {
    return basis_.solve(s_.coefficients(kTwoPi * hz)).value;
  }
  void factorise_reference(double hz);
  SweepPoint certify(double hz);
  SweepResult& result() { return result_; }
  void say(const std::string& what) const {
    if (o_.progress) o_.progress(what);
  }

 private:
  const FrequencySystem& s_;
  engine::SparseSolver& solver_;
  const SweepOptions& o_;
  ReducedBasis basis_;
  SweepResult result_;
  std::vector<zcomplex> reference_theta_;
  double residual_rounding_ = 0;
};

// The derivatives by omega of the coefficients, orders 1 and 2, by central
// differences (they only enrich the space: the certificate does not use them).
std::vector<std::vector<zcomplex>> coefficient_derivatives(const FrequencySystem& s, double omega) {
  const double h = 1e-3 * omega;
  const std::vector<zcomplex> lo = s.coefficients(omega - h), mid = s.coefficients(omega), hi = s.coefficients(omega + h);
  std::vector<std::vector<zcomplex>> d(2, std::vector<zcomplex>(mid.size()));
  for (std::size_t q = 0; q < mid.size(); ++q) {
    d[0][q] = (hi[q] - lo[q]) * (0.5 / h);
    d[1][q] = (hi[q] - 2.0 * mid[q] + lo[q]) * (1.0 / (h * h));
  }
  return d;
}

void Sweep::add_columns(const std::vector<zcomplex>& block) {
  const std::size_t n = static_cast<std::size_t>(s_.n);
  std::vector<std::vector<double>> parts;  // rank 0's alone in a job: it holds the basis
  for (std::size_t c = 0; leads_output() && c < block.size() / n; ++c)
    for (int part = 0; part < 2; ++part) {
      std::vector<double> v(n);
      for (std::size_t i = 0; i < n; ++i) v[i] = part == 0 ? block[c * n + i].re : block[c * n + i].im;
      parts.push_back(std::move(v));
    }
  basis_.add(std::move(parts));
}

// The loads' and the functionals' free parts at the coefficients theta (n x columns).
std::vector<zcomplex> Sweep::right_sides(std::span<const zcomplex> theta) const {
  const std::size_t n = static_cast<std::size_t>(s_.n), loads = static_cast<std::size_t>(s_.loads);
  std::vector<zcomplex> block(n * loads, zcomplex{0, 0});
  for (std::size_t q = 0; q < theta.size(); ++q)
    for (std::size_t i = 0; i < block.size(); ++i) block[i] += theta[q] * s_.term_rhs[q][i];
  for (const std::vector<zcomplex>& l : functionals_at(s_, theta)) block.insert(block.end(), l.begin(), l.end());
  for (std::size_t i = 0; i < block.size(); ++i)
    if (!s_.free[i % n]) block[i] = {0, 0};
  return block;
}

// block -= c * (sum_q theta_q A_q) x, every column in one pass over the pattern.
void Sweep::subtract_product(std::span<const zcomplex> theta, double c, const std::vector<zcomplex>& x,
                             std::vector<zcomplex>& block) const {
  const std::size_t n = static_cast<std::size_t>(s_.n);
  std::vector<zcomplex> a(s_.pattern->row.size(), zcomplex{0, 0});
  for (std::size_t q = 0; q < theta.size(); ++q) {
    if (theta[q].re == 0 && theta[q].im == 0) continue;
    const zcomplex t = c * theta[q];
    for (std::size_t e = 0; e < a.size(); ++e) a[e] += t * s_.term_values[q][e];
  }
  std::vector<zcomplex> ax;
  std::vector<double> unused;
  block_product<zcomplex, zcomplex>(*s_.pattern, a, x, x.size() / n, 0, ax, unused);
  sum_on_leader(ax);  // each rank's parts are its band's share
  if (!leads_output()) return;
  for (std::size_t i = 0; i < block.size(); ++i)
    if (s_.free[i % n]) block[i] -= ax[i];
}

// Factorises A(omega) and adds to the space the solutions of the loads and
// of the functionals (the adjoints) and their first two derivatives by
// omega (A x' = b' - A' x, A x'' = b'' - 2 A' x' - A'' x), all with the one
// factorisation. In a job the right-hand sides and the solutions are rank
// 0's; the solutions the derivatives' right-hand sides multiply reach every
// rank, whose band's share of the products rank 0 sums.
void Sweep::full_solve(double hz) {
  const double omega = kTwoPi * hz;
  const bool lead = leads_output();
  std::vector<zcomplex> values, unused;
  s_.assemble(omega, values, unused);
  solver_.factorise(values);
  reference_theta_.clear();
  const std::vector<zcomplex> theta = s_.coefficients(omega);
  const std::vector<std::vector<zcomplex>> d = coefficient_derivatives(s_, omega);
  const std::size_t size = static_cast<std::size_t>(s_.n) * columns();
  auto rhs = [&](std::span<const zcomplex> t) { return lead ? right_sides(t) : std::vector<zcomplex>(size); };
  const auto count = static_cast<engine::Index>(columns());
  std::vector<zcomplex> x0 = rhs(theta);
  // The space needs no refined solutions: the certificate judges whatever it holds.
  solver_.solve(x0, count, false);
  broadcast_from_leader(x0);
  add_columns(x0);
  std::vector<zcomplex> x1 = rhs(d[0]);
  subtract_product(d[0], 1.0, x0, x1);
  solver_.solve(x1, count, false);
  broadcast_from_leader(x1);
  add_columns(x1);
  std::vector<zcomplex> x2 = rhs(d[1]);
  subtract_product(d[0], 2.0, x1, x2);
  subtract_product(d[1], 1.0, x0, x2);
  solver_.solve(x2, count, false);
  add_columns(x2);
  result_.full_solves_hz.push_back(hz);
  ++result_.factorisations;
}

void Sweep::factorise_reference(double hz) {
  reference_theta_ = s_.coefficients(kTwoPi * hz);
  std::vector<zcomplex> values(s_.pattern->row.size(), zcomplex{0, 0});
  for (std::size_t q = 0; q < s_.term_values.size(); ++q) {
    const double t = modulus(reference_theta_[q]);
    for (std::size_t e = 0; e < values.size(); ++e) values[e].re += t * s_.term_values[q][e];
  }
  // The prescribed unknowns are uncoupled: any positive diagonal.
  for (std::size_t e = 0; e < values.size(); ++e)
    if (s_.pattern->row[e] == s_.pattern->col[e] && !s_.free[static_cast<std::size_t>(s_.pattern->row[e])])
      values[e] = {1, 0};
  solver_.factorise(values);
  ++result_.factorisations;
}

// sqrt(v^H N^-1 v) for each of the columns of the block (overwritten); in a
// job the block is rank 0's, and so are the norms.
std::vector<double> energy_norms(engine::SparseSolver& solver, std::vector<zcomplex>& block, std::size_t n,
                                 std::size_t columns) {
  const std::vector<zcomplex> v = block;
  solver.solve(block, static_cast<engine::Index>(columns), false);
  if (!leads_output()) return {};
  std::vector<double> out(columns);
  for (std::size_t c = 0; c < columns; ++c) {
    double s = 0, scale = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const zcomplex a = v[c * n + i], b = block[c * n + i];
      s += a.re * b.re + a.im * b.im;
      scale += magnitude(a) * magnitude(b);
    }
    // A negative square beyond rounding: N is not positive definite.
    out[c] = s >= -1e-10 * scale ? std::sqrt(std::max(s, 0.0)) : kInf;
  }
  return out;
}

// In a job every rank takes the same collective steps: rank 0 solves the
// reduced system, the reduced solutions reach every rank, each rank's
// band's share of the residuals is summed on rank 0, which alone holds the
// point's bounds.
SweepPoint Sweep::certify(double hz) {
  const double omega = kTwoPi * hz;
  const std::size_t n = static_cast<std::size_t>(s_.n), loads = static_cast<std::size_t>(s_.loads);
  const std::size_t nf = static_cast<std::size_t>(s_.functionals);
  const bool lead = leads_output();
  const std::vector<zcomplex> theta = s_.coefficients(omega);
  SweepPoint p;
  p.freq_hz = hz;
  p.value.assign(nf * loads, zcomplex{std::nan(""), std::nan("")});
  p.bound.assign(nf * loads, kInf);
  p.magnitude.assign(nf * loads, 0.0);
  ReducedBasis::Reduced red;
  if (lead) red = basis_.solve(theta);
  double solved = red.solved ? 1 : 0;
  broadcast_from_leader(std::span<double>(&solved, 1));
  if (solved == 0) return p;
  std::vector<zcomplex> a, b;
  s_.assemble(omega, a, b);
  sum_on_leader(b);
  const std::vector<std::vector<zcomplex>> l = lead ? functionals_at(s_, theta) : std::vector<std::vector<zcomplex>>{};
  std::vector<zcomplex> x = lead ? basis_.expand(red.y) : std::vector<zcomplex>(n * loads);
  std::vector<zcomplex> yhat = lead ? basis_.expand(red.z) : std::vector<zcomplex>(n * nf);
  broadcast_from_leader(x);
  broadcast_from_leader(yhat);
  const SweepResiduals res = sweep_residuals(s_, a, b, x, yhat, l);
  p.backward_error = res.backward_error;
  std::vector<zcomplex> block = res.r;
  const std::vector<double> nu = energy_norms(solver_, block, n, loads + nf);
  if (!lead) return p;
  const double gamma = energy_ratio(theta, reference_theta_);
  for (std::size_t i = 0; i < nf; ++i)
    for (std::size_t j = 0; j < loads; ++j) {
      zcomplex value{0, 0}, first{0, 0};
      double size = 0, rounding = 0;
      const zcomplex* li = l[i].data();
      const zcomplex* yi = yhat.data() + i * n;
      const zcomplex* xj = x.data() + j * n;
      const zcomplex* rj = res.r.data() + j * n;
      const double* sj = res.scale.data() + j * n;
      for (std::size_t u = 0; u < n; ++u) {
        const zcomplex xu = s_.free[u] ? xj[u] : zcomplex{s_.prescribed[j * n + u], 0};
        value += li[u] * xu;
        size += magnitude(li[u]) * magnitude(xu);
        first += yi[u] * rj[u];
        rounding += magnitude(yi[u]) * sj[u];
      }
      p.value[i * loads + j] = value;
      p.magnitude[i * loads + j] = size;
      p.bound[i * loads + j] =
          modulus(first) + residual_rounding_ * rounding + std::sqrt(2.0) / gamma * nu[loads + i] * nu[j];
    }
  return p;
}

double relative_change(const std::vector<zcomplex>& now, const std::vector<zcomplex>& before) {
  double size = 0, change = 0;
  for (std::size_t i = 0; i < now.size(); ++i) {
    size = std::max(size, modulus(now[i]));
    change = std::max(change, modulus(now[i] - before[i]));
  }
  return size > 0 ? change / size : kInf;
}

// In a job, rank 0's points on every rank (each rank then makes the same rows).
void broadcast_points(std::vector<SweepPoint>& points) {
  if (job_ranks().size == 1 || points.empty()) return;
  const std::size_t m = points.front().value.size(), per = 4 * m + 2;
  std::vector<double> all(points.size() * per);
  for (std::size_t k = 0; leads_output() && k < points.size(); ++k) {
    double* at = all.data() + k * per;
    const SweepPoint& p = points[k];
    for (std::size_t i = 0; i < m; ++i)
      at[4 * i] = p.value[i].re, at[4 * i + 1] = p.value[i].im, at[4 * i + 2] = p.bound[i], at[4 * i + 3] = p.magnitude[i];
    at[4 * m] = p.freq_hz, at[4 * m + 1] = p.backward_error;
  }
  broadcast_from_leader(all);
  for (std::size_t k = 0; k < points.size(); ++k) {
    const double* at = all.data() + k * per;
    SweepPoint& p = points[k];
    for (std::size_t i = 0; i < m; ++i)
      p.value[i] = {at[4 * i], at[4 * i + 1]}, p.bound[i] = at[4 * i + 2], p.magnitude[i] = at[4 * i + 3];
    p.freq_hz = at[4 * m], p.backward_error = at[4 * m + 1];
  }
}

}  // namespace

// Where to solve in full next: in every run of neighbouring frequencies
// that failed their certificate (and were not solved in full), the one of
// the worst score; the worst runs first, at most `room`.
std::vector<std::size_t> next_full_solves(const std::vector<double>& scores, const std::vector<bool>& certified,
                                           const std::vector<bool>& chosen, std::size_t room) {
  std::vector<std::size_t> worst;
  for (std::size_t k = 0; k < scores.size();) {
    if (certified[k]) {
      ++k;
      continue;
    }
    std::size_t best = scores.size();
    for (; k < scores.size() && !certified[k]; ++k)
      if (!chosen[k] && (best == scores.size() || !(scores[k] <= scores[best]))) best = k;
    if (best != scores.size()) worst.push_back(best);
  }
  std::stable_sort(worst.begin(), worst.end(), [&](std::size_t a, std::size_t b) { return scores[a] > scores[b]; });
  if (worst.size() > room) worst.resize(room);
  return worst;
}

double energy_ratio(std::span<const zcomplex> theta, std::span<const zcomplex> theta_reference) {
  double g = kInf;
  for (std::size_t q = 0; q < theta.size(); ++q)
    if (const double ref = modulus(theta_reference[q]); ref > 0) g = std::min(g, modulus(theta[q]) / ref);
  return g;
}

SweepResult reduced_sweep(const FrequencySystem& s, const std::vector<double>& freqs_hz, engine::SparseSolver& solver,
                          const SweepOptions& o, const SweepScore& score) {
  Sweep w(s, solver, o);
  std::vector<double> f = freqs_hz;
  std::sort(f.begin(), f.end());
  f.erase(std::unique(f.begin(), f.end()), f.end());
  const std::size_t limit = o.max_full_solves > 0 ? std::min<std::size_t>(o.max_full_solves, f.size()) : f.size();
  std::vector<bool> chosen(f.size(), false);
  auto solve_at = [&](std::size_t k) {
    char text[96];
    std::snprintf(text, sizeof text, "full solve %zu at %.6g Hz", w.result().full_solves_hz.size() + 1, f[k]);
    w.say(text);
    w.full_solve(f[k]);
    chosen[k] = true;
  };
  solve_at(f.size() / 2);
  // Greedy: the frequency whose results the last full solve moved most
  // (first, the one farthest on a log scale from those solved).
  std::vector<std::vector<zcomplex>> before;
  // In a job rank 0 chooses (it holds the basis) and every rank follows.
  while (w.result().full_solves_hz.size() < limit) {
    std::vector<std::vector<zcomplex>> now;
    double next = -1;  // none: the space is good enough
    if (leads_output()) {
      for (double hz : f) now.push_back(w.reduced_values(hz));
      std::size_t best = f.size();
      double worst = 0;
      for (std::size_t k = 0; k < f.size(); ++k) {
        if (chosen[k]) continue;
        double d = kInf;
        for (double c : w.result().full_solves_hz) d = std::min(d, std::abs(std::log10(f[k] / c)));
        const double indicator = before.empty() ? d : relative_change(now[k], before[k]);
        if (!(indicator <= worst)) worst = indicator, best = k;
      }
      if (best != f.size() && (before.empty() || worst > o.tolerance)) next = static_cast<double>(best);
    }
    broadcast_from_leader(std::span<double>(&next, 1));
    if (next < 0) break;
    solve_at(static_cast<std::size_t>(next));
    before = std::move(now);
  }
  // Certify every frequency; add full solves where bounds are too large.
  // A frequency certified once keeps its point: its bound holds for the
  // values it was made with, whatever the space becomes afterwards.
  std::vector<SweepPoint> points(f.size());
  std::vector<double> scores(f.size(), kInf);
  std::vector<bool> certified(f.size(), false);
  for (;;) {
    w.factorise_reference(f.front());
    const auto pending = static_cast<std::size_t>(std::count(certified.begin(), certified.end(), false));
    w.say("certifying " + std::to_string(pending) + " frequencies");
    for (std::size_t k = 0; k < f.size(); ++k) {
      if (certified[k]) continue;
      points[k] = w.certify(f[k]);
      if (!leads_output()) continue;
      const double sc = score(points[k]);
      scores[k] = std::isnan(sc) ? kInf : sc;
    }
    broadcast_from_leader(scores);  // rank 0 judged: every rank takes the same next steps
    for (std::size_t k = 0; k < f.size(); ++k) certified[k] = certified[k] || scores[k] <= o.tolerance;
    const std::size_t room = limit - std::min(limit, w.result().full_solves_hz.size());
    const std::vector<std::size_t> next = next_full_solves(scores, certified, chosen, room);
    if (next.empty()) break;
    for (std::size_t k : next) solve_at(k);
  }
  broadcast_points(points);
  std::map<double, const SweepPoint*> at;
  for (std::size_t k = 0; k < f.size(); ++k) at[f[k]] = &points[k];
  for (double hz : freqs_hz) w.result().points.push_back(*at[hz]);
  return std::move(w.result());
}

}  // namespace tensor
