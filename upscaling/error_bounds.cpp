#include "upscaling/error_bounds.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "core/backward_error.hpp"
#include "core/compensated_residual.hpp"
#include "core/shared_work.hpp"

namespace upscaling::bounds {

namespace {

using core::kExtendedRoundoff;
using core::kUnitRoundoff;
using core::magnitude;

// Each v solved by `one`, or all in one sweep by `several` where given.
void solve_each(std::span<std::vector<zcomplex>> vs, const SolveInPlace& one, const SolveSeveral& several) {
  if (!several || vs.size() < 2) {
    for (std::vector<zcomplex>& v : vs) one(v);
    return;
  }
  std::vector<std::span<zcomplex>> views(vs.begin(), vs.end());
  several(views);
}

// A^{-T} v, and A^{-1} v, for each v.
void solve_transposed(std::span<std::vector<zcomplex>> vs, const SolveCallbacks& s) {
  solve_each(vs, s.solve_transpose, s.solve_transpose_several);
}
void solve_plain(std::span<std::vector<zcomplex>> vs, const SolveCallbacks& s) { solve_each(vs, s.solve, s.solve_several); }

std::vector<zcomplex> conjugated(std::span<const zcomplex> v) {
  std::vector<zcomplex> c(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) c[i] = core::conj(v[i]);
  return c;
}

// B = diag(g) A^{-H} and its adjoint, whose 1-norm is || |A^{-1}| g ||_inf.
struct WeightedInverse {
  std::span<const double> g;
  // B v = g o conj(A^{-T} conj(v)), in place.
  void finish_apply(std::vector<zcomplex>& t) const {
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = g[i] * core::conj(t[i]);
  }
  // B^H v = A^{-1} (g o v): the vector before the solve.
  std::vector<zcomplex> before_adjoint(std::span<const zcomplex> v) const {
    std::vector<zcomplex> t(v.size());
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = g[i] * v[i];
    return t;
  }
};

double norm1(std::span<const zcomplex> v) {
  double s = 0;
  for (const zcomplex& x : v) s += core::cabs(x);
  return s;
}

std::vector<zcomplex> unit_phases(std::span<const zcomplex> y) {
  std::vector<zcomplex> x(y.size());
  for (std::size_t i = 0; i < y.size(); ++i) {
    const double a = core::cabs(y[i]);
    x[i] = a > std::numeric_limits<double>::min() ? y[i] / a : zcomplex{1, 0};
  }
  return x;
}

std::size_t largest(std::span<const zcomplex> z) {
  std::size_t j = 0;
  double most = z.empty() ? 0 : core::cabs(z[0]);
  for (std::size_t i = 1; i < z.size(); ++i)
    if (const double a = core::cabs(z[i]); a > most) j = i, most = a;
  return j;
}

}  // namespace

Index order(const MatrixView& A) {
  return std::visit([](const auto& m) { return m.n; }, A);
}

namespace {

// The Yale rows (the programs' solver): the residual in extended precision.
ResidualBound residual_bound_extended(const CsrView& m, std::span<const zcomplex> b, std::span<const zcomplex> x) {
  const std::size_t n = static_cast<std::size_t>(m.n);
  std::vector<core::ResidualRow> rows(n);
  for (std::size_t i = 0; i < n; ++i) {
    rows[i] = core::ResidualRow(b[i]);
    for (Index e = m.ia[i] - m.base; e < m.ia[i + 1] - m.base; ++e)
      rows[i].subtract(m.a[e], x[static_cast<std::size_t>(m.ja[e] - m.base)]);
  }
  ResidualBound out;
  out.scale.resize(n);
  out.w.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const zcomplex r = rows[i].value();
    out.scale[i] = rows[i].scale();
    // Each extended product and sum rounds once per part: 2 entries' worth
    // of roundings per entry, and the final rounding to double.
    const double gamma = static_cast<double>(2 * (rows[i].entries() + 2) * kExtendedRoundoff);
    out.w[i] = (1 + 2 * kUnitRoundoff) * magnitude(r) + gamma * out.scale[i];
    out.backward_error = std::max(out.backward_error, core::backward_ratio(r, out.scale[i]));
  }
  return out;
}

// The lower triangle or coordinate entries (the engine's matrices): the
// residual in doubled double precision. Per part |r - r~| <= u |r~| / (1 - u)
// + gamma S / (1 - u) (core/compensated_residual.hpp); 1 + 8u covers the
// 1 / (1 - u), the rounding of |re| + |im| and of this expression.
ResidualBound residual_bound_compensated(const MatrixView& A, std::span<const zcomplex> b,
                                         std::span<const zcomplex> x) {
  const std::size_t n = static_cast<std::size_t>(order(A));
  std::vector<core::CompensatedRow> rows(n);
  for (std::size_t i = 0; i < n; ++i) rows[i] = core::CompensatedRow::start(b[i]);
  if (const LowerColumnsView* m = std::get_if<LowerColumnsView>(&A)) {
    const core::LowerColumns columns{m->ptr.data(), m->row.data(), m->a.data()};
    core::subtract_lower_columns(columns, x.data(), 0, m->n, m->n, rows.data(), nullptr);
  } else {
    const CooView& c = std::get<CooView>(A);
    core::subtract_entries(c.row, c.col, c.a, c.lower_symmetric, x.data(), rows.data());
  }
  ResidualBound out;
  out.scale.resize(n);
  out.w.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const zcomplex r = rows[i].value();
    out.scale[i] = rows[i].scale;
    const double gamma = core::compensated_gamma(rows[i].entries);
    out.w[i] = (1 + 8 * kUnitRoundoff) * (magnitude(r) + gamma * out.scale[i]);
    out.backward_error = std::max(out.backward_error, core::backward_ratio(r, out.scale[i]));
  }
  return out;
}

}  // namespace

