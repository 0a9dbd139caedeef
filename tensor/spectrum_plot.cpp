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
#include "tensor/tensor_row.hpp"

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
  int error = 0;  // column of its error estimate, 0: none
};

// Columns of the resolution and of the error estimates, 0 where absent.
struct Marks {
  int expected = 0;  // expected_error_q1000: open symbols above the threshold
  const Table* table = nullptr;
  int error_of(std::string name) const {
    for (const char* part : {"_re", "_im"})
      if (name.size() > 3 && name.compare(name.size() - 3, 3, part) == 0) name.resize(name.size() - 3);
    for (std::size_t i = 0; i < table->names.size(); ++i)
      if (table->names[i] == "err_" + name) return static_cast<int>(i) + 1;
    return 0;
  }
};

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (const char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

// Each curve as a line, filled points where the grid resolves the sample and
// open ones where it does not, and its error bars (when estimated and
// `errorbars` is set in the script).
void panel(std::ostringstream& gp, const std::string& ylabel, const std::vector<Curve>& curves, const Marks& m) {
  if (curves.empty()) return;
  gp << "set ylabel " << quoted(ylabel) << "\nplot ";
  const std::string unresolved = m.expected ? "(column(" + std::to_string(m.expected) + ") > unresolved)" : "0";
  for (std::size_t i = 0; i < curves.size(); ++i) {
    const Curve& c = curves[i];
    const std::string y = "($" + std::to_string(c.column) + c.scale + ")", lc = " lc " + std::to_string(i + 1);
    gp << (i ? ", \\\n     " : "") << (i ? "''" : "'tensor.csv'") << " skip 2 using 1:" << y << " with lines" << lc
       << (c.dashed ? " dt 2" : "") << " title " << quoted(c.title);
    gp << ", \\\n     '' skip 2 using 1:(" << unresolved << " ? NaN : " << y << ") with points pt 7 ps 0.6" << lc
       << " notitle";
    gp << ", \\\n     '' skip 2 using 1:(" << unresolved << " ? " << y << " : NaN) with points pt 6 ps 1.2" << lc
       << " notitle";
    if (c.error)
      gp << ", \\\n     '' skip 2 using 1:" << y << ":(errorbars ? ($" << c.error << c.scale
         << ") : NaN) with yerrorbars pt -1" << lc << " notitle";
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
  const char* wave[] = {"P along y (vp0)", "P along x (vp90)", "S along y (vs0)"};
  for (int i = 0; i < 3; ++i) {
    if (has(13 + 2 * i)) (i < 2 ? p_speed : s_speed).push_back({13 + 2 * i, wave[i], "", false});
    if (has(14 + 2 * i)) (i < 2 ? p_loss : s_loss).push_back({14 + 2 * i, wave[i], "", false});
  }
  for (int c = 20; c <= static_cast<int>(t.names.size()); ++c) {
    const std::string& name = t.names[c - 1];
    const std::string unit = c <= static_cast<int>(t.units.size()) ? t.units[c - 1] : "";
    if (!has(c) || name.rfind("err_", 0) == 0) continue;
    if (unit == "m/s") (name.rfind("vs", 0) == 0 ? s_speed : p_speed).push_back({c, name, "", true});
    else if (name.rfind("q1000", 0) == 0) (name.rfind("q1000_s", 0) == 0 ? s_loss : p_loss).push_back({c, name, "", true});
  }
  Marks marks;
  marks.table = &t;
  for (std::size_t i = 0; i < t.names.size(); ++i)
    if (t.names[i] == "expected_error_q1000") marks.expected = static_cast<int>(i) + 1;
  for (std::vector<Curve>* set : {&re, &im, &p_speed, &s_speed, &p_loss, &s_loss})
    for (Curve& c : *set) c.error = marks.error_of(t.names[c.column - 1]);
  std::ostringstream gp;
  gp << "# Effective stiffness, velocities and 1000/Q of tensor_upscale against frequency.\n"
        "# Data from tensor.csv (names in its first line, units in its second); draw with: gnuplot tensor.gp\n"
        "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
        "  set terminal pngcairo size 1400,1500 font ',11'\n"
        "} else {\n"
        "  set terminal png size 1400,1500\n"
        "}\n"
        "set output 'tensor.png'\n"
        "# Open symbols: frequencies the grid does not resolve (expected error of 1000/Q above unresolved).\n"
        "unresolved = " << kUnresolvedQ1000Error << "\n"
        "errorbars = 1  # 0: no error bars (drawn where --estimate-error wrote them)\n"
        "set datafile separator ','\n"
        "set logscale x\nset format x '10^{%L}'\nset mxtics 10\nset grid xtics ytics\n"
        "set xlabel 'frequency (Hz)'\nset offsets graph 0, 0, 0.05, 0.05\n"
        "set key bmargin left horizontal Left reverse noenhanced maxcols 3 samplen 3\n"
        "set multiplot layout 3,2 title 'tensor\\_upscale: effective stiffness of the sample, velocities and 1000/Q'\n";
  panel(gp, "real part of the stiffness (GPa)", re, marks);
  panel(gp, "imaginary part of the stiffness (GPa)", im, marks);
  panel(gp, "P-wave velocity (m/s)", p_speed, marks);
  panel(gp, "S-wave velocity (m/s)", s_speed, marks);
  panel(gp, "P-wave 1000/Q", p_loss, marks);
  panel(gp, "S-wave 1000/Q", s_loss, marks);
  gp << "unset multiplot\nset output\n";
  write_file_atomically(dir + "/tensor.gp", gp.str());
}

bool draw_spectrum_plot(const std::string& dir) { return run_gnuplot(dir, "tensor.gp"); }

}  // namespace tensor
