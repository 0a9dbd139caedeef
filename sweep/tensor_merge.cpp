// The merged spectrum of a tensor_upscale sweep: one row of tensor.csv per
// point, under the points' common header, in the order of points.tsv, so
// that the table is the one a single run over the same frequencies writes;
// and its plot, by the points' own gnuplot script.
#include <cmath>

#include "sweep/sweep.hpp"

namespace sweep {

namespace {

// The frequency a row gives, against its point's deck.
std::string frequency_problem(const fs::path& dir, const std::string& row) {
  const std::optional<double> f = parse_number(row.substr(0, row.find(',')));
  double asked = 0;
  try {
    asked = deck_point(load_deck(dir / "input.deck")).freq;
  } catch (const UsageError& e) {
    return std::string("the point's input.deck does not read: ") + e.what();
  }
  if (!f || *f != asked)
    return "tensor.csv gives the frequency " + visible(row.substr(0, row.find(','))) + ", its deck " + shortest(asked);
  return "";
}

}  // namespace

std::string tensor_point_problem(const fs::path& dir, const Status& st, std::string& header, std::string& row) {
  std::string why;
  if (!status_matches_deck(dir, st, why)) return why;
  if (!st.ok()) return "ended with status " + std::to_string(st.code) + ": " + failure_message(dir, st);
  if (const std::string odd = odd_entries(dir); !odd.empty()) return "files of the run that cannot be read: " + odd;
  const std::vector<std::string> lines = read_lines(dir / "tensor.csv");
  if (lines.size() != 3) return "tensor.csv has " + std::to_string(lines.size()) + " lines, expected 3 (names, units, one row)";
  header = lines[0] + "\n" + lines[1] + "\n";
  row = lines[2];
  return frequency_problem(dir, row);
}

MergeSummary merge_tensor(const fs::path& sweep_dir, const SweepPlan& plan, const MergeOptions& opt) {
  MergeSummary sum;
  sum.points = static_cast<int>(plan.points.size());
  std::string header, table, script_from;
  std::vector<Row> records;
  for (const Point& pt : plan.points) {
    require_real_folder(sweep_dir, pt.dir);
    const fs::path dir = sweep_dir / pt.dir;
    std::optional<Status> st = read_status(dir);
    if (!st) continue;
    ++sum.finished;
    st->normal = normal_status(plan.program);
    std::string head, row;
    std::string problem = tensor_point_problem(dir, *st, head, row);
    if (problem.empty() && !header.empty() && head != header)
      problem = "its tensor.csv has other columns than " + plan.points.front().dir + "'s";
    if (!problem.empty()) {
      ++sum.failed;
      std::fprintf(stderr, "upscale_sweep: %s: %s\n", dir.c_str(), problem.c_str());
      continue;
    }
    if (header.empty()) header = head, script_from = pt.dir;
    table += row + "\n";
    Row r;
    r.point = &pt;
    r.status = st;
    if (auto json = slurp(dir / "run.json")) {
      r.version = json_member(*json, "version").value_or("");
      r.commit = json_member(*json, "commit").value_or("");
    }
    records.push_back(r);
  }
  if (!opt.allow_mixed_builds) refuse_mixed_builds(records);
  if (header.empty()) return sum;
  write_file_atomically(sweep_dir / "tensor.csv", header + table);
  if (const auto script = slurp(sweep_dir / script_from / "tensor.gp")) {
    write_file_atomically(sweep_dir / "tensor.gp", *script);
    if (opt.plot) run_gnuplot(sweep_dir, "tensor.gp");
  }
  return sum;
}

}  // namespace sweep
