// gnuplot: the curves of a sweep against its first varied quantity.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <set>
#include <sstream>

#include "core/gnuplot_run.hpp"
#include "sweep/sweep.hpp"

namespace sweep {

std::string gp_quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "''";
    else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) out += '?';
    else out += c;
  }
  return out + "'";
}

namespace {

std::string axis_title(const std::string& a) {
  if (a == "freq") return "frequency (Hz)";
  if (a == "phiw1") return "water proportion, layer material 1";
  if (a == "phiw2") return "water proportion, layer material 2";
  if (a == "phiw") return "water proportion, both layer materials";
  return a;
}

// A vertical range over finite values, padded.
struct Range {
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  void add(double x) {
    if (!std::isfinite(x)) return;
    lo = std::min(lo, x);
    hi = std::max(hi, x);
  }
  std::string text() const {
    if (lo > hi) return "[*:*]";
    double pad = (hi - lo) * 0.06;
    if (pad == 0) pad = std::max(std::fabs(hi) * 0.01, 1e-12);
    return "[" + shortest(lo - pad) + ":" + shortest(hi + pad) + "]";
  }
};

// The columns of each curve's data block, from column 2 on.
std::vector<std::string> data_columns(bool shear) {
  const std::string v = shear ? "vs" : "vp";
  return {"v_mt",       "q1000_mt",   v + "_fe",   "q1000_fe",   v + "_anal",
          "q1000_anal", "v_relaxed", "v_unrelaxed", "cells_per_diffusion_length"};
}

std::string curve_key(const SweepPlan& plan, const std::vector<double>& key) {
  std::string title;
  for (size_t i = 0; i < key.size(); ++i)
    title += (i ? ", " : "") + plan.axes[i + 1] + " = " + shortest(key[i]) + (plan.axes[i + 1] == "freq" ? " Hz" : "");
  return title;
}

// The data blocks of the plot: one per combination of the varied
// quantities after the first, with the ranges and the columns they fill.
struct Curves {
  std::string blocks;
  std::vector<std::string> titles;
  Range velocity, loss;  // shared by the finite-element and the analytic panels
  std::set<int> have;    // data columns with some finite value: the others are not drawn
  bool unresolved = false;  // some point's grid does not resolve the diffusion length
};

// Column 10 of a data block: the cells per diffusion length of the point.
constexpr double kResolvedCells = 2.0;
constexpr int kCellsColumn = 10;

Curves data_blocks(const SweepPlan& plan, const std::vector<Row>& rows) {
  const std::string xname = plan.axes.empty() ? "point" : plan.axes[0];
  std::map<std::vector<double>, std::vector<const Row*>> curves;
  for (const auto& r : rows) {
    if (r.failed()) continue;
    const auto rest = r.axis_values.begin() + (plan.axes.empty() ? 0 : 1);
    curves[std::vector<double>(rest, r.axis_values.end())].push_back(&r);
  }
  const auto cols = data_columns(is_shear(plan.program));
  Curves c;
  std::ostringstream s;
  for (auto& [key, list] : curves) {
    c.titles.push_back(curve_key(plan, key));
    s << "$curve" << c.titles.size() << " << EOD\n# " << xname;
    for (const auto& col : cols) s << " " << col;
    s << "\n";
    std::sort(list.begin(), list.end(), [](const Row* a, const Row* b) {
      return a->axis_values.empty() ? a->point->index < b->point->index : a->axis_values[0] < b->axis_values[0];
    });
    for (const Row* r : list) {
      s << shortest(r->axis_values.empty() ? r->point->index : r->axis_values[0]);
      for (size_t i = 0; i < cols.size(); ++i) {
        auto it = r->values.find(cols[i]);
        const double y = it == r->values.end() ? std::nan("") : it->second;
        if (i < 8) (i % 2 == 1 && i < 6 ? c.loss : c.velocity).add(y);
        if (i == 8 && y < kResolvedCells) c.unresolved = true;
        if (std::isfinite(y)) c.have.insert(static_cast<int>(i) + 2);
        s << " " << (std::isfinite(y) ? shortest(y) : std::string("NaN"));
      }
      s << "\n";
    }
    s << "EOD\n";
  }
  c.blocks = s.str();
  return c;
}

struct Panel {
  std::string title, ylabel;
  int col;  // data column of the headline curve
  bool fe;  // finite element: with the partial-stress estimate and the limits
};

// The plot command of a panel: the headline curve, then for the
// finite-element panels the partial-stress estimate (dashed) and the layered
// sample's limits (dotted), one colour per curve.
std::string plot_command(const Panel& p, const Curves& c, bool shear) {
  const bool q = p.ylabel == "1000/Q";
  const std::string secondary = shear ? "c13 estimate (solid 1 only)" : "c33, partial-stress estimate";
  std::vector<std::string> series;
  for (size_t i = 1; i <= c.titles.size(); ++i) {
    const std::string d = "$curve" + std::to_string(i), lc = " lc " + std::to_string(i) + " title ";
    auto add = [&](int col, const std::string& style, const std::string& key) {
      if (c.have.count(col))
        series.push_back(d + " using 1:" + std::to_string(col) + " with " + style + lc + gp_quote(key));
    };
    const std::string& key = c.titles[i - 1];
    const std::string title = !key.empty() ? key : p.fe ? "M_T, tied solids" : "plane wave";
    if (!p.fe || !c.have.count(kCellsColumn)) {
      add(p.col, "linespoints lw 2 pt 7 ps 0.8", title);
      if (!p.fe) continue;
    } else if (c.have.count(p.col)) {
      // Filled symbols where the grid resolves the diffusion length, open where it does not.
      const std::string y = std::to_string(p.col), cells = "$" + std::to_string(kCellsColumn);
      const std::string limit = std::to_string(kResolvedCells);
      series.push_back(d + " using 1:" + y + " with lines lw 2" + lc + gp_quote(title));
      series.push_back(d + " using 1:(" + cells + " < " + limit + " ? NaN : $" + y + ") with points pt 7 ps 0.8" +
                       " lc " + std::to_string(i) + " notitle");
      series.push_back(d + " using 1:(" + cells + " < " + limit + " ? $" + y + " : NaN) with points pt 6 ps 1.2" +
                       " lc " + std::to_string(i) + " title " +
                       gp_quote(i == 1 && c.unresolved ? "open: fewer than 2 cells per diffusion length" : ""));
    }
    add(p.col + 2, "lines dt 2 lw 1.2", i == 1 ? secondary : "");
    if (q) continue;
    add(8, "lines dt 3 lw 1", i == 1 ? "relaxed limit" : "");
    add(9, "lines dt 4 lw 1", i == 1 ? "unrelaxed limit" : "");
  }
  if (series.empty())
    return "set label 1 'no finished point' at graph 0.5,0.5 center\nplot [1:2] NaN notitle\nunset label 1\n";
  std::string out = "plot ";
  for (size_t i = 0; i < series.size(); ++i) out += (i ? ", \\\n     " : "") + series[i];
  return out + "\n";
}

}  // namespace

