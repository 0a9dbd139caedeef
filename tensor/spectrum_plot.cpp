// "tensor.gp": the gnuplot script that draws "tensor.csv" against log
// frequency into "tensor.png": the real and imaginary parts of the stiffness
// components, then velocity and 1000/Q of the P waves and of the S wave in
// panels of their own (their scales differ). It draws only the columns that
// hold a finite value somewhere (a run of one test leaves the others NaN),
// and adds the further columns by unit and name (m/s beside the velocities,
// vs* with the S wave; q1000_* beside 1000/Q, q1000_s* with the S wave).
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "tensor/file_access.hpp"
#include "tensor/io.hpp"

namespace tensor {

namespace {

struct Table {
  std::vector<std::string> names, units;
  std::vector<bool> finite;  // some row holds a finite value
};

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> items;
  std::stringstream s(line);
  for (std::string item; std::getline(s, item, ',');) items.push_back(item);
  return items;
}

Table read_table(const std::string& csv) {
  std::stringstream in(read_input_file(csv, "result table", kMaxInputBytes));
  Table t;
  std::string line;
  if (!std::getline(in, line)) throw std::runtime_error("\"" + csv + "\": empty result table");
  t.names = split(line);
  if (std::getline(in, line)) t.units = split(line);
  t.finite.assign(t.names.size(), false);
  while (std::getline(in, line)) {
    const std::vector<std::string> v = split(line);
    for (std::size_t i = 0; i < v.size() && i < t.finite.size(); ++i)
      if (std::isfinite(std::strtod(v[i].c_str(), nullptr))) t.finite[i] = true;
  }
  return t;
}

struct Curve {
  int column;  // 1-based
  std::string title, scale;
  bool dashed;
};

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (const char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

void panel(std::ostringstream& gp, const std::string& ylabel, const std::vector<Curve>& curves) {
  if (curves.empty()) return;
  gp << "set ylabel " << quoted(ylabel) << "\nplot ";
  for (std::size_t i = 0; i < curves.size(); ++i) {
    const Curve& c = curves[i];
    gp << (i ? ", \\\n     " : "") << (i ? "''" : "'tensor.csv'") << " skip 2 using 1:($" << c.column << c.scale
       << ") with linespoints pt 7 ps 0.6" << (c.dashed ? " dt 2" : "") << " title " << quoted(c.title);
  }
  gp << "\n";
}

}  // namespace

void write_spectrum_plot(const std::string& dir) {
  const Table t = read_table(dir + "/tensor.csv");
  auto has = [&](int column) { return column <= static_cast<int>(t.finite.size()) && t.finite[column - 1]; };
  std::vector<Curve> re, im, p_speed, s_speed, p_loss, s_loss;
  const char* comp[] = {"C11", "C13", "C31", "C33", "C55"};
  for (int i = 0; i < 5; ++i) {
    if (has(2 + 2 * i)) re.push_back({2 + 2 * i, "Re " + std::string(comp[i]), "/1e9", i == 2});
    if (has(3 + 2 * i)) im.push_back({3 + 2 * i, "Im " + std::string(comp[i]), "/1e9", i == 2});
  }
  // The couplings C15, C35 (columns 20 to 23), where measured.
  const char* coupling[] = {"C15", "C35"};
  for (int i = 0; i < 2; ++i) {
    if (has(20 + 2 * i)) re.push_back({20 + 2 * i, "Re " + std::string(coupling[i]), "/1e9", false});
    if (has(21 + 2 * i)) im.push_back({21 + 2 * i, "Im " + std::string(coupling[i]), "/1e9", false});
  }
  const char* wave[] = {"P along y (vp0)", "P along x (vp90)", "S along y (vs0)"};
  for (int i = 0; i < 3; ++i) {
    if (has(13 + 2 * i)) (i < 2 ? p_speed : s_speed).push_back({13 + 2 * i, wave[i], "", false});
    if (has(14 + 2 * i)) (i < 2 ? p_loss : s_loss).push_back({14 + 2 * i, wave[i], "", false});
  }
  for (int c = 28; c <= static_cast<int>(t.names.size()); ++c) {
    const std::string& name = t.names[c - 1];
    const std::string unit = c <= static_cast<int>(t.units.size()) ? t.units[c - 1] : "";
    if (!has(c)) continue;
    if (unit == "m/s") (name.rfind("vs", 0) == 0 ? s_speed : p_speed).push_back({c, name, "", true});
    else if (name.rfind("q1000", 0) == 0) (name.rfind("q1000_s", 0) == 0 ? s_loss : p_loss).push_back({c, name, "", true});
  }
  std::ostringstream gp;
  gp << "# Effective stiffness, velocities and 1000/Q of tensor_upscale against frequency.\n"
        "# Data from tensor.csv (names in its first line, units in its second); draw with: gnuplot tensor.gp\n"
        "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
        "  set terminal pngcairo size 1400,1500 font ',11'\n"
        "} else {\n"
        "  set terminal png size 1400,1500\n"
        "}\n"
        "set output 'tensor.png'\n"
        "set datafile separator ','\n"
        "set logscale x\nset format x '10^{%L}'\nset mxtics 10\nset grid xtics ytics\n"
        "set xlabel 'frequency (Hz)'\nset offsets graph 0, 0, 0.05, 0.05\n"
        "set key bmargin left horizontal Left reverse noenhanced maxcols 3 samplen 3\n"
        "set multiplot layout 3,2 title 'tensor\\_upscale: effective stiffness of the sample, velocities and 1000/Q'\n";
  panel(gp, "real part of the stiffness (GPa)", re);
  panel(gp, "imaginary part of the stiffness (GPa)", im);
  panel(gp, "P-wave velocity (m/s)", p_speed);
  panel(gp, "S-wave velocity (m/s)", s_speed);
  panel(gp, "P-wave 1000/Q", p_loss);
  panel(gp, "S-wave 1000/Q", s_loss);
  gp << "unset multiplot\nset output\n";
  write_file_atomically(dir + "/tensor.gp", gp.str());
}

bool draw_spectrum_plot(const std::string& dir) { return run_gnuplot(dir, "tensor.gp"); }

}  // namespace tensor
