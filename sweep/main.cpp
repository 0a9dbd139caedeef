// upscale_sweep: frequency and water-proportion sweeps of the upscaling
// programs. See usage() below.
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <thread>

#include "core/build_info.hpp"
#include "sweep/sweep.hpp"

using namespace sweep;

namespace {

const char* kUsage =
    "usage:\n"
    "  upscale_sweep PROGRAM DECK [options]         run a sweep and merge its table\n"
    "  upscale_sweep --plan PROGRAM DECK [options]  write the point decks, tasks.txt and\n"
    "                                               slurm_array.sh; run nothing\n"
    "  upscale_sweep --merge DIR [--no-plot] [--allow-mixed-builds]\n"
    "                                               merge the finished points of DIR\n"
    "  upscale_sweep --maps RUNDIR                  draw the pressure and strain maps of\n"
    "                                               one run (RUNDIR/maps.gp, *.png)\n"
    "\n"
    "PROGRAM is pwave_upscale, swave_spectrum, swave_saturation or tensor_upscale\n"
    "(its DECK's frequencies only: each point runs 'tensor_upscale input.deck -o .'\n"
    "and the merge writes DIR/tensor.csv and tensor.png, as one run would).\n"
    "What to vary (the points are all combinations, the first option varying fastest):\n"
    "  --freq deck        the deck's own scale: nfreq points from freq to freq_max,\n"
    "                     logarithmic (the default when nothing else is varied)\n"
    "  --freq LIST|A:B:N  frequencies in Hz: a comma list, or N points from A to B,\n"
    "                     logarithmic\n"
    "  --phiw LIST|A:B:N  water proportion of layer material 1 (pwave_upscale only);\n"
    "                     A:B:N is N evenly spaced values\n"
    "  --phiw2 LIST|A:B:N water proportion of layer material 2, as its own quantity\n"
    "  --both-layers      --phiw sets layer materials 1 and 2 alike\n"
    "Options:\n"
    "  -o DIR             sweep directory (default sweep_PROGRAM)\n"
    "  -j N               runs at a time (default: all cores)\n"
    "  --exe PATH         the program to run (default: found beside upscale_sweep,\n"
    "                     in $UPSCALE_BIN_DIR or on PATH)\n"
    "  --porosity FILE    cell map for decks with model = 1 (default ./porosity.frac)\n"
    "  --timeout SEC      stop a run that takes longer\n"
    "  --retry-failed     run failed points again (finished points are skipped)\n"
    "  --no-plot          do not run gnuplot\n"
    "  --allow-mixed-builds  merge points made by different builds of the program\n"
    "  --array-max N      largest Slurm job array of --plan (default 1000; Slurm's\n"
    "                     MaxArraySize less one)\n"
    "  -q, --quiet        no progress bar\n"
    "  --version          the build: version, commit, digest of the sources\n"
    "Exit status: 0 every point ended normally, 1 some point failed or did not run,\n"
    "2 bad usage or input, or the folder is in use by another sweep. A normal\n"
    "end (40) that left results missing or not finite counts as a failure.\n"
    "One sweep at a time works in a folder; a second one is refused.\n";

struct Args {
  std::string mode = "run";  // run, plan, merge, maps
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> vary;  // option, spec, in order
  bool both_layers = false;
  std::string out, exe, porosity;
  int jobs = 0, array_max = 1000;
  double timeout = 0;
  bool retry_failed = false, plot = true, quiet = false, allow_mixed = false;
};

int to_int(const std::string& s, const char* what) {
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || v < 1 || v > 4096)
    throw UsageError(std::string(what) + " must be a whole number from 1 to 4096, got '" + s + "'");
  return static_cast<int>(v);
}

