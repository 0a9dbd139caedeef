// gnuplot scripts: the sweep curves and the cell maps of one run; the task
// list and the Slurm job array of a planned sweep.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "sweep/sweep.hpp"

namespace sweep {

namespace {

std::string axis_title(const std::string& a) {
  if (a == "freq") return "frequency (Hz)";
  if (a == "phiw1") return "water proportion, layer material 1";
  if (a == "phiw2") return "water proportion, layer material 2";
  if (a == "phiw") return "water proportion, both layer materials";
  return a;
}

// Text safe inside a gnuplot double-quoted string.
std::string gp_quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A single-quoted shell word.
std::string sh_quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

}  // namespace

std::string sweep_plot_script(const SweepPlan& plan, const std::vector<Row>& rows, const std::string& png) {
  const bool shear = is_shear(plan.program);
  const std::string v = shear ? "vs" : "vp";
  const std::string xname = plan.axes.empty() ? "point" : plan.axes[0];
  // One curve per combination of the other varied quantities.
  std::map<std::vector<double>, std::vector<const Row*>> curves;
  for (const auto& r : rows) {
    if (!r.status || !r.status->ok()) continue;
    std::vector<double> key(r.point->values.begin() + (plan.axes.empty() ? 0 : 1), r.point->values.end());
    curves[key].push_back(&r);
  }
  const std::string cols[] = {v + "_fe", "q1000_fe", v + "_anal", "q1000_anal"};
  // The finite-element and the analytic panel of a row share one vertical
  // range, so that the two estimates can be compared by eye.
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
  } velocity, loss;

  std::ostringstream s;
  s << "# Velocity and 1000/Q of a " << program_name(plan.program) << " sweep against "
    << axis_title(xname) << ",\n# finite element (left) and analytic (right). Data from sweep.csv.\n";
  int n = 0;
  std::vector<std::string> titles;
  for (const auto& [key, list] : curves) {
    ++n;
    std::string title;
    for (size_t i = 0; i < key.size(); ++i)
      title += (i ? ", " : "") + plan.axes[i + 1] + " = " + shortest(key[i]) + (plan.axes[i + 1] == "freq" ? " Hz" : "");
    titles.push_back(title);
    s << "$curve" << n << " << EOD\n# " << xname;
    for (const auto& c : cols) s << " " << c;
    s << "\n";
    std::vector<const Row*> sorted = list;
    std::sort(sorted.begin(), sorted.end(), [](const Row* a, const Row* b) {
      return a->point->values.empty() ? a->point->index < b->point->index
                                      : a->point->values[0] < b->point->values[0];
    });
    for (const Row* r : sorted) {
      double x = r->point->values.empty() ? r->point->index : r->point->values[0];
      s << shortest(x);
      for (int c = 0; c < 4; ++c) {
        auto it = r->values.find(cols[c]);
        double y = it == r->values.end() ? std::nan("") : it->second;
        (c % 2 == 0 ? velocity : loss).add(y);
        s << " " << (std::isnan(y) ? std::string("NaN") : shortest(y));
      }
      s << "\n";
    }
    s << "EOD\n";
  }
  const std::string what = shear ? "shear" : "compressional";
  const std::string modulus = shear ? "c13" : "c33";
  const std::string wave = shear ? "vs1, 1000/qs1" : "vp1, 1000/qp1";
  s << "if (strstrt(GPVAL_TERMINALS, \"pngcairo\") > 0) {\n"
       "  set terminal pngcairo size 1400,1000 font \",12\"\n"
       "} else {\n"
       "  set terminal png size 1400,1000\n"
       "}\n"
    << "set output " << gp_quote(png) << "\n"
    << "set datafile missing \"NaN\"\n"
    << "set grid xtics ytics\n"
    << "set xlabel " << gp_quote(axis_title(xname)) << "\n";
  if (xname == "freq") s << "set logscale x\nset format x \"10^{%L}\"\nset mxtics 10\n";
  if (n > 1) s << "set key outside right top vertical Left reverse noenhanced\n";
  else s << "unset key\n";
  s << "set multiplot layout 2,2 title "
    << gp_quote(program_name(plan.program) + (plan.deck.empty() ? "" : " " + plan.deck) + ": " + what + " velocity and 1000/Q against " + axis_title(xname) +
                (n == 1 && !titles[0].empty() ? "  (" + titles[0] + ")" : ""))
    << " noenhanced\n";
  const std::string vel = what + " velocity (m/s)";
  const std::string fe = "finite element (from " + modulus + ", sample averages)";
  const std::string an = "analytic (plane wave " + wave + ", cell (nx,ny))";
  struct Panel {
    std::string title;
    int col;
    std::string ylabel;
    const Range* range;
  };
  const Panel panels[] = {{fe, 2, vel, &velocity}, {an, 4, vel, &velocity},
                          {fe, 3, "1000/Q", &loss}, {an, 5, "1000/Q", &loss}};
  for (const auto& p : panels) {
    s << "set title " << gp_quote(p.title) << " noenhanced\nset ylabel " << gp_quote(p.ylabel) << "\n"
      << "set yrange " << p.range->text() << "\n";
    // 1000/Q may change sign: draw the zero line.
    if (p.ylabel == "1000/Q") s << "set xzeroaxis lt -1 lw 1\n";
    else s << "unset xzeroaxis\n";
    if (n == 0) {
      s << "set label 1 \"no finished point\" at graph 0.5,0.5 center\nplot [1:2] NaN notitle\nunset label 1\n";
      continue;
    }
    s << "plot ";
    for (int i = 1; i <= n; ++i)
      s << (i > 1 ? ", \\\n     " : "") << "$curve" << i << " using 1:" << p.col
        << " with linespoints lw 1.5 pt 7 ps 0.8 title " << gp_quote(titles[i - 1]);
    s << "\n";
  }
  s << "unset multiplot\nset output\n";
  return s.str();
}

