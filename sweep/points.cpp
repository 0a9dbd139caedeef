// The points of a sweep, their directories and their status files.
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "sweep/sweep.hpp"

namespace sweep {

SweepPlan make_plan(Program p, const std::vector<Axis>& axes) {
  SweepPlan plan;
  plan.program = p;
  size_t total = 1;
  for (const auto& a : axes) {
    plan.axes.push_back(a.name);
    if (a.values.empty()) throw UsageError("no values for " + a.name);
    total *= a.values.size();
    if (total > 1000000) throw UsageError("more than a million points");
  }
  std::vector<size_t> at(axes.size(), 0);
  for (size_t i = 0; i < total; ++i) {
    Point pt;
    pt.index = static_cast<int>(i) + 1;
    char name[32];
    std::snprintf(name, sizeof name, "points/p%04d", pt.index);
    pt.dir = name;
    for (size_t a = 0; a < axes.size(); ++a) pt.values.push_back(axes[a].values[at[a]]);
    plan.points.push_back(pt);
    for (size_t a = 0; a < axes.size(); ++a) {
      if (++at[a] < axes[a].values.size()) break;
      at[a] = 0;
    }
  }
  return plan;
}

std::string write_points_file(const fs::path& dir, const SweepPlan& plan) {
  std::string s = "#program " + program_name(plan.program) + "\n";
  // The deck's file name, for plot titles; no control character in it.
  bool plain = std::none_of(plan.deck.begin(), plan.deck.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
  if (!plan.deck.empty() && plain) s += "#deck " + plan.deck + "\n";
  s += "point\tdir";
  for (const auto& a : plan.axes) s += "\t" + a;
  s += "\n";
  for (const auto& p : plan.points) {
    s += std::to_string(p.index) + "\t" + p.dir;
    for (double v : p.values) s += "\t" + shortest(v);
    s += "\n";
  }
  write_file_atomically(dir / "points.tsv", s);
  return s;
}

static std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream ss(line);
  for (std::string f; std::getline(ss, f, '\t');) out.push_back(f);
  return out;
}

// A line without its line end, "\n" or "\r\n" (a file edited elsewhere).
static bool get_line(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

SweepPlan read_points_file(const fs::path& dir) {
  fs::path file = dir / "points.tsv";
  const std::optional<std::string> text = slurp(file);
  if (!text) throw UsageError(dir.string() + " is not a sweep directory (no readable points.tsv)");
  std::istringstream in(*text);
  SweepPlan plan;
  std::string line;
  auto bad = [&](const std::string& why) { return UsageError(file.string() + ": " + why); };
  if (!get_line(in, line) || line.rfind("#program ", 0) != 0) throw bad("first line must name the program");
  auto p = program_from_name(line.substr(9));
  if (!p) throw bad("unknown program '" + visible(line.substr(9)) + "'");
  plan.program = *p;
  if (!get_line(in, line)) throw bad("no header line");
  if (line.rfind("#deck ", 0) == 0) {
    plan.deck = line.substr(6);
    if (!get_line(in, line)) throw bad("no header line");
  }
  auto head = split_tabs(line);
  if (head.size() < 2 || head[0] != "point" || head[1] != "dir") throw bad("bad header line");
  plan.axes.assign(head.begin() + 2, head.end());
  int n = plan.deck.empty() ? 2 : 3;
  std::map<std::string, int> seen;  // point number or directory -> line
  while (get_line(in, line)) {
    ++n;
    if (line.empty()) continue;
    auto f = split_tabs(line);
    if (f.size() != head.size()) throw bad("line " + std::to_string(n) + " has the wrong number of fields");
    Point pt;
    auto idx = parse_number(f[0]);
    if (!idx || *idx < 1 || *idx != static_cast<int>(*idx))
      throw bad("line " + std::to_string(n) + ": bad point number");
    pt.index = static_cast<int>(*idx);
    pt.dir = f[1];
    if (pt.dir.empty() || pt.dir.front() == '/' || pt.dir.find("..") != std::string::npos)
      throw bad("line " + std::to_string(n) + ": bad directory '" + visible(pt.dir) + "'");
    for (const std::string& key : {"#" + std::to_string(pt.index), pt.dir}) {
      auto [it, fresh] = seen.emplace(key, n);
      if (!fresh)
        throw bad("line " + std::to_string(n) + " repeats " +
                  (key[0] == '#' ? "point " + key.substr(1) : "directory " + key) + " of line " +
                  std::to_string(it->second) + "; each point must be listed once");
    }
    for (size_t i = 2; i < f.size(); ++i) {
      auto v = parse_number(f[i]);
      if (!v) throw bad("line " + std::to_string(n) + ": bad value '" + visible(f[i]) + "'");
      pt.values.push_back(*v);
    }
    plan.points.push_back(pt);
  }
  return plan;
}

namespace {

bool point_failed(const fs::path& dir, const SweepPlan& plan, Status st) {
  if (!is_tensor(plan.program)) return read_row(dir, plan.program, plan.axes).failed();
  st.normal = normal_status(plan.program);
  std::string header, row;
  return !tensor_point_problem(dir, st, header, row).empty();
}

}  // namespace

std::vector<bool> prepare_points(const fs::path& sweep_dir, const SweepPlan& plan, const DeckText& base,
                                 const std::optional<fs::path>& porosity_file, bool retry_failed) {
  std::vector<bool> to_run;
  std::optional<std::string> porosity;
  if (porosity_file) {
    porosity = slurp(*porosity_file);
    if (!porosity) throw UsageError("cannot read " + porosity_file->string());
  }
  for (const auto& pt : plan.points) {
    fs::path dir = sweep_dir / pt.dir;
    std::string deck = deck_string(point_deck(base, plan.axes, pt.values));
    require_real_folder(sweep_dir, pt.dir);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) throw UsageError("cannot create " + dir.string() + ": " + ec.message());
    auto old = slurp(dir / "input.deck");
    auto st = read_status(dir);
    bool same = old && *old == deck && odd_entries(dir).empty();
    if (porosity) same = same && slurp(dir / "porosity.frac") == porosity;
    // A run stopped by a signal was interrupted, not finished; a status
    // left by the run of another deck is no result of this one.
    std::string why;
    bool finished = same && st && !st->signal && status_matches_deck(dir, *st, why) &&
                    (!retry_failed || !point_failed(dir, plan, *st));
    if (!finished) {
      const std::vector<std::string> kept = remove_run_files(sweep_dir, pt.dir);
      if (!kept.empty()) {
        std::string names;
        for (const auto& k : kept) names += " " + visible(k);
        std::fprintf(stderr, "upscale_sweep: %s is run again; files that are not the run's stay:%s\n",
                     dir.c_str(), names.c_str());
      }
      write_file_atomically(dir / "input.deck", deck);
      if (porosity) write_file_atomically(dir / "porosity.frac", *porosity);
    }
    to_run.push_back(!finished);
  }
  return to_run;
}

}  // namespace sweep