Args parse_args(int argc, char** argv) {
  Args a;
  for (int i = 1; i < argc; ++i) {
    std::string o = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError(o + " needs a value");
      return argv[++i];
    };
    if (o == "--plan") a.mode = "plan";
    else if (o == "--merge") { a.mode = "merge"; a.positional.push_back(value()); }
    else if (o == "--maps") { a.mode = "maps"; a.positional.push_back(value()); }
    else if (o == "--freq" || o == "--phiw" || o == "--phiw2") a.vary.emplace_back(o, value());
    else if (o == "--both-layers") a.both_layers = true;
    else if (o == "-o") a.out = value();
    else if (o == "-j") a.jobs = to_int(value(), "-j");
    else if (o.rfind("-j", 0) == 0 && o.size() > 2) a.jobs = to_int(o.substr(2), "-j");
    else if (o == "--exe") a.exe = value();
    else if (o == "--porosity") a.porosity = value();
    else if (o == "--timeout") {
      auto v = parse_number(value());
      if (!v || !(*v > 0) || !std::isfinite(*v)) throw UsageError("--timeout needs a positive number of seconds");
      a.timeout = *v;
    }
    else if (o == "--retry-failed") a.retry_failed = true;
    else if (o == "--no-plot") a.plot = false;
    else if (o == "--allow-mixed-builds") a.allow_mixed = true;
    else if (o == "--array-max") a.array_max = to_int(value(), "--array-max");
    else if (o == "-q" || o == "--quiet") a.quiet = true;
    else if (o == "-h" || o == "--help") { std::cout << kUsage; std::exit(0); }
    else if (o == "--version") {
      std::printf("upscale_sweep %s (commit %s, sources %.16s)\n", core::project_version(), core::project_commit(),
                  core::project_sources());
      std::exit(std::fflush(stdout) == 0 ? 0 : 1);
    }
    else if (!o.empty() && o[0] == '-') throw UsageError("unknown option " + o);
    else a.positional.push_back(o);
  }
  return a;
}

int default_jobs() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

std::string find_program(const std::string& name, const std::string& exe) {
  auto runnable = [](const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
  };
  if (!exe.empty()) {
    if (!runnable(exe)) throw UsageError("--exe " + visible(exe) + " is not an executable file");
    return fs::absolute(exe).lexically_normal().string();
  }
  std::vector<fs::path> tries;
  if (const char* d = std::getenv("UPSCALE_BIN_DIR")) tries.push_back(fs::path(d) / name);
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    tries.push_back(self.parent_path() / name);
    tries.push_back(self.parent_path().parent_path() / "drivers" / name);
  }
  for (const auto& t : tries)
    if (runnable(t)) return fs::absolute(t).lexically_normal().string();
  if (auto p = find_in_path(name)) return fs::absolute(*p).lexically_normal().string();
  throw UsageError("cannot find the program " + name + "; give its path with --exe");
}

