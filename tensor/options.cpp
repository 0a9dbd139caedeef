// The command line of tensor_upscale: options in any order, "--opt value"
// or "--opt=value", each at most once, and one input file.
#include "tensor/options.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <system_error>

#include "tensor/frequency_scale.hpp"

namespace tensor {

namespace {

[[noreturn]] void bad(const std::string& option, const std::string& value, const std::string& expected) {
  throw std::invalid_argument(option + " " + (value.empty() ? "(no value)" : "\"" + value + "\"") + ": " + expected);
}

bool parse_real(std::string_view s, double& v) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return !s.empty() && ec == std::errc() && p == s.data() + s.size() && std::isfinite(v);
}

bool parse_integer(std::string_view s, int64_t& v) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return !s.empty() && ec == std::errc() && p == s.data() + s.size();
}

double frequency(const std::string& option, const std::string& text, const std::string& value) {
  double f = 0;
  if (!parse_real(text, f)) bad(option, value, "a frequency in Hz, a finite number, was expected");
  if (std::string why = frequency_refusal(f); !why.empty()) bad(option, value, "the frequency " + why);
  return f;
}

std::vector<double> frequencies(const std::string& option, const std::string& v) {
  const std::size_t a = v.find(':');
  if (a == std::string::npos) return {frequency(option, v, v)};
  const std::size_t b = v.find(':', a + 1);
  if (b == std::string::npos || v.find(':', b + 1) != std::string::npos)
    bad(option, v, "F (Hz) or F1:F2:N (N frequencies spaced evenly on a log scale from F1 to F2) was expected");
  const double f1 = frequency(option, v.substr(0, a), v), f2 = frequency(option, v.substr(a + 1, b - a - 1), v);
  int64_t n = 0;
  if (!parse_integer(v.substr(b + 1), n)) bad(option, v, "N, the number of frequencies, must be a whole number");
  if (std::string why = log_scale_refusal(f1, f2, n); !why.empty()) bad(option, v, why);
  return log_scale(f1, f2, n);
}

std::vector<double> angles(const std::string& option, const std::string& v) {
  std::vector<double> out;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = v.find(',', at);
    const std::string item = v.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    double a = 0;
    if (!parse_real(item, a) || a < 0 || a > 180)
      bad(option, v, "angles from the vertical in degrees, each from 0 to 180, separated by commas, were expected (\"" +
                         item + "\" is not one)");
    // Columns are named by the angle's %g digits: two angles with one name
    // would give two columns and JSON keys of one name.
    char tag[32], seen[32];
    std::snprintf(tag, sizeof tag, "%g", a);
    for (const double b : out)
      if (std::snprintf(seen, sizeof seen, "%g", b), std::string(seen) == tag)
        bad(option, v, "each angle once was expected (" + std::string(tag) + " is given twice)");
    out.push_back(a);
    if (comma == std::string::npos) return out;
    at = comma + 1;
  }
}

template <class T>
T choice(const std::string& option, const std::string& v, const std::map<std::string, T>& choices) {
  const auto it = choices.find(v);
  if (it != choices.end()) return it->second;
  std::string list;
  for (const auto& [name, value] : choices) list += (list.empty() ? "" : "|") + name;
  bad(option, v, "one of " + list + " was expected");
}

std::string path_value(const std::string& option, const std::string& v) {
  if (v.empty()) bad(option, v, "a file or folder name was expected");
  return v;
}

// Options that take a value, and what each does with it.
using Setter = std::function<void(Options&, const std::string&, const std::string&)>;
const std::map<std::string, Setter>& valued() {
  static const std::map<std::string, Setter> m = {
      {"--labels", [](Options& o, const std::string& n, const std::string& v) { o.labels_file = path_value(n, v); }},
      {"--freq", [](Options& o, const std::string& n, const std::string& v) { o.frequencies = frequencies(n, v); }},
      {"--lame",
       [](Options& o, const std::string& n, const std::string& v) {
         o.lame = choice<LameRelations>(n, v, {{"2d", LameRelations::two_d}, {"3d", LameRelations::three_d}});
       }},
      {"--boundary",
       [](Options& o, const std::string& n, const std::string& v) {
         o.boundary = choice<Boundary>(n, v, {{"periodic", Boundary::periodic}, {"sealed", Boundary::sealed}});
       }},
      {"--tests",
       [](Options& o, const std::string& n, const std::string& v) {
         o.tests = choice<Tests>(n, v, {{"tensor", Tests::tensor}, {"p", Tests::p}, {"s", Tests::s}});
       }},
      {"--threads",
       [](Options& o, const std::string& n, const std::string& v) {
         int64_t t = 0;
         if (!parse_integer(v, t) || t < 1 || t > 1024) bad(n, v, "a whole number of threads from 1 to 1024 was expected");
         o.threads = static_cast<int>(t);
       }},
      {"-o", [](Options& o, const std::string& n, const std::string& v) { o.out_dir = path_value(n, v); }},
      {"--angles", [](Options& o, const std::string& n, const std::string& v) { o.angles = angles(n, v); }},
      {"--fields", [](Options& o, const std::string& n, const std::string& v) { o.fields_freq = frequency(n, v, v); }},
      {"--export-matrix",
       [](Options& o, const std::string& n, const std::string& v) {
         if (v.size() < 5 || v.compare(v.size() - 4, 4, ".mtx") != 0)
           bad(n, v, "a Matrix Market file name ending in .mtx was expected");
         o.export_matrix = v;
       }},
      {"--solver",
       [](Options& o, const std::string& n, const std::string& v) {
         o.solver = choice<SolverChoice>(n, v, {{"own", SolverChoice::own}, {"mumps", SolverChoice::mumps}});
       }},
      {"--frequency-method",
       [](Options& o, const std::string& n, const std::string& v) {
         o.frequency_method =
             choice<FrequencyMethod>(n, v, {{"reduced", FrequencyMethod::reduced}, {"direct", FrequencyMethod::direct}});
       }},
      {"--reduced-tolerance",
       [](Options& o, const std::string& n, const std::string& v) {
         double t = 0;
         if (!parse_real(v, t) || !(t >= kLeastReducedTolerance && t <= kMostReducedTolerance))
           bad(n, v, "a relative tolerance from 1e-14 to 1e-3 was expected");
         o.reduced_tolerance = t;
       }},
      {"--out-of-core", [](Options& o, const std::string& n, const std::string& v) { o.out_of_core_dir = path_value(n, v); }},
  };
  return m;
}

