// The command line of tensor_upscale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tensor/sample.hpp"

namespace tensor {

enum class Tests { tensor, p, s };  // both tests; the biaxial test alone; the shear test alone
enum class SolverChoice { own, mumps };
enum class FrequencyMethod { automatic, reduced, direct };
// The range of the reduced sweep's relative tolerance a caller may ask.
inline constexpr double kLeastReducedTolerance = 1e-14, kMostReducedTolerance = 1e-3;

struct Options {
  std::string input;                     // a deck or a sample file (".toml")
  std::string labels_file;               // --labels: label image replacing the deck's layering
  std::vector<double> frequencies;       // --freq F or F1:F2:N (log-spaced); empty: the input's
  std::optional<LameRelations> lame;     // --lame 2d|3d
  std::optional<Boundary> boundary;      // --boundary periodic|sealed; unset: the sample file's, else periodic
  Tests tests = Tests::tensor;           // --tests tensor|p|s
  int threads = 0;                       // --threads N; 0: every core
  std::string out_dir = ".";             // -o DIR
  bool quiet = false;                    // --quiet
  std::vector<double> angles;            // --angles A1,A2,... degrees from the vertical
  std::optional<double> fields_freq;     // --fields F: cell fields of each test at F as .vti
  std::string export_matrix;             // --export-matrix FILE.mtx
  bool estimate_error = false;           // --estimate-error: errors from the grids refined by 2 and 4
  SolverChoice solver = SolverChoice::own;  // --solver own|mumps
  std::string out_of_core_dir;           // --out-of-core DIR (mumps)
  FrequencyMethod frequency_method = FrequencyMethod::automatic;  // --frequency-method reduced|direct
  double reduced_tolerance = 1e-8;       // --reduced-tolerance: relative bound of every frequency of a reduced sweep
  bool plan = false;                     // --plan: analysis only, memory and flops, then stop
  bool help = false, version = false;
};

// Parses argv; a bad option or value throws std::invalid_argument with a
// message naming the option, the value and what was expected.
Options parse_options(int argc, const char* const* argv);

// The usage text printed by --help.
const char* usage();

}  // namespace tensor