std::vector<Axis> make_axes(const Args& a, Program prog, const DeckInfo& deck) {
  std::vector<Axis> axes;
  bool layer2 = false;
  for (const auto& [opt, spec] : a.vary) {
    for (const auto& ax : axes)
      if ((opt == "--freq" && ax.name == "freq") ||
          (opt == "--phiw" && ax.name.rfind("phiw", 0) == 0 && ax.name != "phiw2") ||
          (opt == "--phiw2" && ax.name == "phiw2"))
        throw UsageError(opt + " given twice");
    if (opt == "--freq") {
      if (spec == "deck") axes.push_back({"freq", log_scale(deck.freq, deck.freq_max, deck.nfreq)});
      else axes.push_back({"freq", parse_values(spec, true)});
      // tensor_upscale's own scale A:B:N, so that the points are its frequencies to the last bit.
      if (is_tensor(prog) && spec.find(':') != std::string::npos && axes.back().values.size() > 1)
        axes.back().values = log_scale(axes.back().values.front(), axes.back().values.back(),
                                       static_cast<int>(axes.back().values.size()));
      // The programs' range (0, 1e12] Hz, without the subnormal numbers
      // below 2.2e-308, whose logarithm and digits do not read back.
      for (double f : axes.back().values)
        if (!(f > 0 && f <= 1e12 && std::isnormal(f)))
          throw UsageError("a frequency lies in (0, 1e12] Hz (and at least 2.2e-308), got " + shortest(f));
      continue;
    }
    if (is_tensor(prog)) throw UsageError("a sweep of tensor_upscale varies only --freq");
    if (is_shear(prog))
      throw UsageError(program_name(prog) + " imposes its own water proportion (" +
                       (prog == Program::swave_spectrum ? "0.2" : "0.28") + "); only --freq can be varied");
    Axis ax{opt == "--phiw2" ? "phiw2" : (a.both_layers ? "phiw" : "phiw1"), parse_values(spec, false)};
    for (double v : ax.values)
      if (!(v > 0 && v < 1))
        throw UsageError("a water proportion lies in (0, 1), a fraction of the bulk volume strictly between "
                         "0 and 1 as the programs require, got " + shortest(v));
    if (ax.name != "phiw1") layer2 = true;
    axes.push_back(ax);
  }
  if (a.both_layers) {
    bool have = false;
    for (const auto& ax : axes) have = have || ax.name == "phiw";
    if (!have) throw UsageError("--both-layers goes with --phiw");
    for (const auto& ax : axes)
      if (ax.name == "phiw2") throw UsageError("--both-layers and --phiw2 exclude each other");
  }
  if (layer2 && deck.nlayers < 2)
    throw UsageError("the deck has one layer material; there is no water proportion of layer material 2");
  if (axes.empty()) axes.push_back({"freq", log_scale(deck.freq, deck.freq_max, deck.nfreq)});
  return axes;
}

int report_summary(const MergeSummary& s, const fs::path& dir) {
  const bool tensor = read_points_file(dir).program == Program::tensor_upscale;
  std::fprintf(stderr, "upscale_sweep: %d points, %d finished, %d failed; table %s\n", s.points, s.finished,
               s.failed, (dir / (tensor ? "tensor.csv" : "sweep.csv")).c_str());
  return s.all_ok() ? 0 : 1;
}

int draw_maps(const fs::path& dir) {
  auto images = write_maps_script(dir);
  if (!find_in_path("gnuplot")) {
    std::fprintf(stderr, "upscale_sweep: wrote %s; gnuplot is not installed, no images drawn\n",
                 (dir / "maps.gp").c_str());
    return 0;
  }
  if (!run_gnuplot(dir, "maps.gp")) {
    std::fprintf(stderr, "upscale_sweep: gnuplot failed on %s\n", (dir / "maps.gp").c_str());
    return 1;
  }
  for (const auto& i : images) std::printf("%s\n", (dir / i).c_str());
  return 0;
}

