// Fuzz target: the reader of "porosity.frac" on arbitrary bytes.
//
// The first two bytes choose the grid (nx, ny in 1..60); the rest is the
// file. Each cell's value must be what the (e12.4) rule reads from columns
// 1-12 of its own line (line (k-1)*nx + j, trailing carriage returns
// dropped), strictly between 0 and 1; a file that cannot give every cell
// such a value must end the run with an input error naming the file and
// the line.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/cell_array.hpp"
#include "core/stop.hpp"
#include "core/text_in.hpp"
#include "fuzz/stop_throws.hpp"
#include "model/porosity.hpp"

using fuzz::check;

namespace {

std::string g_path;  // the file under test, in a private scratch directory

bool same(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/fuzz_porosity_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  g_path = std::string(tmpl) + "/porosity.frac";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int nx = 1 + data[0] % 60, ny = 1 + data[1] % 60;
  const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
  {
    std::FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }

  // The lines of the file and what each reads as.
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    std::string r = text.substr(at, nl - at);
    while (!r.empty() && r.back() == '\r') r.pop_back();
    lines.push_back(r);
    at = nl + 1;
  }
  const int cells = nx * ny;
  // Line of the first value that cannot be read or is no water proportion
  // (a volume fraction strictly between 0 and 1); 0 if none.
  int first_bad = 0;
  for (int l = 1; l <= cells && l <= static_cast<int>(lines.size()); ++l) {
    const core::Field<double> v = core::read_e12_4(lines[l - 1]);
    if (!v.ok() || !(v.value > 0 && v.value < 1)) {
      first_bad = l;
      break;
    }
  }

  static core::RealField phiw;
  static core::IntField matnum;
  core::ByMaterial<double> phi_layer1;
  model::PorosityFile file(g_path.c_str());
  try {
    fuzz::stopping([&] { model::porosity(core::TestKind::compressional, nx, ny, phi_layer1, 1, phiw, matnum, file); });
  } catch (const fuzz::Stopped& s) {
    check(s.code == core::kStopInputError, "stop code " + std::to_string(s.code) + ": " + s.message);
    check(fuzz::contains(s.message, "porosity.frac"), "the message does not name the file: " + s.message);
    if (first_bad) {
      check(fuzz::contains(s.message, "line " + std::to_string(first_bad) + ":"),
            "line " + std::to_string(first_bad) + " cannot be read, but the message says: " + s.message);
    } else {
      check(static_cast<int>(lines.size()) < cells,
            "a file of " + std::to_string(lines.size()) + " readable lines refused for " + std::to_string(cells) +
                " cells: " + s.message);
      check(fuzz::contains(s.message, "ends before line " + std::to_string(lines.size() + 1)),
            "short file, but the message says: " + s.message);
    }
    return 0;
  }
  check(first_bad == 0, "line " + std::to_string(first_bad) + " cannot be read, but the file was accepted");
  check(static_cast<int>(lines.size()) >= cells, "a file of " + std::to_string(lines.size()) +
                                                      " lines accepted for " + std::to_string(cells) + " cells");
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j) {
      const int l = (k - 1) * nx + j;
      const double want = core::read_e12_4(lines[l - 1]).value;
      char buf[96];
      std::snprintf(buf, sizeof buf, "cell %d,%d holds %.17g, line %d reads %.17g", j, k, phiw(j, k), l, want);
      check(same(phiw(j, k), want) && phiw(j, k) > 0 && phiw(j, k) < 1, buf);
    }
  return 0;
}
