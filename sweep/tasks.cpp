// The task list of a planned sweep and the Slurm scripts over it. Every
// path enters a script as one single-quoted shell word; a path that holds a
// control character was refused before (a line end would start a command of
// its own in a list that runs one line per point).
#include <algorithm>
#include <sstream>

#include "sweep/sweep.hpp"

namespace sweep {

std::string sh_quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

namespace {

void write_text(const fs::path& file, const std::string& text, bool executable) {
  write_file_atomically(file, text, executable);
}

std::string slurm_array_script(const fs::path& abs, size_t points, int max_array) {
  const size_t first = std::min<size_t>(points, static_cast<size_t>(max_array));
  std::ostringstream s;
  s << "#!/bin/bash\n"
       "# Slurm job array over tasks.txt: array task i runs line OFFSET + i (one\n"
       "# point), OFFSET being this script's first argument (0 when absent).\n"
       "# Submit every point with:  sh "
    << sh_quote((abs / "slurm_submit.sh").string())
    << "\n# then, when the arrays have finished:  upscale_sweep --merge " << sh_quote(abs.string()) << "\n"
    << "#SBATCH --job-name=upscale_sweep\n"
    << "#SBATCH --array=1-" << first << "\n"
    << "#SBATCH --ntasks=1\n#SBATCH --cpus-per-task=1\n"
    << "#SBATCH --output=slurm-%A_%a.out\n"
    << "# Fill in what your cluster asks for, then delete the first '#':\n"
       "##SBATCH --time=01:00:00\n##SBATCH --mem=2G\n##SBATCH --account=PROJECT\n##SBATCH --partition=PARTITION\n"
    << "set -eu\n"
    << "task=$(( SLURM_ARRAY_TASK_ID + ${1:-0} ))\n"
    << "line=$(sed -n \"${task}p\" " << sh_quote((abs / "tasks.txt").string()) << ")\n"
    << "if [ -z \"$line\" ]; then echo \"no task ${task}\" >&2; exit 2; fi\n"
    << "exec /bin/sh -c \"$line\"\n";
  return s.str();
}

// Slurm refuses array indices of MaxArraySize and above (1001 by default):
// a large sweep goes in as several arrays, each numbered from 1, with the
// offset of its first point as the script's argument.
std::string slurm_submit_script(const fs::path& abs, size_t points, int max_array) {
  std::ostringstream s;
  s << "#!/bin/sh\n# Submits the " << points << " points of the sweep as Slurm job arrays of at most " << max_array
    << " tasks.\nset -e\n";
  for (size_t offset = 0; offset < points; offset += static_cast<size_t>(max_array))
    s << "sbatch --array=1-" << std::min<size_t>(static_cast<size_t>(max_array), points - offset) << " "
      << sh_quote((abs / "slurm_array.sh").string()) << " " << offset << "\n";
  return s.str();
}

}  // namespace

void write_task_list(const fs::path& sweep_dir, const SweepPlan& plan, const std::string& exe, int max_array) {
  fs::path abs = fs::absolute(sweep_dir).lexically_normal();
  require_plain_path("the sweep folder", abs.string());
  require_plain_path("the program", exe);
  std::string tasks, args;
  for (const std::string& a : program_arguments(plan.program)) args += " " + sh_quote(a);
  for (const auto& p : plan.points) {
    // The status file is written last, under a temporary name first, so that
    // its presence always means a finished run. The files the shell writes
    // are removed first: a link left under their names is not followed.
    tasks += "cd " + sh_quote((abs / p.dir).string()) + " || exit 1; rm -f status status.tmp report.txt stderr.txt; " +
             sh_quote(exe) + args +
             " < input.deck > report.txt 2> stderr.txt; echo $? > status.tmp && mv status.tmp status\n";
  }
  write_text(abs / "tasks.txt", tasks, false);
  write_text(abs / "slurm_array.sh", slurm_array_script(abs, plan.points.size(), max_array), true);
  write_text(abs / "slurm_submit.sh", slurm_submit_script(abs, plan.points.size(), max_array), true);
}

}  // namespace sweep