int run(const Args& a) {
  MergeOptions merging;
  merging.plot = a.plot;
  merging.allow_mixed_builds = a.allow_mixed;
  if (a.mode == "merge") {
    if (a.positional.size() != 1) throw UsageError("--merge takes one directory");
    fs::path dir = a.positional[0];
    if (!fs::is_regular_file(dir / "points.tsv"))
      throw UsageError(dir.string() + " is not a sweep directory (no points.tsv)");
    lock_sweep_dir(dir);
    return report_summary(merge(dir, merging), dir);
  }
  if (a.mode == "maps") {
    if (a.positional.size() != 1) throw UsageError("--maps takes one run directory");
    if (fs::is_symlink(fs::symlink_status(fs::path(a.positional[0]))))
      throw UsageError(a.positional[0] + " is a symbolic link; give the run folder itself (maps.gp and the images "
                                         "are written into it)");
    return draw_maps(a.positional[0]);
  }
  if (a.positional.size() != 2) throw UsageError("give a program and a deck");
  auto prog = program_from_name(a.positional[0]);
  if (!prog)
    throw UsageError("unknown program '" + a.positional[0] +
                     "' (pwave_upscale, swave_spectrum, swave_saturation, tensor_upscale)");
  std::string exe = find_program(a.positional[0], a.exe);
  require_plain_path("the program", exe);
  if (is_tensor(*prog) && fs::path(a.positional[1]).extension() == ".toml")
    throw UsageError(a.positional[1] + ": a sweep of tensor_upscale takes a deck; a sample file (.toml) runs its "
                                       "frequencies in one tensor_upscale run");
  DeckText base = load_deck(a.positional[1]);
  DeckInfo info = inspect_deck(base);
  // Each tensor_upscale point computes its deck's one frequency.
  if (is_tensor(*prog)) base.records.at(kNfreqRecord - 1) = replace_list_item(base.records.at(kNfreqRecord - 1), "1");
  std::vector<Axis> axes = make_axes(a, *prog, info);
  std::optional<fs::path> porosity;
  if (info.model == 1) {
    porosity = a.porosity.empty() ? fs::path("porosity.frac") : fs::path(a.porosity);
    if (!fs::is_regular_file(*porosity))
      throw UsageError("the deck reads its cell map (model = 1) but " + porosity->string() +
                       " is missing; give it with --porosity");
  }
  SweepPlan plan = make_plan(*prog, axes);
  plan.deck = fs::path(a.positional[1]).filename().string();
  fs::path dir = a.out.empty() ? fs::path("sweep_" + program_name(*prog)) : fs::path(a.out);
  require_plain_path("the sweep folder", fs::absolute(dir).string());
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) throw UsageError("cannot create " + dir.string() + ": " + ec.message());
  lock_sweep_dir(dir);
  if (fs::exists(dir / "points.tsv")) {
    SweepPlan old = read_points_file(dir);
    if (old.program != plan.program)
      throw UsageError(dir.string() + " holds a sweep of " + program_name(old.program) + "; choose another -o");
  }
  auto to_run = prepare_points(dir, plan, base, porosity, a.retry_failed);
  const std::string written = write_points_file(dir, plan);

  if (a.mode == "plan") {
    write_task_list(dir, plan, exe, a.array_max);
    fs::path abs = fs::absolute(dir).lexically_normal();
    std::printf(
        "%zu point decks in %s\n"
        "run them with GNU parallel:  parallel -a %s\n"
        "   across hosts:             parallel --sshloginfile HOSTS -a %s\n"
        "or as Slurm job arrays:      sh %s\n"
        "then merge:                  upscale_sweep --merge %s\n",
        plan.points.size(), (abs / "points").c_str(), (abs / "tasks.txt").c_str(), (abs / "tasks.txt").c_str(),
        (abs / "slurm_submit.sh").c_str(), abs.c_str());
    return 0;
  }

  std::vector<fs::path> dirs;
  for (size_t i = 0; i < plan.points.size(); ++i)
    if (to_run[i]) dirs.push_back(dir / plan.points[i].dir);
  if (dirs.size() < plan.points.size() && !a.quiet)
    std::fprintf(stderr, "upscale_sweep: %zu of %zu points already finished\n", plan.points.size() - dirs.size(),
                 plan.points.size());
  RunOptions opt;
  opt.jobs = a.jobs > 0 ? a.jobs : default_jobs();
  opt.timeout_s = a.timeout;
  opt.progress = !a.quiet;
  opt.args = program_arguments(*prog);
  opt.normal = normal_status(*prog);
  run_points(exe, dirs, opt);
  if (slurp(dir / "points.tsv") != written) {
    std::fprintf(stderr,
                 "upscale_sweep: the plan in %s was replaced while this sweep ran; its points are not merged "
                 "and the folder's table is left as it was\n",
                 dir.c_str());
    return 1;
  }
  return report_summary(merge(dir, merging), dir);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(parse_args(argc, argv));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "upscale_sweep: %s\n", e.what());
    if (argc < 2) std::fputs(kUsage, stderr);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "upscale_sweep: %s\n", e.what());
    return 2;
  }
}
