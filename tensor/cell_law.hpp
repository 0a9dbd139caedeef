// The constitutive law of every cell of a sample at one frequency: the
// model's elastic, mass and friction coefficients of the cell's material at
// the cell's water proportion, for any number of materials.
#pragma once

#include <cstdint>
#include <vector>

#include "core/coefficients.hpp"
#include "core/deck.hpp"
#include "tensor/sample.hpp"

namespace tensor {

// A deck whose layer material 1 is `m`, for the model's routines.
core::Deck material_deck(int32_t key_model, const Material& m);

// Water proportion of cell (j, k), 1-based.
double cell_water(const Sample& s, int64_t j, int64_t k);

// Refuses (std::invalid_argument naming the cell, the material and the
// value) a sample whose cells cannot be split into solid 1, water and
// solid 3: a material number outside 1..materials, a water proportion
// outside (0, 1), or in the ice model not below the material's phi_a.
void check_sample(const Sample& s);

// The coefficients of every cell the sample holds at angular frequency
// omega, cell (j, k) at s.cell_at(j, k) (of a band, its rows alone). With the 3D Lame relations the cells' lambda1, lambda3
// and d3 are H - 2 mu/3 and B3 - mu13/3 instead of H - mu and B3 - mu13/2.
std::vector<core::CellCoefficients> cell_coefficients(const Sample& s, double omega);

// Mean density of the sample, kg/m3: the cells' phi ro2 + phi1 ro1 + phi3 ro3.
double mean_density(const Sample& s);
// The share of the band's cells in it (of a whole sample, the mean itself
// up to the order of the sum): their densities over the sample's cells.
double density_share(const Sample& s);

}  // namespace tensor