const std::map<std::string, bool Options::*>& flags() {
  static const std::map<std::string, bool Options::*> m = {
      {"--quiet", &Options::quiet},   {"--estimate-error", &Options::estimate_error}, {"--plan", &Options::plan},
      {"--help", &Options::help},     {"-h", &Options::help},                         {"--version", &Options::version},
  };
  return m;
}

}  // namespace

Options parse_options(int argc, const char* const* argv) {
  Options o;
  std::set<std::string> seen;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_end || arg.empty() || arg[0] != '-' || arg == "-") {
      if (!o.input.empty()) bad("INPUT", arg, "one input file was expected; \"" + o.input + "\" is already the input");
      o.input = path_value("INPUT", arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    std::string name = arg, value;
    const std::size_t eq = arg.find('=');
    const bool inline_value = arg.rfind("--", 0) == 0 && eq != std::string::npos;
    if (inline_value) name = arg.substr(0, eq), value = arg.substr(eq + 1);
    const bool known = valued().count(name) || flags().count(name);
    if (!known) bad(name, inline_value ? value : "", "unknown option; see tensor_upscale --help");
    if (!seen.insert(name == "-h" ? "--help" : name).second) bad(name, inline_value ? value : "", "given twice");
    if (const auto f = flags().find(name); f != flags().end()) {
      if (inline_value) bad(name, value, "this option takes no value");
      o.*(f->second) = true;
      continue;
    }
    if (!inline_value) {
      if (i + 1 >= argc) bad(name, "", "a value was expected after it");
      value = argv[++i];
    }
    valued().at(name)(o, name, value);
  }
  if (o.help || o.version) return o;
  if (o.input.empty()) bad("INPUT", "", "an input deck or sample file (.toml) was expected; see tensor_upscale --help");
  return o;
}

const char* usage() {
  return "usage: tensor_upscale INPUT [options]\n"
         "Computes the effective complex stiffness C11 ... C55 of a poroelastic sample per frequency.\n"
         "  INPUT                  an input deck, or a sample file (.toml, see doc/sample_file.md)\n"
         "  --labels FILE          label image (PNG, TIFF or text) replacing the deck's layering\n"
         "  --freq F | F1:F2:N     one frequency (Hz), or N frequencies evenly spaced on a log scale\n"
         "  --lame 2d|3d           Lame relations of the 2D medium\n"
         "  --boundary periodic|sealed  the sample repeated without end (default), or sealed with rollers\n"
         "  --tests tensor|p|s     sealed: both tests (default), the biaxial test alone, the shear test alone\n"
         "  --threads N            threads, 1..1024 (default: every core)\n"
         "  -o DIR                 folder of the results (default: .)\n"
         "  --quiet                no progress on standard error\n"
         "  --angles A1,A2,...     also velocities at these angles from the vertical (degrees, 0..180)\n"
         "  --fields F             cell fields of each test at frequency F as .vti files\n"
         "  --export-matrix FILE.mtx  the system matrix in Matrix Market format\n"
         "  --estimate-error       discretisation error of every modulus, velocity and 1000/Q from\n"
         "                         grids refined by 2 and 4 (observed order; its cost is stated first)\n"
         "  --solver own|mumps     sparse direct solver (default: own)\n"
         "  --out-of-core DIR      factors on disk in DIR (an existing folder)\n"
         "  --frequency-method reduced|direct  several frequencies from a few factorisations and a certified\n"
         "                         reduced system (default from 8 frequencies), or one factorisation each\n"
         "  --reduced-tolerance T  relative error bound of every frequency of a reduced sweep (default 1e-8)\n"
         "  --plan                 analysis only: memory and operations, then stop\n"
         "  --help, --version\n";
}

}  // namespace tensor
