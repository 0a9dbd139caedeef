#include "tensor/cell_law.hpp"

#include <stdexcept>
#include <string>

#include "model/average_density.hpp"
#include "model/e_modulus.hpp"
#include "model/fractions.hpp"
#include "model/mass_visco_coef.hpp"

namespace tensor {

core::Deck material_deck(int32_t key_model, const Material& m) {
  core::Deck d;
  d.key_model = key_model;
  d.nlayers = 1;
  d.akf(1) = m.akf, d.ro2(1) = m.ro2, d.eta(1) = m.eta, d.ro1(1) = m.ro1, d.ro3(1) = m.ro3;
  d.phi_a(1) = m.phi_a, d.phi_layer1(1) = m.phi_layer1, d.capa_1_0(1) = m.capa_1_0, d.capa_3_0(1) = m.capa_3_0;
  d.s3(1) = m.s3, d.rs1(1) = m.rs1, d.rs3(1) = m.rs3, d.coef_b13(1) = m.coef_b13;
  d.ak_air(1) = m.ak_air, d.xmu_air(1) = m.xmu_air, d.ak_s1(1) = m.ak_s1, d.xmu_s1(1) = m.xmu_s1;
  d.ak_s3(1) = m.ak_s3, d.xmu_s3(1) = m.xmu_s3;
  return d;
}

namespace {

std::size_t at(const Sample& s, int64_t j, int64_t k) { return s.cell_at(j, k); }

const Material& material_of(const Sample& s, int64_t j, int64_t k) {
  return s.materials[static_cast<std::size_t>(s.material_of_cell[at(s, j, k)] - 1)];
}

}  // namespace

double cell_water(const Sample& s, int64_t j, int64_t k) {
  return s.water_of_cell.empty() ? material_of(s, j, k).phi_layer1 : s.water_of_cell[at(s, j, k)];
}

void check_sample(const Sample& s) {
  const std::size_t cells = s.held_cells();
  if (s.nx < 1 || s.ny < 1 || s.material_of_cell.size() != cells ||
      !(s.water_of_cell.empty() || s.water_of_cell.size() == cells))
    throw std::invalid_argument("sample: " + std::to_string(s.nx) + " x " + std::to_string(s.ny) +
                                " cells with " + std::to_string(s.material_of_cell.size()) +
                                " material numbers and " + std::to_string(s.water_of_cell.size()) +
                                " water proportions; one of each per cell was expected");
  if (!(s.h > 0)) throw std::invalid_argument("sample: cell side h = " + std::to_string(s.h) + " m, expected > 0");
  for (int64_t k = s.band_first(); k <= s.held_last(); ++k)
    for (int64_t j = 1; j <= s.nx; ++j) {
      const std::string cell = "sample: cell j,k = " + std::to_string(j) + "," + std::to_string(k);
      const int32_t n = s.material_of_cell[at(s, j, k)];
      if (n < 1 || n > static_cast<int32_t>(s.materials.size()))
        throw std::invalid_argument(cell + " has material number " + std::to_string(n) + ", expected 1.." +
                                    std::to_string(s.materials.size()));
      const Material& m = material_of(s, j, k);
      const double phi = cell_water(s, j, k);
      if (!(phi > 0 && phi < 1))
        throw std::invalid_argument(cell + " (material \"" + m.name + "\") has the water proportion " +
                                    std::to_string(phi) + ", expected within (0, 1)");
      if (s.key_model == 0 && !(m.phi_a - phi > 0 && m.phi_a - phi < 1))
        throw std::invalid_argument(cell + " (material \"" + m.name + "\") has the water proportion " +
                                    std::to_string(phi) + ", not below the absolute porosity phi_a = " +
                                    std::to_string(m.phi_a) + ": no room for ice");
    }
}

std::vector<core::CellCoefficients> cell_coefficients(const Sample& s, double omega) {
  std::vector<core::Deck> decks;
  for (const Material& m : s.materials) decks.push_back(material_deck(s.key_model, m));
  const bool three_d = s.lame == LameRelations::three_d;
  std::vector<core::CellCoefficients> c(s.held_cells());
  for (int64_t k = s.band_first(); k <= s.held_last(); ++k)
    for (int64_t j = 1; j <= s.nx; ++j) {
      const core::Deck& d = decks[static_cast<std::size_t>(s.material_of_cell[at(s, j, k)] - 1)];
      const double phi = cell_water(s, j, k);
      const model::CellFractions f = model::split_fractions_checked(d, 1, phi);
      const model::ElasticCell e = model::elastic_cell(d, 1, phi, f, omega);
      const model::MassCell m = model::mass_cell(core::TestKind::compressional, d, 1, phi, f);
      core::CellCoefficients& x = c[at(s, j, k)];
      x = {e.lambda1, e.lambda3, e.mu1, e.mu3, e.mu13, e.B1, e.B2, e.M, e.d3, m.p11, m.p12, m.p13,
           m.p22,     m.p23,     m.p33, m.f11, m.f12,  m.f22};
      if (three_d) {
        const model::Lame3d l = model::lame_3d(e);
        x.lambda1 = l.lambda1, x.lambda3 = l.lambda3, x.d3 = l.d3;
      }
    }
  return c;
}

double density_share(const Sample& s) {
  std::vector<core::Deck> decks;
  for (const Material& m : s.materials) decks.push_back(material_deck(s.key_model, m));
  const double cells = static_cast<double>(s.nx * s.ny);
  double sum = 0.0;
  for (int64_t k = s.band_first(); k <= s.band_last(); ++k)
    for (int64_t j = 1; j <= s.nx; ++j) {
      const core::Deck& d = decks[static_cast<std::size_t>(s.material_of_cell[at(s, j, k)] - 1)];
      sum += model::cell_density(d, 1, cell_water(s, j, k)) / cells;
    }
  return sum;
}

double mean_density(const Sample& s) {
  if (s.banded) throw std::logic_error("mean_density: the sample holds a band of its rows; sum density_share over the bands");
  std::vector<core::Deck> decks;
  for (const Material& m : s.materials) decks.push_back(material_deck(s.key_model, m));
  return model::mean_over_cells(s.nx, s.ny, [&](int64_t j, int64_t k) {
    const core::Deck& d = decks[static_cast<std::size_t>(s.material_of_cell[at(s, j, k)] - 1)];
    return model::cell_density(d, 1, cell_water(s, j, k));
  });
}

}  // namespace tensor
