// upscale_sweep: runs one of the upscaling programs over a set of points
// (frequencies, water proportions), one working directory per point, and
// merges the per-point results into one table.
//
// A sweep directory holds
//   points.tsv       the points: "#program <name>", "#deck <file name>"
//                    (optional), a header line, then one
//                    line per point (index, directory, varied values)
//   points/pNNNN/    one directory per point: "input.deck" and, once the
//                    program has run, its result files, "report.txt"
//                    (standard output), "stderr.txt" and "status" (the exit
//                    status, written last, so its presence marks a finished
//                    point)
//   sweep.csv        the merged table; sweep.gp its gnuplot script
//   tasks.txt, slurm_array.sh   written by --plan
#pragma once

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sweep {

namespace fs = std::filesystem;

enum class Program { pwave_upscale, swave_spectrum, swave_saturation };

std::optional<Program> program_from_name(const std::string& name);
std::string program_name(Program p);
bool is_shear(Program p);

// Thrown for anything the user can fix: bad options, bad deck, unwritable
// directory. main prints the message and exits with status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------- numbers

// Shortest text that reads back to the same double ("nan", "inf" as such).
std::string shortest(double v);
// Parses a number as the programs write it: list-directed ("1.5", "2E+10",
// "NaN", "Infinity"), or a G/E edit ("0.12345E+03", "0.12345+100"); a field
// of asterisks is NaN. Returns nothing when the text is not a number.
std::optional<double> parse_number(std::string_view text);

// "a,b,c" -> the list; "a:b:n" -> n points from a to b, spaced evenly, or
// logarithmically when `logarithmic`.
std::vector<double> parse_values(const std::string& spec, bool logarithmic);

// nfreq points from freq to freq_max, logarithmically spaced (freq alone
// when nfreq is 1).
std::vector<double> log_scale(double freq, double freq_max, int nfreq);

// ---------------------------------------------------------------- decks

struct DeckText {
  std::vector<std::string> records;  // without line ends
  bool crlf = false;                 // records ended by "\r\n"
};

DeckText load_deck(const fs::path& path);  // throws UsageError
std::string deck_string(const DeckText& d);

struct DeckInfo {
  double freq = 0, freq_max = 0;
  int nfreq = 0;
  int key_model = 0, model = 0, nlayers = 0;
};
DeckInfo inspect_deck(const DeckText& d);  // throws UsageError

// Record numbers (from 1) of the values the sweep changes.
inline constexpr int kFreqRecord = 1;
inline int phi_layer1_record(int layer) { return 9 + (layer - 1) * 20 + 8; }

// Replaces the first list-directed item of `record`, keeping what follows.
std::string replace_list_item(const std::string& record, const std::string& text);
// Replaces columns 1-20 of a (g20.10) record, keeping columns 21 on.
std::string replace_g20_field(const std::string& record, const std::string& text);
// Text for a (g20.10) field: always with a decimal point, at most 20 columns.
std::string g20_text(double v);

// The varied quantities. "freq": record 1; "phiw1", "phiw2": the water
// proportion of layer material 1 or 2; "phiw": both layer materials.
struct Axis {
  std::string name;
  std::vector<double> values;
};

// The deck of one point: the base deck with the varied records rewritten.
// Each rewritten record is read back under its own rule and must give the
// value asked for.
DeckText point_deck(const DeckText& base, const std::vector<std::string>& axes,
                    const std::vector<double>& values);

// ---------------------------------------------------------------- points

struct Point {
  int index = 0;            // from 1
  std::string dir;          // relative to the sweep directory
  std::vector<double> values;
};

struct SweepPlan {
  Program program = Program::pwave_upscale;
  std::string deck;  // the base deck's file name (titles only)
  std::vector<std::string> axes;
  std::vector<Point> points;
};

// Cartesian product, the first axis varying fastest.
SweepPlan make_plan(Program p, const std::vector<Axis>& axes);
void write_points_file(const fs::path& sweep_dir, const SweepPlan& plan);
SweepPlan read_points_file(const fs::path& sweep_dir);  // throws UsageError

// Writes the point directories that are not already set up with the same
// deck; a directory whose deck differs is emptied first. Returns, per point,
// whether it must run (not finished, or `retry_failed` and failed).
std::vector<bool> prepare_points(const fs::path& sweep_dir, const SweepPlan& plan,
                                 const DeckText& base,
                                 const std::optional<fs::path>& porosity_file,
                                 bool retry_failed);

// ---------------------------------------------------------------- status

struct Status {
  int code = 0;        // exit status, or the signal number
  bool signal = false; // killed by a signal
  bool ok() const { return !signal && code == 40; }
};
inline constexpr const char* kStatusFile = "status";
std::optional<Status> read_status(const fs::path& point_dir);
void write_status(const fs::path& point_dir, const Status& s);

// ---------------------------------------------------------------- running

struct RunOptions {
  int jobs = 1;
  double timeout_s = 0;   // 0: none
  bool progress = true;
};

// Runs `exe` in each of the given point directories, at most `jobs` at a
// time: standard input from "input.deck", standard output to "report.txt",
// standard error to "stderr.txt"; writes "status" when the run ends.
// Returns the number of runs that did not end with status 40.
// A SIGINT or SIGTERM stops starting new runs; the runs under way are
// waited for (they receive the signal from the terminal themselves).
int run_points(const std::string& exe, const std::vector<fs::path>& dirs,
               const RunOptions& opt);

// Progress bar text: "[#####.....]  5/10  1 failed  3.2 s".
std::string progress_text(int done, int total, int failed, double seconds, int width);

// ---------------------------------------------------------------- results

struct Row {
  const Point* point = nullptr;
  std::optional<Status> status;   // nothing: not finished
  std::map<std::string, double> values;
  std::string message;
};

// Result columns of a program, in table order.
const std::vector<std::string>& result_columns(Program p);
// Reads the results of one point directory.
Row read_row(const fs::path& point_dir, Program p);

// Report values: the value after the n-th (from 1) line whose text starts
// with `label` (blank runs count as one blank).
std::optional<double> report_value(const std::vector<std::string>& report,
                                   const std::string& label, int occurrence = 1);
// The numbers on the first line of a table file.
std::vector<double> table_line(const fs::path& file);

struct MergeSummary {
  int points = 0, finished = 0, failed = 0;
  bool all_ok() const { return finished == points && failed == 0; }
};
// Writes sweep.csv (finished points only) and sweep.gp; renders sweep.png
// when gnuplot is available and `plot` is set.
MergeSummary merge(const fs::path& sweep_dir, bool plot);

std::string csv_field(const std::string& s);

// ---------------------------------------------------------------- plots

std::string sweep_plot_script(const SweepPlan& plan, const std::vector<Row>& rows,
                              const std::string& png_name);
// Writes "maps.gp" into `run_dir` for the map files present there; returns
// the names of the images it draws.
std::vector<std::string> write_maps_script(const fs::path& run_dir);
// Runs gnuplot on `script` in `dir`; false if gnuplot is absent or fails.
bool run_gnuplot(const fs::path& dir, const std::string& script);
std::optional<std::string> find_in_path(const std::string& name);

// ---------------------------------------------------------------- plan files

// "tasks.txt" (one shell command per point, for GNU parallel or any shell)
// and "slurm_array.sh" (a job array over the same lines).
void write_task_list(const fs::path& sweep_dir, const SweepPlan& plan, const std::string& exe);

}  // namespace sweep
