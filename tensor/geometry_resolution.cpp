#include "tensor/geometry_resolution.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <utility>

#include "tensor/cell_law.hpp"

namespace tensor {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Refinement studies of doc/accuracy.md. Images (interfaces across both
// axes): 1000/Q converges at orders 0.6 to 2, its error an envelope
// kFeatureCoefficient / sqrt(cells per feature) over the random and patchy
// images, plus the diffusion's share while h <= l_p. Layers: the geometry
// is exact on the grid; 0.15 (h/l_p)^2 while h <= l_p, sqrt growth beyond.
constexpr double kFeatureCoefficient = 0.8;
constexpr double kDiffusionCoefficient = 0.15;

LawKey law_at(const Sample& s, int64_t j, int64_t k) { return {s.material_of_cell[s.cell_at(j, k)], cell_water(s, j, k)}; }

double intercept(double cells, double faces) { return faces > 0 ? 2 * cells / faces : kInf; }

}  // namespace

bool GeometryResolution::image() const { return std::isfinite(cells_per_feature_x) && std::isfinite(cells_per_feature_z); }

LawTally law_tally(const Sample& s) {
  LawTally laws;
  for (int64_t k = s.band_first(); k <= s.band_last(); ++k)
    for (int64_t j = 1; j <= s.nx; ++j) {
      const LawKey here = law_at(s, j, k);
      LawCounts& c = laws[here];
      c.cells += 1;
      if (j < s.nx && law_at(s, j + 1, k) != here) c.faces_x += 1, laws[law_at(s, j + 1, k)].faces_x += 1;
      if (k < s.ny && law_at(s, j, k + 1) != here) c.faces_z += 1, laws[law_at(s, j, k + 1)].faces_z += 1;
    }
  return laws;
}

GeometryResolution geometry_resolution(const Sample& s) { return resolution_of(law_tally(s)); }

GeometryResolution resolution_of(const LawTally& laws) {
  GeometryResolution g{kInf, kInf, kInf};
  for (const auto& [law, c] : laws) {
    g.cells_per_feature_x = std::min(g.cells_per_feature_x, intercept(c.cells, c.faces_x));
    g.cells_per_feature_z = std::min(g.cells_per_feature_z, intercept(c.cells, c.faces_z));
  }
  g.cells_per_feature = std::min(g.cells_per_feature_x, g.cells_per_feature_z);
  return g;
}

double expected_q1000_error(const GeometryResolution& g, double cells_per_diffusion_length) {
  if (!std::isfinite(g.cells_per_feature)) return 0;  // one cell law: no interface, no flow
  const double r = 1 / cells_per_diffusion_length;    // h / l_p
  if (!g.image()) return kDiffusionCoefficient * (r <= 1 ? r * r : std::sqrt(r));
  const double diffusion = kDiffusionCoefficient * std::min(r * r, 1.0);
  return kFeatureCoefficient / std::sqrt(g.cells_per_feature) + diffusion;
}

std::string resolution_summary(const GeometryResolution& g, const std::vector<FrequencyResolution>& freqs) {
  const FrequencyResolution* worst = nullptr;
  const FrequencyResolution* fewest = nullptr;
  double lo = kInf, hi = -kInf;
  std::size_t count = 0;
  for (const FrequencyResolution& f : freqs) {
    if (!(f.expected_error > kUnresolvedQ1000Error)) continue;
    ++count, lo = std::min(lo, f.freq_hz), hi = std::max(hi, f.freq_hz);
    if (!worst || f.expected_error > worst->expected_error) worst = &f;
    if (!fewest || f.cells_per_diffusion_length < fewest->cells_per_diffusion_length) fewest = &f;
  }
  if (!worst) return "";
  char range[96];
  if (lo == hi) std::snprintf(range, sizeof range, "at %g Hz", lo);
  else std::snprintf(range, sizeof range, "from %g to %g Hz (%zu of %zu frequencies)", lo, hi, count, freqs.size());
  char text[768];
  std::snprintf(text, sizeof text,
                "warning: the grid does not resolve the sample %s: cells per feature = %.3g, fewest cells per "
                "diffusion length = %.3g (at %g Hz); expect an error of up to %.2g %% in 1000/Q (at %g Hz; "
                "doc/accuracy.md); use more cells per feature or per length, --estimate-error measures it",
                range, g.cells_per_feature, fewest->cells_per_diffusion_length, fewest->freq_hz,
                100 * worst->expected_error, worst->freq_hz);
  return text;
}

}  // namespace tensor