std::string sweep_plot_script(const SweepPlan& plan, const std::vector<Row>& rows, const std::string& png,
                              bool analytic_panel) {
  const bool shear = is_shear(plan.program);
  const std::string xname = plan.axes.empty() ? "point" : plan.axes[0];
  const Curves c = data_blocks(plan, rows);
  const std::string what = shear ? "shear" : "compressional";
  std::string title = program_name(plan.program) + (plan.deck.empty() ? "" : " " + plan.deck) + ": " + what +
                      " velocity and 1000/Q against " + axis_title(xname);
  if (shear)
    title += ", water proportion imposed by the program: " +
             std::string(plan.program == Program::swave_spectrum ? "0.2" : "0.28");
  if (c.titles.size() == 1 && !c.titles[0].empty()) title += "  (" + c.titles[0] + ")";
  std::ostringstream s;
  s << "# Velocity and 1000/Q of a " << program_name(plan.program) << " sweep against " << axis_title(xname)
    << ". Data from sweep.csv.\n"
    << c.blocks
    << "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
       "  set terminal pngcairo size 1400,1000 font ',12'\n"
       "} else {\n"
       "  set terminal png size 1400,1000\n"
       "}\n"
    << "set output " << gp_quote(png) << "\nset datafile missing 'NaN'\nset grid xtics ytics\n"
    << "set xlabel " << gp_quote(axis_title(xname)) << "\n"
    << "set key bmargin left horizontal Left reverse noenhanced maxcols 2 samplen 3\n";
  if (xname == "freq") s << "set logscale x\nset format x '10^{%L}'\nset mxtics 10\n";
  s << "set multiplot layout 2," << (analytic_panel ? 2 : 1) << " title " << gp_quote(title) << " noenhanced\n";
  const std::string fe = "finite element: tied-solid M_T (solid), " + std::string(shear ? "c13" : "c33") + " (dashed)";
  const std::string an = "analytic plane wave " + std::string(shear ? "vs1, 1000/qs1" : "vp1, 1000/qp1") +
                         " of cell (nx,ny)";
  std::vector<Panel> panels = {{fe, what + " velocity (m/s)", 2, true}, {fe, "1000/Q", 3, true}};
  if (analytic_panel) {
    panels.insert(panels.begin() + 1, {an, what + " velocity (m/s)", 6, false});
    panels.push_back({an, "1000/Q", 7, false});
  }
  for (const auto& p : panels) {
    const bool q = p.ylabel == "1000/Q";
    s << "set title " << gp_quote(p.title) << " noenhanced\nset ylabel " << gp_quote(p.ylabel) << "\nset yrange "
      << (q ? c.loss : c.velocity).text() << "\n"
      << (q ? "set xzeroaxis lt -1 lw 1\n" : "unset xzeroaxis\n") << plot_command(p, c, shear);
  }
  s << "unset multiplot\nset output\n";
  return s.str();
}

std::optional<std::string> find_in_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return std::nullopt;
  std::stringstream ss(path);
  for (std::string d; std::getline(ss, d, ':');) {
    if (d.empty()) d = ".";
    fs::path f = fs::path(d) / name;
    if (::access(f.c_str(), X_OK) == 0 && fs::is_regular_file(f)) return f.string();
  }
  return std::nullopt;
}

bool run_gnuplot(const fs::path& dir, const std::string& script) {
  const core::GnuplotRun run = core::run_gnuplot(dir.string(), script);
  if (run.found && !run.ok) std::fprintf(stderr, "upscale_sweep: %s; no image drawn in its place\n", run.why.c_str());
  return run.ok;
}

}  // namespace sweep
