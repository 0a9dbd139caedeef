#include "drivers/program_args.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "core/build_info.hpp"
#include "core/dense_kernel.hpp"
#include "core/run_lock.hpp"
#include "core/run_start.hpp"
#include "drivers/run_record.hpp"
#include "drivers/vtk_map.hpp"

namespace drivers {

namespace {

constexpr int kUsageError = 2;

// What each program measures, for --help.
const char* test_of(std::string_view program) {
  if (program == "pwave_upscale")
    return "the oscillatory compressibility test: the effective compressional modulus of the\n"
           "sample (mstar, c33), its P-wave velocity and 1000/Q, with the deck's water proportions";
  if (program == "swave_spectrum")
    return "the oscillatory shear test: the effective shear modulus of the sample (cmu, c13),\n"
           "its S-wave velocity and 1000/Q, with the water proportion of every layer set to 0.2";
  return "the oscillatory shear test: the effective shear modulus of the sample (cmu, c13),\n"
         "its S-wave velocity and 1000/Q, with the water proportion of every layer set to 0.28";
}

void print_help(std::string_view program) {
  const std::string p(program);
  std::printf(
      "usage: %s < DECK > REPORT\n"
      "       %s --help | --version\n\n"
      "Runs %s\nat the deck's frequency, for one rock sample of square cells.\n\n"
      "The run is configured by the input deck on standard input alone (its format is in\n"
      "doc/deck.md of the source tree); a deck with model = 1 also reads \"porosity.frac\"\n"
      "from the working directory. The report goes to standard output. The result tables,\n"
      "the cell maps (plain text, and cell_maps.vtk for ParaView) and run.json (program,\n"
      "build, input digests, exit status, headline results) are written into the working\n"
      "directory: run it in a scratch folder.\n\n"
      "Exit status 40 is a normal end; any other status is a stop, explained on standard error\n"
      "and in run.json.\n",
      p.c_str(), p.c_str(), test_of(program));
}

// Ends an answer to --help or --version: status 0, or 1 with a message when
// standard output could not be written.
[[noreturn]] void exit_after_answer(const std::string& program) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) std::exit(0);
  std::fprintf(stderr, "%s: standard output could not be written\n", program.c_str());
  std::exit(1);
}

void print_usage(std::string_view program, const std::string& what) {
  const std::string p(program);
  std::fprintf(stderr,
               "%s: %s: the run is configured by the deck on standard input\n"
               "usage: %s < DECK > REPORT   (or %s --help, %s --version)\n",
               p.c_str(), what.c_str(), p.c_str(), p.c_str(), p.c_str());
}

}  // namespace

void start_program(std::string_view program, int argc, char** argv) {
  const std::string p(program);
  if (argc == 2 && std::string_view(argv[1]) == "--help") {
    print_help(program);
    exit_after_answer(p);
  }
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::printf("%s %s (commit %s, sources %.16s)\n", p.c_str(), core::project_version(), core::project_commit(),
                core::project_sources());
    exit_after_answer(p);
  }
  if (argc > 1) {
    // "--help extra": the argument refused is the extra one, not --help.
    const std::string first(argv[1]);
    print_usage(program, first == "--help" || first == "--version"
                             ? first + " takes no other argument, got \"" + argv[2] + "\""
                             : "unknown argument \"" + first + "\"");
    std::exit(kUsageError);
  }
  if (isatty(STDIN_FILENO) == 1)
    std::fprintf(stderr,
                 "%s: reading the input deck from standard input (the terminal); end it with Ctrl-D,\n"
                 "or run \"%s < DECK\" (--help for more)\n",
                 p.c_str(), p.c_str());
  // A kernel forced by UPSCALE_KERNEL that this processor lacks: refused
  // before anything is touched.
  try {
    core::process_kernel();
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "%s: %s\n", p.c_str(), e.what());
    std::exit(kUsageError);
  }
  // Safe descriptors first (the lock file must not take a closed standard
  // descriptor's number), then the folder: nothing is touched before the
  // lock is held, and the record of an earlier run goes before any table.
  core::start_run();
  core::lock_working_folder(program);
  unlink(kVtkMapName);  // a map of an earlier run would outlive a run that stops early
  run_record::begin(program);
}

}  // namespace drivers
