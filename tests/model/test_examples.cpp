// The example materials pass every check of the model in all three programs.
#include <gtest/gtest.h>

#include "model/average_density.hpp"
#include "model/e_modulus.hpp"
#include "model/mass_visco_coef.hpp"
#include "model/material_map.hpp"
#include "model/porosity.hpp"
#include "support.hpp"

namespace {

using model_test::InTempDir;

using Examples = InTempDir;

// makematnum, porosity, e_modulus, mass_visco_coef and the mean density of
// one program on the full 60 x 60 grid; any stop ends the test binary.
double run_program(core::Deck d, core::TestKind kind, double phi_imposed) {
  auto s = model_test::make_sample(d);
  core::ByMaterial<double> layer_size;
  core::TextOut out("report.txt");
  model::makematnum(d.nx, d.ny, d.nl, layer_size, d.h, s->matnum, out);
  if (kind == core::TestKind::shear) {
    model::set_single_material(d.nx, d.ny, s->matnum);
    s->deck.phi_layer1(1) = s->deck.phi_layer1(2) = phi_imposed;
  }
  {
    core::TextOut map("matnum_p33"), gnu("matnum_p33_gnu");
    model::write_and_check_matnum(map, gnu, d.nx, d.ny, d.nlayers, s->matnum, out);
  }
  model::PorosityFile file;
  model::porosity(kind, d.nx, d.ny, s->deck.phi_layer1, d.model, s->phiw, s->matnum, file);
  model::e_modulus(kind, s->deck, s->matnum, s->phiw, 2 * M_PI * d.freq, 1, s->c, out);
  model::mass_visco_coef(kind, s->deck, s->matnum, s->phiw, 1, s->c, out);
  return model::average_density(s->deck, s->matnum, s->phiw, out);
}

TEST_F(Examples, IceAndShaleySandDecksRunInEveryProgram) {
  for (const core::Deck& d : {model_test::ice_deck(60, 60), model_test::shale_deck(60, 60)}) {
    const double p = run_program(d, core::TestKind::compressional, 0);
    const double s1 = run_program(d, core::TestKind::shear, 0.2);
    const double s2 = run_program(d, core::TestKind::shear, 0.28);
    EXPECT_GT(p, 1900);
    EXPECT_LT(p, 2400);
    // More water: in place of ice (920 kg/m3) heavier, in place of grains lighter.
    if (d.key_model == 0) {
      EXPECT_LT(s1, s2);
    } else {
      EXPECT_GT(s1, s2);
    }
  }
  EXPECT_NEAR(run_program(model_test::ice_deck(60, 60), core::TestKind::compressional, 0), 1974, 1e-9);
}

}  // namespace
