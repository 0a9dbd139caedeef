// Reading a point's results from its report and tables, after checking that
// they are the results of the point's own deck.
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "core/report_labels.hpp"
#include "sweep/sweep.hpp"

namespace sweep {

namespace {

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

// Where a value comes from: a report label (its occurrence, the item after
// it), or a column of a table file. `group`: columns that an older build of
// the programs does not print; absent together, they are left empty.
struct Source {
  std::string column;
  std::string label;
  int occurrence = 1;
  std::string table;
  int table_column = 0;  // from 0
  int item = 0;          // from 0, after the label
  int group = 0;         // 1: the tied and work moduli; 2: the accuracy lines
};

std::vector<Source> tied_and_work() {
  namespace l = core::labels;
  // group 2: the accuracy of the solve and of the grid
  return {{"condition_estimate", l::kConditionEstimate, 1, "", 0, 0, 2},
          {"forward_error_bound", l::kForwardErrorBound, 1, "", 0, 0, 2},
          {"cells_per_diffusion_length", l::kCellsPerDiffusionLength, 1, "", 0, 0, 2},
          {"re_mt", l::kTiedModulus, 1, "", 0, 0, 1},  {"im_mt", l::kTiedModulus, 1, "", 0, 1, 1},
          {"v_mt", l::kTiedVelocity, 1, "", 0, 0, 1},  {"q1000_mt", l::kTiedOverQ, 1, "", 0, 0, 1},
          {"re_mw", l::kWorkModulus, 1, "", 0, 0, 1},  {"im_mw", l::kWorkModulus, 1, "", 0, 1, 1},
          {"v_mw", l::kWorkVelocity, 1, "", 0, 0, 1},  {"q1000_mw", l::kWorkOverQ, 1, "", 0, 0, 1}};
}

// A modulus of a program's report: its column name, the labels of its real
// and imaginary part and of its velocity and 1000/Q, and which occurrence
// of these two labels is its own.
struct ModulusLabels {
  std::string name;
  const char* re;
  const char* im;
  const char* velocity;
  const char* over_q;
  int occurrence;
};

// The columns of one of the three programs, in order: the FE velocity and
// 1000/Q of its tables `t` (wave `v`, "vp" or "vs"), the analytic ones, the
// FE modulus `fe`, the velocity, 1000/Q and value of the boundary modulus
// `b`, `extra`, the mean density, then the tied and work moduli.
std::vector<Source> program_sources(const std::string& v, const core::labels::Tables& t, const ModulusLabels& fe,
                                    const ModulusLabels& b, const std::vector<Source>& extra) {
  namespace l = core::labels;
  std::vector<Source> s = {{v + "_fe", fe.velocity, fe.occurrence, t.fe_velocity, 1},
                           {"q1000_fe", fe.over_q, fe.occurrence, t.fe_over_q, 1},
                           {v + "_anal", "", 1, t.analytic_velocity, 1},
                           {"q1000_anal", "", 1, t.analytic_over_q, 1},
                           {"re_" + fe.name, fe.re, 1, "", 0},
                           {"im_" + fe.name, fe.im, 1, "", 0},
                           {v + "_" + b.name, b.velocity, b.occurrence, "", 0},
                           {"q1000_" + b.name, b.over_q, b.occurrence, "", 0},
                           {"re_" + b.name, b.re, 1, "", 0},
                           {"im_" + b.name, b.im, 1, "", 0}};
  s.insert(s.end(), extra.begin(), extra.end());
  s.push_back({"rob_med", l::kAverageDensity, 1, "", 0});
  for (auto& w : tied_and_work()) s.push_back(w);
  return s;
}

const std::vector<Source>& sources(Program p) {
  namespace l = core::labels;
  static const std::vector<Source> pwave = program_sources(
      "vp", l::kCompressionalTables, {"c33", l::kC33Re, l::kC33Im, l::kC33Velocity, l::kC33OverQ, 1},
      {"mstar", l::kMstarRe, l::kMstarIm, l::kMstarVelocity, l::kMstarOverQ, 1},
      {{"re_p3", "", 1, l::kSolid3ModulusFile, 1}, {"im_p3", "", 1, l::kSolid3ModulusFile, 2}});
  // The cmu block and the c13 block print the same velocity, 1000/Q and Q
  // labels; the c13 block comes second.
  static const auto shear = [](const l::Tables& t) {
    return program_sources("vs", t, {"c13", l::kC13Re, l::kC13Im, l::kShearVelocity, l::kShearOverQ, 2},
                           {"cmu", l::kCmuRe, l::kCmuIm, l::kShearVelocity, l::kShearOverQ, 1}, {});
  };
  static const std::vector<Source> spectrum = shear(l::kSpectrumTables);
  static const std::vector<Source> saturation = shear(l::kSaturationTables);
  switch (p) {
    case Program::pwave_upscale: return pwave;
    case Program::swave_spectrum: return spectrum;
    case Program::swave_saturation: return saturation;
    case Program::tensor_upscale: break;  // its table is tensor.csv (tensor_merge.cpp)
  }
  return pwave;
}

const std::vector<std::string> kLimitColumns = {"m_relaxed", "m_unrelaxed", "v_relaxed", "v_unrelaxed"};

}  // namespace

std::string failure_message(const fs::path& dir, const Status& st) {
  std::vector<std::string> parts;
  auto report = read_lines(dir / "report.txt");
  std::vector<std::string> last;
  for (auto it = report.rbegin(); it != report.rend() && last.size() < 3; ++it) {
    std::string s = squeeze(*it);
    if (!s.empty()) last.insert(last.begin(), s);
  }
  for (auto& s : last) parts.push_back(s.size() > 160 ? s.substr(0, 157) + "..." : s);
  // The program's last words: the sentence that says why it stopped, then
  // "STOP n".
  auto err = read_lines(dir / "stderr.txt");
  std::vector<std::string> tail;  // the last line, and the sentence before a STOP line
  for (auto it = err.rbegin(); it != err.rend() && tail.size() < 2; ++it) {
    std::string s = squeeze(*it);
    if (s.empty()) continue;
    tail.push_back(s);
    if (s.rfind("STOP ", 0) != 0) break;
  }
  if (tail.size() == 2) parts.insert(parts.begin(), tail[1]);  // the stop's own sentence first
  if (!tail.empty()) parts.push_back(tail[0]);
  if (st.signal) parts.push_back("killed by signal " + std::to_string(st.code));
  std::string msg;
  for (const auto& p : parts) msg += (msg.empty() ? "" : " | ") + p;
  if (msg.size() > 700) msg = msg.substr(0, 697) + "...";
  return msg;
}

namespace {

// Full-precision analytic values from run.json, where the programs record
// those of the tables' cell (nx, ny); the tables keep five digits.
void analytic_from_run_record(const fs::path& dir, Row& row) {
  auto json = slurp(dir / "run.json");
  if (!json) return;
  for (const char* c : {"vp_anal", "vs_anal", "q1000_anal"}) {
    if (!row.values.count(c)) continue;
    if (auto text = json_member(*json, c))
      if (auto v = parse_number(*text)) row.values[c] = *v;
  }
}

// Empty when what the run wrote is of the point's deck; else the mismatch.
std::string identity_problem(const fs::path& dir, Program p, const DeckPoint& dp,
                             const std::vector<std::string>& report) {
  struct Check {
    std::string where;
    std::optional<double> got;
    double want, tolerance;
    const char* what;
  };
  std::vector<Check> checks;
  const char* freq_label = is_shear(p) ? "frec(Hz), omega_fix" : "freq (Hz), omega_fix";
  checks.push_back({"report.txt", report_value(report, freq_label), dp.freq, 1e-12, "frequency"});
  for (size_t i = 0; i < dp.phi_layer1.size(); ++i)
    checks.push_back({"report.txt", report_value(report, "phi_layer1 (water proportion) =", static_cast<int>(i) + 1),
                      dp.phi_layer1[i], 1e-12, "water proportion"});
  auto first = [&](const char* table, double want, double tol, const char* what) {
    auto v = table_line(dir / table);
    checks.push_back({table, v.empty() ? std::nullopt : std::optional<double>(v[0]), want, tol, what});
  };
  if (!is_shear(p)) {
    const core::labels::Tables& t = core::labels::kCompressionalTables;
    first(core::labels::kSolid3ModulusFile, dp.freq, 1e-12, "frequency");
    first(t.analytic_over_q, dp.freq, 1e-4, "frequency");
    first(t.analytic_velocity, dp.phi_layer1.at(0), 1e-12, "water proportion");
    first(t.fe_velocity, dp.phi_layer1.at(0), 1e-4, "water proportion");
  }
  for (const auto& c : checks)
    if (c.got && std::fabs(*c.got - c.want) > c.tolerance * std::fabs(c.want))
      return "results of another run: " + c.where + " gives " + c.what + " " + shortest(*c.got) +
             ", the point's deck " + shortest(c.want);
  return "";
}

void read_run_record(const fs::path& dir, Row& row) {
  auto json = slurp(dir / "run.json");
  if (!json) {
    if (const std::string why = unreadable(dir / "run.json"); why != "is missing") row.record_problem = why;
    return;
  }
  row.version = json_member(*json, "version").value_or("");
  row.commit = json_member(*json, "commit").value_or("");
  row.sources = json_member(*json, "sources_sha256").value_or("");
  row.deck_sha256 = json_member(*json, "deck_sha256").value_or("");
}

// Values of `sources` from the report and tables; names the missing ones.
std::vector<std::string> read_values(const fs::path& dir, Program p, const std::vector<std::string>& report, Row& row) {
  std::map<std::string, std::vector<double>> tables;
  std::vector<std::string> missing;
  std::map<int, int> found;  // per group
  for (const auto& s : sources(p)) {
    std::optional<double> v;
    if (!s.label.empty()) {
      v = report_value(report, s.label, s.occurrence);
      if (s.item > 0) {
        // the n-th number after the label
        for (const auto& line : report) {
          const std::string sq = squeeze(line), want = squeeze(s.label);
          if (sq.compare(0, want.size(), want) != 0) continue;
          auto items = numbers_split(sq.substr(want.size()));
          v = static_cast<int>(items.size()) > s.item ? parse_number(items[s.item]) : std::nullopt;
          break;
        }
      }
    }
    if (!v && !s.table.empty()) {
      auto it = tables.find(s.table);
      if (it == tables.end()) it = tables.emplace(s.table, table_line(dir / s.table)).first;
      if (static_cast<int>(it->second.size()) > s.table_column) v = it->second[s.table_column];
    }
    if (v) {
      row.values[s.column] = *v;
      ++found[s.group];
    } else {
      missing.push_back(s.column);
    }
  }
  std::vector<std::string> really;
  for (const auto& m : missing)
    for (const auto& s : sources(p))
      if (s.column == m && (s.group == 0 || found[s.group] > 0)) really.push_back(m);
  return really;
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
  if (c.empty()) {
    for (const auto& s : sources(p)) c.push_back(s.column);
    if (!is_shear(p))
      for (const auto& l : kLimitColumns) c.push_back(l);
  }
  return c;
}

std::string column_unit(const std::string& c) {
  if (c == "freq") return "Hz";
  if (c.rfind("phiw", 0) == 0 || c.rfind("q1000", 0) == 0) return "1";
  if (c.rfind("v", 0) == 0) return "m/s";
  if (c.rfind("re_", 0) == 0 || c.rfind("im_", 0) == 0 || c.rfind("m_", 0) == 0) return "Pa";
  if (c == "rob_med") return "kg/m^3";
  if (c == "condition_estimate" || c == "forward_error_bound" || c == "cells_per_diffusion_length") return "1";
  return "";
}

Row read_row(const fs::path& dir, Program p, const std::vector<std::string>& axes) {
  Row row;
  row.status = read_status(dir);
  if (!row.status) return row;
  DeckPoint dp;
  try {
    dp = deck_point(load_deck(dir / "input.deck"));
    for (const auto& a : axes) row.axis_values.push_back(axis_value(dp, a));
  } catch (const UsageError& e) {
    row.axis_values.assign(axes.size(), std::nan(""));
    row.message = std::string("the point's input.deck does not read: ") + e.what();
    return row;
  }
  read_run_record(dir, row);
  if (const std::string odd = odd_entries(dir); !odd.empty()) {
    row.message = "files of the run that cannot be read: " + odd;
    return row;
  }
  if (!status_matches_deck(dir, *row.status, row.message)) return row;
  if (!row.status->ok()) {
    row.message = failure_message(dir, *row.status);
    return row;
  }
  auto report = read_lines(dir / "report.txt");
  row.message = identity_problem(dir, p, dp, report);
  if (!row.message.empty()) return row;
  std::vector<std::string> missing = read_values(dir, p, report, row);
  analytic_from_run_record(dir, row);
  if (!missing.empty()) {
    row.message = "no value for";
    for (const auto& m : missing) row.message += " " + m;
    return row;
  }
  for (const auto& [c, v] : row.values)
    if (!std::isfinite(v))
      row.message += (row.message.empty() ? "non-finite result:" : ",") + (" " + c + " = " + shortest(v));
  if (!is_shear(p) && row.message.empty())
    if (auto lim = layered_limits(dir)) {
      const double rho = row.values.at("rob_med");
      row.values["m_relaxed"] = lim->relaxed;
      row.values["m_unrelaxed"] = lim->unrelaxed;
      row.values["v_relaxed"] = std::sqrt(lim->relaxed / rho);
      row.values["v_unrelaxed"] = std::sqrt(lim->unrelaxed / rho);
    }
  return row;
}

// Whether a spreadsheet opening the table would take the cell for a formula
// ('=', '+', '-' or '@' first, or a tab or carriage return) and run it; a
// number ("-1.5e3") is no formula and stays a number.
static bool formula_like(const std::string& s) {
  if (s.empty() || std::string_view("=+-@\t\r").find(s[0]) == std::string_view::npos) return false;
  char* end = nullptr;
  std::strtod(s.c_str(), &end);
  return end != s.c_str() + s.size();
}

std::string csv_field(const std::string& text) {
  // An apostrophe first makes the cell text in every spreadsheet.
  const std::string s = formula_like(text) ? "'" + text : text;
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c == '\n' || c == '\r' ? ' ' : c;
  }
  return out + "\"";
}

}  // namespace sweep
