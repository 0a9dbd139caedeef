// A sample of any size: its materials, which material fills each cell, the
// water proportion of each cell and the frequencies of the run. Built from a
// deck (layering or "porosity.frac"), a sample file (TOML) or a label image;
// read by the tests and the outputs of tensor_upscale.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tensor {

// One material: the fields of a deck's layer record, under the deck's names
// and in its units, and the label that marks it in an image.
struct Material {
  std::string name;     // as the sample file gives it; "layer 1" / "layer 2" from a deck
  int32_t label = 0;    // its value in the label image
  double akf = 0, ro2 = 0, eta = 0, ro1 = 0, ro3 = 0, phi_a = 0, phi_layer1 = 0, capa_1_0 = 0, capa_3_0 = 0,
         s3 = 0, rs1 = 0, rs3 = 0, coef_b13 = 0, ak_air = 0, xmu_air = 0, ak_s1 = 0, xmu_s1 = 0, ak_s3 = 0,
         xmu_s3 = 0;
};

enum class LameRelations { two_d, three_d };

// The test of the tensor: the sample repeated without end (periodic
// fluctuations about a macroscopic strain), or the sealed specimen between
// rollers and plates.
enum class Boundary { periodic, sealed };

struct Sample {
  int32_t key_model = 0;            // 0 ice (permafrost) model, 1 shaley-sand model
  int64_t nx = 0, ny = 0;           // cells along x and along y (y up)
  double h = 0;                     // cell side, m
  std::vector<Material> materials;  // numbered 1.. in this order
  // Material number (1-based index into materials) of cell (j, k) at
  // cell_at(j, k); k = 1 is the base row (an image's last row).
  std::vector<int32_t> material_of_cell;
  // Water proportion of each cell, same layout; empty: each material's phi_layer1.
  std::vector<double> water_of_cell;
  std::vector<double> frequencies;  // Hz
  LameRelations lame = LameRelations::two_d;
  std::optional<Boundary> boundary;  // the sample file's "boundary"; unset: the program's default
  // Every input file read, with the SHA-256 of its bytes, for the run record.
  std::vector<std::pair<std::string, std::string>> input_digests;

  // The cell rows the maps hold: every row, or in a job of several ranks
  // this rank's band first_row..last_row and the row above it (the cells
  // across the band's top edge), rows band_first() .. held_last().
  bool banded = false;
  int64_t first_row = 1, last_row = 0;
  int64_t band_first() const { return banded ? first_row : 1; }
  int64_t band_last() const { return banded ? last_row : ny; }
  int64_t held_last() const { return banded ? std::min(ny, last_row + 1) : ny; }
  std::size_t held_cells() const { return static_cast<std::size_t>(nx * (held_last() - band_first() + 1)); }
  std::size_t cell_at(int64_t j, int64_t k) const { return static_cast<std::size_t>((j - 1) + (k - band_first()) * nx); }
};

}  // namespace tensor
