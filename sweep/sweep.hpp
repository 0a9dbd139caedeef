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
//                    status and the SHA-256 of the deck that run read,
//                    written last, so its presence marks a finished point)
//   sweep.csv        the merged table (second line: units); sweep.gp its
//                    gnuplot script
//   .lock            held (flock) by the one upscale_sweep working on the
//                    folder; the kernel releases it when that process ends
//   tasks.txt, slurm_array.sh, slurm_submit.sh   written by --plan
#pragma once

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/deck.hpp"

namespace sweep {

namespace fs = std::filesystem;

enum class Program { pwave_upscale, swave_spectrum, swave_saturation, tensor_upscale };

std::optional<Program> program_from_name(const std::string& name);
std::string program_name(Program p);
bool is_shear(Program p);
// tensor_upscale: its deck is an argument, its table tensor.csv, 0 its normal end.
inline bool is_tensor(Program p) { return p == Program::tensor_upscale; }
inline int normal_status(Program p) { return is_tensor(p) ? 0 : 40; }
// The arguments after the program's name in a point folder (its deck is
// input.deck there): none for the three programs, which read standard input.
std::vector<std::string> program_arguments(Program p);

// Text for a message: control characters shown as \n, \r, \t or \xNN.
std::string visible(const std::string& s);
// Refuses (UsageError) a path that holds a control character: such a path
// cannot be written into a shell command line, a Slurm directive or a
// gnuplot script without changing what they do.
void require_plain_path(const std::string& what, const std::string& path);

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

// What a point's deck asks for: its frequency and the water proportion of
// each layer material (one or two entries).
struct DeckPoint {
  double freq = 0;
  std::vector<double> phi_layer1;
  int model = 0;
};
DeckPoint deck_point(const DeckText& d);  // throws UsageError
// The value of a varied quantity ("freq", "phiw1", "phiw2", "phiw") in a deck.
double axis_value(const DeckPoint& d, const std::string& axis);

// Record numbers (from 1) of the values the sweep changes.
inline constexpr int kFreqRecord = core::kFreqRecord;
inline constexpr int kNfreqRecord = core::kNfreqRecord;
inline int phi_layer1_record(int layer) { return core::layer_record(layer, core::kPhiLayer1InLayer); }

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
// Returns the text written, so that a sweep can tell at its end whether its
// plan is still the folder's.
std::string write_points_file(const fs::path& sweep_dir, const SweepPlan& plan);
SweepPlan read_points_file(const fs::path& sweep_dir);  // throws UsageError

// Writes the point directories that are not already set up with the same
// deck; a directory whose deck differs is emptied first. Returns, per point,
// whether it must run (not finished, or `retry_failed` and failed).
std::vector<bool> prepare_points(const fs::path& sweep_dir, const SweepPlan& plan,
                                 const DeckText& base,
                                 const std::optional<fs::path>& porosity_file,
                                 bool retry_failed);

// Whole file, or nothing when it cannot be read, is not a regular file (a
// FIFO, a device: opened without waiting) or holds more than kMaxReadBytes.
inline constexpr long long kMaxReadBytes = 64LL << 20;
std::optional<std::string> slurp(const fs::path& f);
// Its lines without line ends ("\n" or "\r\n"); none when it cannot be read.
std::vector<std::string> read_lines(const fs::path& f);
// Writes under a temporary name created afresh (never through a link), then
// renames it into place; throws UsageError.
void write_file_atomically(const fs::path& file, const std::string& text, bool executable = false);
// "NAME is a symbolic link, NAME is not a regular file" for the files of
// `dir` that a run writes and that are not regular files; empty when none.
std::string odd_entries(const fs::path& dir);
// Refuses (UsageError) a point folder `relative` to the sweep folder when it
// or a folder on the way is a symbolic link or not a folder.
void require_real_folder(const fs::path& sweep_dir, const std::string& relative);
// Removes the files a run or the sweep writes into a point folder; returns
// the names of the other entries, which are the user's and stay.
// The folder is opened without following a link at any step (*at calls).
std::vector<std::string> remove_run_files(const fs::path& sweep_dir, const std::string& relative);

// ---------------------------------------------------------------- status

struct Status {
  int code = 0;        // exit status, or the signal number
  bool signal = false; // killed by a signal
  std::string deck_sha256;  // of the deck the run read; empty when unknown
  int normal = 40;          // the program's normal end (normal_status)
  bool ok() const { return !signal && code == normal; }
};
inline constexpr const char* kStatusFile = "status";
std::optional<Status> read_status(const fs::path& point_dir);
void write_status(const fs::path& point_dir, const Status& s);
// SHA-256 of a file's bytes (empty when it cannot be read).
std::string file_sha256(const fs::path& f);
// Whether the status belongs to the deck now in the point directory: the
// status's and run.json's deck digests, when recorded, match input.deck.
// Otherwise says why not in `why`.
bool status_matches_deck(const fs::path& point_dir, const Status& s, std::string& why);

// One upscale_sweep per folder: an exclusive lock on DIR/.lock, held until
// the process ends (the kernel drops it whatever way the process ends).
// Throws UsageError naming the process that holds it.
void lock_sweep_dir(const fs::path& sweep_dir);

// ---------------------------------------------------------------- running

struct RunOptions {
  int jobs = 1;
  double timeout_s = 0;   // 0: none
  bool progress = true;
  std::vector<std::string> args;  // after the program's name
  int normal = 40;                // the exit status of a normal end
};

// Runs `exe` in each of the given point directories, at most `jobs` at a
// time: standard input from "input.deck", standard output to "report.txt",
// standard error to "stderr.txt"; writes "status" when the run ends.
// Returns the number of runs that did not end with status 40.
// A SIGINT or SIGTERM stops starting new runs and is passed on to the runs
// under way. A run dies with the sweep (parent-death signal), so no run of
// a killed sweep writes into a point directory later.
int run_points(const std::string& exe, const std::vector<fs::path>& dirs,
               const RunOptions& opt);

// Progress bar text: "[#####.....]  5/10  1 failed  3.2 s".
std::string progress_text(int done, int total, int failed, double seconds, int width);

// ---------------------------------------------------------------- results

struct Row {
  const Point* point = nullptr;
  std::vector<double> axis_values;  // as the point's own input.deck gives them
  std::optional<Status> status;     // nothing: not finished
  std::map<std::string, double> values;
  std::string version, commit, sources, deck_sha256;  // from run.json, when written
  // The build: commit and the first digits of the sources' digest.
  std::string build() const { return commit + (sources.empty() ? "" : " " + sources.substr(0, 16)); }
  std::string message;
  bool failed() const { return !status || !status->ok() || !message.empty(); }
};

// Result columns of a program, in table order, and the unit of a column.
const std::vector<std::string>& result_columns(Program p);
std::string column_unit(const std::string& column);
// Reads the results of one point directory; `axes` name the varied
// quantities, read back from the point's deck.
Row read_row(const fs::path& point_dir, Program p, const std::vector<std::string>& axes);

// The relaxed and unrelaxed moduli (Pa) of a layered sample, from the
// elastic coefficient maps of a run ("xlambda1_gnu", ...): with per cell
// A = lambda1 + 2 mu1, B = lambda3 + 2 mu3, C = d3 + mu13 and
// E = [[A, C, b1], [C, B, b2], [b1, b2, m]],
//   M_R = e^T <E^-1>^-1 e, e = (1, 1, 0),   M_U = <(A + B + 2C)^-1>^-1,
// <.> the mean over the cells. Nothing when a map is missing or unusable.
struct Limits {
  double relaxed = 0, unrelaxed = 0;
};
std::optional<Limits> layered_limits(const fs::path& run_dir);
struct CellCoefficients {
  double lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;
};
Limits layered_limits(const std::vector<CellCoefficients>& cells);

// A string or number member of a flat JSON object ("version", ...);
// nothing when absent.
std::optional<std::string> json_member(const std::string& json, const std::string& key);

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
struct MergeOptions {
  bool plot = true;
  bool allow_mixed_builds = false;  // else points of different builds are refused
};
// Writes sweep.csv (finished points only) and sweep.gp; renders sweep.png
// when gnuplot is available and `plot` is set.
MergeSummary merge(const fs::path& sweep_dir, const MergeOptions& opt);
// The same for a tensor_upscale sweep: the points' tensor.csv rows, in point
// order under their common header, into DIR/tensor.csv, and its plot
// tensor.gp (tensor.png). A point is merged when its status is the normal
// end of the deck now in its folder and its table is whole.
MergeSummary merge_tensor(const fs::path& sweep_dir, const SweepPlan& plan, const MergeOptions& opt);
// Why a finished tensor_upscale point is no result; empty when it is one.
// `row` receives its table row (the third line of its tensor.csv).
std::string tensor_point_problem(const fs::path& point_dir, const Status& st, std::string& header,
                                 std::string& row);

std::string csv_field(const std::string& s);
// Refuses (UsageError) rows whose run records name different builds.
void refuse_mixed_builds(const std::vector<Row>& rows);
// Why a finished run of the three programs failed, in a few words.
std::string failure_message(const fs::path& dir, const Status& st);

// ---------------------------------------------------------------- plots

// Text inside a gnuplot single-quoted string, where nothing is substituted
// (no backquote command, no macro); control characters become '?'.
std::string gp_quote(const std::string& s);
// A single-quoted shell word.
std::string sh_quote(const std::string& s);

// `analytic_panel`: whether the plane-wave panels belong on the plot (the
// analytic cell (nx, ny) is in the varied layer material).
std::string sweep_plot_script(const SweepPlan& plan, const std::vector<Row>& rows,
                              const std::string& png_name, bool analytic_panel = true);
// Writes "maps.gp" into `run_dir` for the map files present there; returns
// the names of the images it draws.
std::vector<std::string> write_maps_script(const fs::path& run_dir);
// Runs gnuplot on `script` in `dir`; false if gnuplot is absent or fails.
bool run_gnuplot(const fs::path& dir, const std::string& script);
std::optional<std::string> find_in_path(const std::string& name);

// ---------------------------------------------------------------- plan files

// "tasks.txt" (one shell command per point, for GNU parallel or any shell),
// "slurm_array.sh" (a job array over the same lines, task i running line
// OFFSET + i, OFFSET its first argument) and "slurm_submit.sh" (the sbatch
// calls that cover the sweep with arrays of at most `max_array` tasks).
void write_task_list(const fs::path& sweep_dir, const SweepPlan& plan, const std::string& exe,
                     int max_array = 1000);

}  // namespace sweep
