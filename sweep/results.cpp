// Reading a point's results from its tables and report, and the merged table.
#include <fstream>
#include <sstream>

#include "sweep/sweep.hpp"

namespace sweep {

namespace {

std::vector<std::string> read_lines(const fs::path& f) {
  std::vector<std::string> out;
  std::ifstream in(f, std::ios::binary);
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.push_back(l);
  }
  return out;
}

// Leading blanks dropped, every run of blanks made one blank.
std::string squeeze(std::string_view s) {
  std::string out;
  bool blank = true;
  for (char c : s) {
    if (c == ' ' || c == '\t') {
      if (!blank) out += ' ';
      blank = true;
    } else {
      out += c;
      blank = false;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::vector<std::string> numbers_split(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == ',') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

// Where a value comes from: a report label (and its occurrence), or a column
// of a table file.
struct Source {
  std::string column;
  std::string label;
  int occurrence = 1;
  std::string table;
  int table_column = 0;  // from 0
};

const std::vector<Source>& sources(Program p) {
  static const std::vector<Source> pwave = {
      {"vp_fe", "using averages  Velocity(m/s) FE = ", 1, "vp_eq.phiw", 1},
      {"q1000_fe", "using averages 1000/Q FE         = ", 1, "1000_over_q_eq.phiw", 1},
      {"vp_anal", "", 1, "vp_anal.phiw", 1},
      {"q1000_anal", "", 1, "1000_over_q_anal.phiw", 1},
      {"re_c33", "using averages Re(c33) FE        = ", 1, "", 0},
      {"im_c33", "using averages Im(c33) FE        = ", 1, "", 0},
      {"vp_mstar", "from deltavol1 Velocity(m/s) FE = ", 1, "", 0},
      {"q1000_mstar", "from deltavol1 1000/Q FE        = ", 1, "", 0},
      {"re_mstar", "from deltavol1 Re(p33) FE mstar      = ", 1, "", 0},
      {"im_mstar", "from deltavol1 Im(p33) FE mstar      = ", 1, "", 0},
      {"re_p3", "", 1, "fort.18", 1},
      {"im_p3", "", 1, "fort.18", 2},
      {"rob_med", "average density rob_med is (kg/m**3)", 1, "", 0},
  };
  // The cmu block and the c13 block print the same velocity, 1000/Q and Q
  // labels; the c13 block comes second.
  static const auto shear = [](const std::string& suffix) {
    return std::vector<Source>{
        {"vs_fe", "Velocity(m/s) FE             = ", 2, "vs_eq." + suffix, 1},
        {"q1000_fe", "1000/Q  FE                   = ", 2, "1000_over_qs_eq." + suffix, 1},
        {"vs_anal", "", 1, "vs_anal." + suffix, 1},
        {"q1000_anal", "", 1, "1000_over_qs_anal." + suffix, 1},
        {"re_c13", "Re(c13) FE                   = ", 1, "", 0},
        {"im_c13", "Im(cc13) FE                   = ", 1, "", 0},
        {"vs_cmu", "Velocity(m/s) FE             = ", 1, "", 0},
        {"q1000_cmu", "1000/Q  FE                   = ", 1, "", 0},
        {"re_cmu", "Re(cmu) FE                   = ", 1, "", 0},
        {"im_cmu", "Im(cmu) FE                   = ", 1, "", 0},
        {"rob_med", "average density rob_med is (kg/m**3)", 1, "", 0},
    };
  };
  static const std::vector<Source> spectrum = shear("freq");
  static const std::vector<Source> saturation = shear("phiw");
  switch (p) {
    case Program::pwave_upscale: return pwave;
    case Program::swave_spectrum: return spectrum;
    case Program::swave_saturation: return saturation;
  }
  return pwave;
}

std::string failure_message(const fs::path& dir, const Status& st) {
  std::vector<std::string> parts;
  auto report = read_lines(dir / "report.txt");
  std::vector<std::string> last;
  for (auto it = report.rbegin(); it != report.rend() && last.size() < 3; ++it) {
    std::string s = squeeze(*it);
    if (!s.empty()) last.insert(last.begin(), s);
  }
  for (auto& s : last) parts.push_back(s);
  auto err = read_lines(dir / "stderr.txt");
  for (auto it = err.rbegin(); it != err.rend(); ++it) {
    std::string s = squeeze(*it);
    if (!s.empty()) {
      parts.push_back(s);
      break;
    }
  }
  if (st.signal) parts.push_back("killed by signal " + std::to_string(st.code));
  std::string msg;
  for (const auto& p : parts) msg += (msg.empty() ? "" : " | ") + p;
  if (msg.size() > 400) msg = msg.substr(0, 397) + "...";
  return msg;
}

}  // namespace

std::optional<double> report_value(const std::vector<std::string>& report, const std::string& label,
                                   int occurrence) {
  const std::string want = squeeze(label);
  int seen = 0;
  for (const auto& line : report) {
    std::string s = squeeze(line);
    if (s.compare(0, want.size(), want) != 0) continue;
    if (++seen < occurrence) continue;
    auto items = numbers_split(s.substr(want.size()));
    if (items.empty()) return std::nullopt;
    return parse_number(items[0]);
  }
  return std::nullopt;
}

std::vector<double> table_line(const fs::path& file) {
  std::vector<double> out;
  auto lines = read_lines(file);
  for (const auto& l : lines) {
    auto items = numbers_split(l);
    if (items.empty()) continue;
    for (const auto& it : items) {
      auto v = parse_number(it);
      if (!v) return {};
      out.push_back(*v);
    }
    break;
  }
  return out;
}

const std::vector<std::string>& result_columns(Program p) {
  static std::map<Program, std::vector<std::string>> cols;
  auto& c = cols[p];
  if (c.empty())
    for (const auto& s : sources(p)) c.push_back(s.column);
  return c;
}

Row read_row(const fs::path& dir, Program p) {
  Row row;
  row.status = read_status(dir);
  if (!row.status) return row;
  if (!row.status->ok()) {
    row.message = failure_message(dir, *row.status);
    return row;
  }
  auto report = read_lines(dir / "report.txt");
  std::map<std::string, std::vector<double>> tables;
  std::vector<std::string> missing;
  for (const auto& s : sources(p)) {
    std::optional<double> v;
    if (!s.label.empty()) v = report_value(report, s.label, s.occurrence);
    if (!v && !s.table.empty()) {
      auto it = tables.find(s.table);
      if (it == tables.end()) it = tables.emplace(s.table, table_line(dir / s.table)).first;
      if (static_cast<int>(it->second.size()) > s.table_column) v = it->second[s.table_column];
    }
    if (v) row.values[s.column] = *v;
    else missing.push_back(s.column);
  }
  if (!missing.empty()) {
    row.message = "no value for";
    for (const auto& m : missing) row.message += " " + m;
  }
  return row;
}

std::string csv_field(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c == '\n' || c == '\r' ? ' ' : c;
  }
  return out + "\"";
}

MergeSummary merge(const fs::path& sweep_dir, bool plot) {
  SweepPlan plan = read_points_file(sweep_dir);
  MergeSummary sum;
  sum.points = static_cast<int>(plan.points.size());
  std::vector<Row> rows;
  for (const auto& pt : plan.points) {
    Row r = read_row(sweep_dir / pt.dir, plan.program);
    r.point = &pt;
    if (!r.status) continue;
    ++sum.finished;
    // A normal end without every result counts as a failure too.
    if (!r.status->ok() || !r.message.empty()) ++sum.failed;
    rows.push_back(std::move(r));
  }
  const auto& cols = result_columns(plan.program);
  std::string csv = "point";
  for (const auto& a : plan.axes) csv += "," + a;
  csv += ",status";
  for (const auto& c : cols) csv += "," + c;
  csv += ",dir,message\n";
  for (const auto& r : rows) {
    csv += std::to_string(r.point->index);
    for (double v : r.point->values) csv += "," + shortest(v);
    csv += "," + (r.status->signal ? std::to_string(128 + r.status->code) : std::to_string(r.status->code));
    for (const auto& c : cols) {
      auto it = r.values.find(c);
      csv += ",";
      if (it != r.values.end()) csv += shortest(it->second);
    }
    csv += "," + csv_field(r.point->dir) + "," + csv_field(r.message) + "\n";
  }
  {
    std::ofstream out(sweep_dir / "sweep.csv.tmp", std::ios::binary | std::ios::trunc);
    out << csv;
    if (!out.flush()) throw UsageError("cannot write " + (sweep_dir / "sweep.csv").string());
  }
  fs::rename(sweep_dir / "sweep.csv.tmp", sweep_dir / "sweep.csv");
  {
    std::ofstream out(sweep_dir / "sweep.gp", std::ios::binary | std::ios::trunc);
    out << sweep_plot_script(plan, rows, "sweep.png");
    if (!out.flush()) throw UsageError("cannot write " + (sweep_dir / "sweep.gp").string());
  }
  if (plot) run_gnuplot(sweep_dir, "sweep.gp");
  return sum;
}

}  // namespace sweep