ResidualBound residual_bound(const MatrixView& A, std::span<const zcomplex> b, std::span<const zcomplex> x) {
  if (const CsrView* rows = std::get_if<CsrView>(&A)) return residual_bound_extended(*rows, b, x);
  return residual_bound_compensated(A, b, x);
}

std::vector<zcomplex> adjoint(std::span<const zcomplex> l, const SolveCallbacks& s) {
  std::vector<zcomplex> y(l.begin(), l.end());
  s.solve_transpose(y);
  return y;
}

std::vector<std::vector<zcomplex>> adjoints(std::span<const std::span<const zcomplex>> ls, const SolveCallbacks& s) {
  std::vector<std::vector<zcomplex>> ys;
  for (const std::span<const zcomplex> l : ls) ys.emplace_back(l.begin(), l.end());
  solve_transposed(ys, s);
  return ys;
}

double functional_bound(std::span<const zcomplex> y, std::span<const double> w) {
  double sum = 0;
  for (std::size_t i = 0; i < y.size(); ++i) sum += magnitude(y[i]) * w[i];
  return std::isnan(sum) ? std::numeric_limits<double>::infinity() : sum;
}

std::vector<std::vector<zcomplex>> estimator_start(Index n) {
  const std::size_t m = static_cast<std::size_t>(std::max<Index>(n, 0));
  std::vector<std::vector<zcomplex>> v;
  v.push_back(conjugated(std::vector<zcomplex>(m, zcomplex{1.0 / static_cast<double>(m), 0})));
  if (m < 2) return v;
  std::vector<zcomplex> alt(m);
  for (std::size_t i = 0; i < m; ++i)
    alt[i] = {(i % 2 ? -1.0 : 1.0) * (1.0 + static_cast<double>(i) / static_cast<double>(m - 1)), 0};
  v.push_back(conjugated(alt));
  return v;
}