std::vector<std::string> write_maps_script(const fs::path& run_dir) {
  static const std::vector<std::pair<std::string, std::string>> maps = {
      {"mod_pressure_p33_ice", "|fluid pressure| (Pa)"},
      {"mod_grad_pressure_p33_ice", "|grad fluid pressure| (Pa/m), interior cells (j-1, k-1)"},
      {"mod_pressure_p55_ice", "|fluid pressure| (Pa)"},
      {"mod_grad_pressure_p55_ice", "|grad fluid pressure| (Pa/m), interior cells (j-1, k-1)"},
      {"real_strain1_map", "Re strain, solid 1"},
      {"imag_strain1_map", "Im strain, solid 1"},
      {"real_strain3_map", "Re strain, solid 3"},
      {"imag_strain3_map", "Im strain, solid 3"},
  };
  // The run's frequency, from its deck when the sweep wrote one.
  std::string freq;
  {
    std::ifstream deck(run_dir / "input.deck");
    std::string first;
    if (deck >> first)
      if (auto f = parse_number(first)) {
        char text[64];
        std::snprintf(text, sizeof text, "  (%.4g Hz)", *f);
        freq = text;
      }
  }
  std::ostringstream s;
  std::vector<std::string> images;
  s << "# Cell maps of one run: one image per map file (columns j, k, value).\n"
       "if (strstrt(GPVAL_TERMINALS, \"pngcairo\") > 0) {\n"
       "  set terminal pngcairo size 800,700\n"
       "} else {\n"
       "  set terminal png size 800,700\n"
       "}\n"
       "set size ratio -1\nset xlabel \"j (cell along x)\"\nset ylabel \"k (cell along y)\"\n"
       "set autoscale xfix\nset autoscale yfix\nset tics out\n"
       "set palette rgbformulae 33,13,10\nunset key\n";
  for (const auto& [file, title] : maps) {
    std::error_code ec;
    if (!fs::is_regular_file(run_dir / file, ec) || fs::file_size(run_dir / file, ec) == 0) continue;
    std::string png = file + ".png";
    images.push_back(png);
    s << "set output " << gp_quote(png) << "\nset title " << gp_quote(title + freq) << " . \"\\n\" . " << gp_quote(file)
      << " noenhanced\n"
      << "plot " << gp_quote(file) << " using 1:2:3 with image\n";
  }
  s << "set output\n";
  if (images.empty())
    throw UsageError(run_dir.string() + " holds no pressure or strain map of a run");
  std::ofstream out(run_dir / "maps.gp", std::ios::binary | std::ios::trunc);
  out << s.str();
  if (!out.flush()) throw UsageError("cannot write " + (run_dir / "maps.gp").string());
  return images;
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
  auto gp = find_in_path("gnuplot");
  if (!gp) return false;
  std::string d = dir.string();
  pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (::chdir(d.c_str()) != 0) ::_exit(126);
    char* argv[] = {const_cast<char*>(gp->c_str()), const_cast<char*>(script.c_str()), nullptr};
    ::execv(gp->c_str(), argv);
    ::_exit(127);
  }
  int st = 0;
  while (::waitpid(pid, &st, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

void write_task_list(const fs::path& sweep_dir, const SweepPlan& plan, const std::string& exe) {
  fs::path abs = fs::absolute(sweep_dir).lexically_normal();
  std::string tasks;
  for (const auto& p : plan.points) {
    // The status file is written last, under a temporary name first, so that
    // its presence always means a finished run.
    tasks += "cd " + sh_quote((abs / p.dir).string()) + " || exit 1; rm -f status; " + sh_quote(exe) +
             " < input.deck > report.txt 2> stderr.txt; echo $? > status.tmp && mv status.tmp status\n";
  }
  {
    std::ofstream out(abs / "tasks.txt", std::ios::binary | std::ios::trunc);
    out << tasks;
    if (!out.flush()) throw UsageError("cannot write " + (abs / "tasks.txt").string());
  }
  std::ostringstream s;
  s << "#!/bin/bash\n"
       "# Slurm job array over tasks.txt: task i runs line i (one point).\n"
       "# Submit with:  sbatch "
    << sh_quote((abs / "slurm_array.sh").string())
    << "\n# then, when the array has finished:  upscale_sweep --merge " << sh_quote(abs.string()) << "\n"
    << "#SBATCH --job-name=upscale_sweep\n"
    << "#SBATCH --array=1-" << plan.points.size() << "\n"
    << "#SBATCH --ntasks=1\n#SBATCH --cpus-per-task=1\n"
    << "#SBATCH --output=" << (abs / "slurm-%A_%a.out").string() << "\n"
    << "set -eu\n"
    << "line=$(sed -n \"${SLURM_ARRAY_TASK_ID}p\" " << sh_quote((abs / "tasks.txt").string()) << ")\n"
    << "if [ -z \"$line\" ]; then echo \"no task ${SLURM_ARRAY_TASK_ID}\" >&2; exit 2; fi\n"
    << "exec /bin/sh -c \"$line\"\n";
  fs::path script = abs / "slurm_array.sh";
  std::ofstream out(script, std::ios::binary | std::ios::trunc);
  out << s.str();
  if (!out.flush()) throw UsageError("cannot write " + script.string());
  out.close();
  std::error_code ec;
  fs::permissions(script, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, ec);
}

}  // namespace sweep
