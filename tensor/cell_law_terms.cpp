#include "tensor/cell_law_terms.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "model/e_modulus.hpp"
#include "model/fractions.hpp"
#include "model/mass_visco_coef.hpp"
#include "tensor/cell_law.hpp"

namespace tensor {

namespace {

// The law of one cell split into its parts; `viscous` says whether muav is not identically 0.
void split_cell(const Sample& s, const core::Deck& d, double phi, core::CellCoefficients& fixed,
                core::CellCoefficients& unit, core::CellCoefficients& friction, bool& viscous) {
  const model::CellFractions f = model::split_fractions_checked(d, 1, phi);
  // Any frequency: only muav depends on it, and the fixed part is read with muav taken out.
  const model::ElasticCell e = model::elastic_cell(d, 1, phi, f, 1.0);
  const model::MassCell m = model::mass_cell(core::TestKind::compressional, d, 1, phi, f);
  const bool three_d = s.lame == LameRelations::three_d;
  const double a1 = (1.0 - e.g1) * f.phi1, a3 = (1.0 - e.g3) * f.phi3;
  // The Lame relations are linear in the shear moduli: the fixed part from
  // H, B3 and the frequency-free moduli, the unit part from the moduli alone.
  fixed = {}, unit = {}, friction = {};
  fixed.mu1 = e.mum1, fixed.mu3 = e.mum3, fixed.mu13 = 0.0;
  fixed.lambda1 = model::lame_lambda(three_d, e.H1, e.mum1), fixed.lambda3 = model::lame_lambda(three_d, e.H3, e.mum3);
  fixed.d3 = model::lame_d3(three_d, e.B3, 0.0);
  fixed.b1 = e.B1, fixed.b2 = e.B2, fixed.m = e.M;
  unit.mu1 = a1 * a1, unit.mu3 = a3 * a3, unit.mu13 = a1 * a3;
  unit.lambda1 = model::lame_lambda(three_d, 0.0, unit.mu1), unit.lambda3 = model::lame_lambda(three_d, 0.0, unit.mu3);
  unit.d3 = model::lame_d3(three_d, 0.0, unit.mu13);
  friction.f11 = m.f11, friction.f12 = m.f12, friction.f22 = m.f22;
  viscous = d.eta(1) > 0.0;
}

}  // namespace

CellLawTerms cell_law_terms(const Sample& s) {
  std::vector<core::Deck> decks;
  for (const Material& m : s.materials) decks.push_back(material_deck(s.key_model, m));
  CellLawTerms t;
  const std::size_t cells = s.held_cells();
  t.group_of_cell.assign(cells, -1);
  t.fixed.resize(cells), t.unit.resize(cells), t.friction.resize(cells);
  std::map<std::pair<int32_t, double>, std::size_t> first;  // a cell already split with the same law
  for (int64_t k = s.band_first(); k <= s.held_last(); ++k)
    for (int64_t j = 1; j <= s.nx; ++j) {
      const std::size_t c = s.cell_at(j, k);
      const int32_t material = s.material_of_cell[c] - 1;
      const double phi = cell_water(s, j, k);
      const std::pair<int32_t, double> key{material, phi};
      if (const auto same = first.find(key); same != first.end()) {
        t.fixed[c] = t.fixed[same->second], t.unit[c] = t.unit[same->second], t.friction[c] = t.friction[same->second];
        t.group_of_cell[c] = t.group_of_cell[same->second];
        continue;
      }
      bool viscous = false;
      split_cell(s, decks[static_cast<std::size_t>(material)], phi, t.fixed[c], t.unit[c], t.friction[c], viscous);
      first.emplace(key, c);
      if (!viscous) continue;
      t.group_of_cell[c] = static_cast<int32_t>(t.groups.size());
      t.groups.push_back({material, phi});
    }
  return t;
}

std::vector<double> group_muav(const Sample& s, const CellLawTerms& t, double omega) {
  std::vector<double> mu;
  for (const CellLawTerms::Group& g : t.groups) {
    const core::Deck d = material_deck(s.key_model, s.materials[static_cast<std::size_t>(g.material)]);
    const model::CellFractions f = model::split_fractions_checked(d, 1, g.water);
    mu.push_back(model::elastic_cell(d, 1, g.water, f, omega).muav);
  }
  return mu;
}

namespace {

// Principal minors of a symmetric 3 x 3 (or 2 x 2 with the third row zero)
// all >= -slack times the scale: positive semidefinite.
bool semidefinite3(const double m[3][3], double slack) {
  const double scale = std::max({std::abs(m[0][0]), std::abs(m[1][1]), std::abs(m[2][2]), 1e-300});
  const double tol = slack * scale;
  for (int i = 0; i < 3; ++i)
    if (m[i][i] < -tol) return false;
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j)
      if (m[i][i] * m[j][j] - m[i][j] * m[i][j] < -tol * scale) return false;
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[1][2]) -
                     m[0][1] * (m[0][1] * m[2][2] - m[1][2] * m[0][2]) +
                     m[0][2] * (m[0][1] * m[1][2] - m[1][1] * m[0][2]);
  return det >= -tol * scale * scale;
}

}  // namespace

bool energy_semidefinite(const core::CellCoefficients& c, double slack) {
  // 2W = volumetric form of (th1, th3, div w) + 4 x deviatoric form of the two solids' deviators.
  const double vol[3][3] = {{c.lambda1 + c.mu1, c.d3 + c.mu13 / 2, c.b1},
                            {c.d3 + c.mu13 / 2, c.lambda3 + c.mu3, c.b2},
                            {c.b1, c.b2, c.m}};
  const double dev[3][3] = {{c.mu1, c.mu13 / 2, 0}, {c.mu13 / 2, c.mu3, 0}, {0, 0, 0}};
  const double fr[3][3] = {{c.f11, -c.f12, 0}, {-c.f12, c.f22, 0}, {0, 0, 0}};
  return semidefinite3(vol, slack) && semidefinite3(dev, slack) && semidefinite3(fr, slack);
}

}  // namespace tensor