namespace {

// One Hager-Higham estimate (see inverse_weighted_norm); the solves of its
// steps are made by the caller, for all running estimates at once.
struct Estimate {
  WeightedInverse B;
  std::size_t n = 0;
  double est = 0, alternating = 0;
  std::size_t j = 0;
  bool running = true;
};

// work(k) for k = 0 .. count-1, on two threads where `two` (each k writes
// only what is its own).
void each(std::size_t count, bool two, const std::function<void(std::size_t)>& work) {
  core::share_out(two ? 2 : 1, count, [&](std::size_t k, std::size_t) { work(k); });
}

// Applies B (transposed solves) or B^H (plain solves) to each estimate's
// vector in `vs`, all in one block.
void apply_all(std::vector<Estimate*>& e, std::vector<std::vector<zcomplex>>& vs, const std::vector<std::size_t>& owner,
               bool adjoint, const SolveCallbacks& s) {
  if (adjoint) {
    solve_plain(vs, s);
    return;
  }
  each(vs.size(), s.two_threads, [&](std::size_t k) { vs[k] = conjugated(vs[k]); });
  solve_transposed(vs, s);
  each(vs.size(), s.two_threads, [&](std::size_t k) { e[owner[k]]->B.finish_apply(vs[k]); });
}

// The start vectors' solves of one order: given ahead, or solved here, each
// order's once (they do not depend on g).
struct SolvedStarts {
  std::size_t n;
  std::vector<std::vector<zcomplex>> own;
  std::span<const zcomplex> uniform, alternating;
};

std::vector<SolvedStarts> solved_starts(const std::vector<Estimate*>& e, const SolveCallbacks& s,
                                        const StartSolves* ahead) {
  std::vector<SolvedStarts> out;
  std::vector<std::vector<zcomplex>> block;
  for (const Estimate* x : e) {
    if (std::any_of(out.begin(), out.end(), [&](const SolvedStarts& o) { return o.n == x->n; })) continue;
    out.push_back({x->n, {}, {}, {}});
    if (ahead && ahead->uniform.size() == x->n && (x->n < 2 || ahead->alternating.size() == x->n)) {
      out.back().uniform = ahead->uniform, out.back().alternating = ahead->alternating;
      continue;
    }
    for (std::vector<zcomplex>& v : estimator_start(static_cast<Index>(x->n))) block.push_back(std::move(v));
  }
  solve_transposed(block, s);
  std::size_t next = 0;
  for (SolvedStarts& o : out) {
    if (!o.uniform.empty()) continue;
    const std::size_t count = o.n < 2 ? 1 : 2;
    o.own.assign(std::make_move_iterator(block.begin() + next), std::make_move_iterator(block.begin() + next + count));
    next += count;
    o.uniform = o.own[0];
    if (count == 2) o.alternating = o.own[1];
  }
  return out;
}

// The 1-norm of B v from the solve t = A^{-T} conj(v).
double applied_norm(const Estimate& x, std::span<const zcomplex> t, std::vector<zcomplex>* keep) {
  std::vector<zcomplex> v(t.begin(), t.end());
  x.B.finish_apply(v);
  const double norm = norm1(v);
  if (keep) *keep = std::move(v);
  return norm;
}

// Step 1: the start and the alternating-sign vector of each estimate; with
// `further` (a step follows) the index for the next step, whose adjoint
// solve would be wasted on the last step.
void start_all(std::vector<Estimate*>& e, const SolveCallbacks& s, bool further, const StartSolves* ahead) {
  const std::vector<SolvedStarts> starts = solved_starts(e, s, ahead);
  std::vector<std::vector<zcomplex>> z(e.size());
  each(e.size(), s.two_threads, [&](std::size_t k) {
    Estimate& x = *e[k];
    const SolvedStarts& o = *std::find_if(starts.begin(), starts.end(), [&](const SolvedStarts& t) { return t.n == x.n; });
    std::vector<zcomplex> y;
    x.est = applied_norm(x, o.uniform, &y);
    if (x.n < 2) {
      x.running = false;
      return;
    }
    x.alternating = 2 * applied_norm(x, o.alternating, nullptr) / (3.0 * static_cast<double>(x.n));
    if (!further) {
      x.running = false;
      return;
    }
    z[k] = x.B.before_adjoint(unit_phases(y));
  });
  std::vector<std::vector<zcomplex>> zs;
  std::vector<Estimate*> next;
  for (std::size_t k = 0; k < e.size(); ++k)
    if (e[k]->running) zs.push_back(std::move(z[k])), next.push_back(e[k]);
  std::vector<std::size_t> own(next.size());
  for (std::size_t k = 0; k < own.size(); ++k) own[k] = k;
  apply_all(next, zs, own, true, s);
  each(next.size(), s.two_threads, [&](std::size_t k) { next[k]->j = largest(zs[k]); });
}

// One step of every running estimate: y = B e_j, then, unless this is the
// `last` step (its index would go unused), z = B^H phases(y).
void step_all(std::vector<Estimate*> e, const SolveCallbacks& s, bool last) {
  std::vector<std::vector<zcomplex>> ys;
  std::vector<std::size_t> own;
  for (std::size_t k = 0; k < e.size(); ++k) {
    ys.emplace_back(e[k]->n, zcomplex{0, 0})[e[k]->j] = {1, 0};
    own.push_back(k);
  }
  apply_all(e, ys, own, false, s);
  std::vector<std::vector<zcomplex>> z(e.size());
  each(e.size(), s.two_threads, [&](std::size_t k) {
    const double previous = e[k]->est;
    e[k]->est = norm1(ys[k]);
    if (!(e[k]->est > previous) || last) e[k]->running = false;
    else z[k] = e[k]->B.before_adjoint(unit_phases(ys[k]));
  });
  std::vector<Estimate*> on;
  std::vector<std::vector<zcomplex>> zs;
  for (std::size_t k = 0; k < e.size(); ++k)
    if (e[k]->running) on.push_back(e[k]), zs.push_back(std::move(z[k]));
  std::vector<std::size_t> mine(on.size());
  for (std::size_t k = 0; k < mine.size(); ++k) mine[k] = k;
  apply_all(on, zs, mine, true, s);
  each(on.size(), s.two_threads, [&](std::size_t k) {
    const std::size_t before = on[k]->j;
    on[k]->j = largest(zs[k]);
    if (core::cabs(zs[k][before]) == core::cabs(zs[k][on[k]->j])) on[k]->running = false;
  });
}

}  // namespace

