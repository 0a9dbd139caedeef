#include "drivers/cell_data.hpp"

#include "core/angular_frequency.hpp"
#include "model/e_modulus.hpp"
#include "model/mass_visco_coef.hpp"
#include "model/material_map.hpp"

namespace drivers {

double angular_frequency(const core::Deck& deck) { return core::angular_frequency(deck.freq); }

void build_material_map(const ProgramSetup& setup, CellData& cd, core::TextOut& report) {
  core::Deck& d = cd.deck;
  model::makematnum(d.nx, d.ny, d.nl, cd.layer_size, d.h, cd.matnum, report);
  if (setup.kind == core::TestKind::shear) model::set_single_material(d.nx, d.ny, cd.matnum);
}

model::CellFractions fill_coefficients(const ProgramSetup& setup, CellData& cd, model::PorosityFile& porosity_file,
                                       double omega, int cycle, core::TextOut& report) {
  core::Deck& d = cd.deck;
  if (setup.kind == core::TestKind::shear) d.phi_layer1(1) = d.phi_layer1(2) = setup.imposed_water;
  model::porosity(setup.kind, d.nx, d.ny, d.phi_layer1, d.model, cd.phiw, cd.matnum, porosity_file);
  model::e_modulus(setup.kind, d, cd.matnum, cd.phiw, omega, cycle, cd.coef, report);
  return model::mass_visco_coef(setup.kind, d, cd.matnum, cd.phiw, cycle, cd.coef, report);
}

}  // namespace drivers
