// The merged table of a sweep (sweep.csv, with a units row) and its plot.
#include <cmath>
#include <sstream>
#include <set>

#include "core/text_in.hpp"
#include "sweep/sweep.hpp"

namespace sweep {

// Points made by different builds of the programs are not one experiment.
void refuse_mixed_builds(const std::vector<Row>& rows) {
  const Row* first = nullptr;
  for (const auto& r : rows) {
    if (r.version.empty() && r.commit.empty() && r.failed()) continue;  // a stopped run leaves no record
    if (!first) {
      first = &r;
      continue;
    }
    if (r.version == first->version && r.commit == first->commit && r.sources == first->sources) continue;
    auto build = [](const Row& x) {
      if (x.version.empty() && x.commit.empty()) return std::string("an unrecorded build");
      return "version " + visible(x.version) + " (commit " + visible(x.commit) +
             (x.sources.empty() ? "" : ", sources " + visible(x.sources.substr(0, 16))) + ")";
    };
    throw UsageError("points of different builds: " + first->point->dir + " was made by " + build(*first) + ", " +
                     r.point->dir + " by " + build(r) +
                     "; run the sweep again with one build (--retry-failed does not rerun finished points: "
                     "empty those directories), or merge with --allow-mixed-builds");
  }
}

namespace {

// The analytic panels show the plane waves of cell (nx, ny); a sweep of one
// layer material's water proportion leaves them unchanged when that cell is
// of the other material.
bool analytic_cell_varies(const fs::path& dir, const SweepPlan& plan, const std::vector<Row>& rows) {
  int varied = 0;  // material whose water proportion varies: 1, 2, or 3 for both
  for (const auto& a : plan.axes) varied |= a == "phiw1" ? 1 : a == "phiw2" ? 2 : a == "phiw" ? 3 : 0;
  if (varied == 0 || varied == 3 || is_shear(plan.program)) return true;
  for (const auto& r : rows) {
    if (r.failed()) continue;
    const fs::path p = dir / r.point->dir;
    try {
      const DeckText deck = load_deck(p / "input.deck");
      if (inspect_deck(deck).model != 0) return true;
      const int nx = core::read_list_int(deck.records.at(4)).value, ny = core::read_list_int(deck.records.at(5)).value;
      std::istringstream in(slurp(p / "matnum_p33_gnu").value_or(""));
      for (int j, k, m; in >> j >> k >> m;)
        if (j == nx && k == ny) return (varied & (1 << (m - 1))) != 0;
    } catch (const std::exception&) {
    }
    return true;
  }
  return true;
}

std::string table_text(const SweepPlan& plan, const std::vector<Row>& rows) {
  const auto& cols = result_columns(plan.program);
  std::string csv = "point", units = "unit";
  for (const auto& a : plan.axes) csv += "," + a, units += "," + column_unit(a);
  csv += ",status", units += ",";
  for (const auto& c : cols) csv += "," + c, units += "," + column_unit(c);
  csv += ",version,build,deck_sha256,dir,message\n";
  units += ",,,,,\n";
  csv += units;
  for (const auto& r : rows) {
    csv += std::to_string(r.point->index);
    for (double v : r.axis_values) csv += "," + shortest(v);
    csv += "," + (r.status->signal ? std::to_string(128 + r.status->code) : std::to_string(r.status->code));
    for (const auto& c : cols) {
      auto it = r.values.find(c);
      csv += ",";
      if (it != r.values.end()) csv += shortest(it->second);
    }
    csv += "," + csv_field(r.version) + "," + csv_field(r.build()) + "," + csv_field(r.deck_sha256) + "," + csv_field(r.point->dir) + "," +
           csv_field(r.message) + "\n";
  }
  return csv;
}

}  // namespace

MergeSummary merge(const fs::path& sweep_dir, const MergeOptions& opt) {
  const SweepPlan plan = read_points_file(sweep_dir);
  if (is_tensor(plan.program)) return merge_tensor(sweep_dir, plan, opt);
  MergeSummary sum;
  sum.points = static_cast<int>(plan.points.size());
  std::vector<Row> rows;
  for (const auto& pt : plan.points) {
    Row r;
    try {
      require_real_folder(sweep_dir, pt.dir);
      r = read_row(sweep_dir / pt.dir, plan.program, plan.axes);
    } catch (const UsageError& e) {
      r.status = Status{};
      r.axis_values.assign(plan.axes.size(), std::nan(""));
      r.message = e.what();
    }
    r.point = &pt;
    if (!r.status) continue;
    ++sum.finished;
    // A normal end without every result counts as a failure too.
    if (r.failed()) ++sum.failed;
    rows.push_back(std::move(r));
  }
  if (!opt.allow_mixed_builds) refuse_mixed_builds(rows);
  write_file_atomically(sweep_dir / "sweep.csv", table_text(plan, rows));
  write_file_atomically(sweep_dir / "sweep.gp",
                        sweep_plot_script(plan, rows, "sweep.png", analytic_cell_varies(sweep_dir, plan, rows)));
  if (opt.plot) run_gnuplot(sweep_dir, "sweep.gp");
  return sum;
}

}  // namespace sweep