std::vector<double> inverse_weighted_norms(std::span<const std::span<const double>> gs, const SolveCallbacks& s,
                                           int max_steps, const StartSolves* ahead) {
  std::vector<Estimate> all(gs.size());
  std::vector<Estimate*> live;
  for (std::size_t k = 0; k < gs.size(); ++k) {
    all[k].B.g = gs[k], all[k].n = gs[k].size();
    if (all[k].n > 0) live.push_back(&all[k]);
  }
  if (!live.empty()) start_all(live, s, max_steps > 1, ahead);
  for (int step = 2; step <= max_steps; ++step) {
    std::erase_if(live, [](const Estimate* e) { return !e->running; });
    if (live.empty()) break;
    step_all(live, s, step == max_steps);
  }
  std::vector<double> out(gs.size());
  for (std::size_t k = 0; k < gs.size(); ++k) {
    const double est = all[k].n > 1 ? std::max(all[k].est, all[k].alternating) : all[k].est;
    out[k] = std::isnan(est) ? std::numeric_limits<double>::infinity() : est;
  }
  return out;
}

double inverse_weighted_norm(std::span<const double> g, const SolveCallbacks& s, int max_steps) {
  const std::span<const double> one[1] = {g};
  return inverse_weighted_norms(one, s, max_steps)[0];
}

namespace {

SolutionBounds bounds_from(const ResidualBound& r, std::span<const zcomplex> x, double estimate) {
  double xmax = 0, ratio = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    xmax = std::max(xmax, core::cabs(x[i]));
    if (r.w[i] > 0) ratio = std::max(ratio, r.scale[i] > 0 ? r.w[i] / r.scale[i] : INFINITY);
  }
  SolutionBounds out;
  out.condition = xmax > 0 ? estimate / xmax : INFINITY;
  // w <= ratio * (|A||x| + |b|) componentwise, so || |A^{-1}| w || <= ratio times the estimate.
  out.forward_error = ratio * out.condition;
  if (std::isnan(out.forward_error)) out.forward_error = INFINITY;
  return out;
}

}  // namespace

SolutionBounds solution_bounds(const ResidualBound& r, std::span<const zcomplex> x, const SolveCallbacks& s) {
  return bounds_from(r, x, inverse_weighted_norm(r.scale, s));
}

std::vector<SolutionBounds> solution_bounds(std::span<const ResidualBound> r,
                                            std::span<const std::span<const zcomplex>> x, const SolveCallbacks& s,
                                            const StartSolves* ahead) {
  std::vector<std::span<const double>> gs;
  for (const ResidualBound& b : r) gs.emplace_back(b.scale);
  const std::vector<double> estimates = inverse_weighted_norms(gs, s, 3, ahead);
  std::vector<SolutionBounds> out;
  for (std::size_t k = 0; k < r.size(); ++k) out.push_back(bounds_from(r[k], x[k], estimates[k]));
  return out;
}

}  // namespace upscaling::bounds
