// Every stop of the model with its code and message, and the cases that
// only warn.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "model/e_modulus.hpp"
#include "model/mass_visco_coef.hpp"
#include "model/material_map.hpp"
#include "support.hpp"

namespace {

using model_test::make_sample;
using model_test::Sample;
using K = core::TestKind;
using Spoil = std::function<void(Sample&)>;

constexpr double kOmega = 2 * M_PI * 10;

std::function<void()> e_modulus(bool ice, Spoil spoil, K kind = K::compressional) {
  return [=] {
    auto s = make_sample(ice ? model_test::ice_deck(1, 2) : model_test::shale_deck(1, 2));
    spoil(*s);
    model_test::stdout_to_stderr();
    model::e_modulus(kind, s->deck, s->matnum, s->phiw, kOmega, 2, s->c, core::TextOut::report());
  };
}

std::function<void()> mass_visco(double b13) {
  return [=] {
    auto s = make_sample(model_test::ice_deck(1, 2));
    s->deck.coef_b13(1) = b13;
    model_test::stdout_to_stderr();
    model::mass_visco_coef(K::compressional, s->deck, s->matnum, s->phiw, 2, s->c, core::TextOut::report());
  };
}

// Writes and checks the map of a 2-column sample, row `zero` (if any) set to 0.
std::function<void()> map_check(int ny, int nlayers, int zero = 0) {
  return [=] {
    auto s = make_sample(model_test::shale_deck(2, ny));
    if (nlayers == 0) model::set_single_material(2, ny, s->matnum);
    if (zero) s->matnum(1, zero) = s->matnum(2, zero) = 0;
    model_test::stdout_to_stderr();
    core::TextOut map("matnum_p33"), gnu("matnum_p33_gnu");
    model::write_and_check_matnum(map, gnu, 2, ny, nlayers, s->matnum, core::TextOut::report());
  };
}

Spoil grains(int n, double f) {
  return [=](Sample& s) { s.deck.xmu_s1(n) = f * s.deck.ak_s1(n); };
}

using Stops = model_test::InTempDir;

TEST_F(Stops, EachWithItsCodeAndMessage) {
  // control1 = b12 b23 / phi^2 + b13 f22 < 0 below b13 = -t; control2 = control1
  // + b13 f22 fails first between -t and -t/2.
  auto probe = make_sample(model_test::ice_deck(1, 2));
  const std::string r = model_test::report_of([&](core::TextOut& out) {
    model::mass_visco_coef(K::compressional, probe->deck, probe->matnum, probe->phiw, 2, probe->c, out);
  });
  std::istringstream b(r.substr(r.find(" coef_b12, coef_b23 ") + 20));
  double b12, b23;
  b >> b12 >> b23;
  const double t = b12 * b23 / (b12 + b23);

  struct Case { const char* what; std::function<void()> die; int code; const char* message; };
  const Case cases[] = {
      // Ice without ice or beyond its porosity, in the second cell (after the first one's report).
      {"no ice", e_modulus(true, [](Sample& s) { s.phiw(1, 2) = 0.4; }), 45678, "STOP 45678"},
      {"water beyond porosity", e_modulus(true, [](Sample& s) { s.phiw(1, 2) = 0.41; }), 45678, "STOP 45678"},
      // The two solid fractions cancel to rounding.
      {"absurd shale", e_modulus(false, [](Sample& s) { s.deck.s3(2) = 1e17; }), 555, "STOP 555"},
      // Grains far stiffer in shear than in compression: lambda < 0 in the first cell, warned twice.
      {"lambda1 < 0", e_modulus(false, grains(1, 20)), 12345,
       "neg. lambda1 j,k    1 1 -[0-9.e+]+\n(.*\n)+ mu13\\(GPA\\).*\n\n  neg. lambda1 j,k    1 1 .*\nSTOP 12345"},
      {"lambda3 < 0", e_modulus(false, [](Sample& s) { s.deck.xmu_s3(1) = 20 * s.deck.ak_s3(1); }), 12346,
       "mu13\\(GPA\\)          = [^\n]*\n\nSTOP 12346"},
      // A negative grain shear modulus in the upper layer, in both tests' wordings.
      {"energy, 45687", e_modulus(false, grains(2, -2)), 45687,
       " j,k, strain energy not positive definite  1 2\nSTOP 45687"},
      {"energy, 45687 shear", e_modulus(false, grains(2, -2), K::shear), 45687,
       "\n  strain energy not positive definite \nSTOP 45687"},
      {"energy, 45688", e_modulus(false, grains(2, -0.1)), 45688,
       "  j,k,strain energy not positive definite 1 2\nSTOP 45688"},
      {"energy, 45688 shear", e_modulus(false, grains(2, -0.1), K::shear), 45688,
       "\n  strain energy not positive definite\nSTOP 45688"},
      {"control1", mass_visco(-1.5 * t), 99999,
       " f22      = [^\n]*\n control1 \\(must be  positive\\)  = -[^\n]*\nSTOP 99999"},
      {"control2", mass_visco(-0.75 * t), 99998,
       " b22  = [^\n]*\n control2 \\(must be  positive\\)  = -[^\n]*\nSTOP 99998"},
      // Material 0 (rows beyond the last period); nlayers = 0 refuses even the single material;
      // two layers but one material in the deck: the first cell of layer 2 (k outer).
      {"material 0", map_check(11, 2, 11), 222, "j,k, matnum\\(j,k\\)  1 11 0"},
      {"no layers", map_check(2, 0), 222, "j,k, matnum\\(j,k\\)  1 1 1"},
      {"material 2 of 1", map_check(5, 1), 222, "j,k, matnum\\(j,k\\)  1 3 2"},
  };
  for (const Case& c : cases) EXPECT_EXIT(c.die(), ::testing::ExitedWithCode(c.code & 255), c.message) << c.what;
  // The last map was written up to the offending cell.
  EXPECT_EQ(model_test::slurp("matnum_p33"), " 1\n 1\n 1\n 1\n 2\n");
  EXPECT_EQ(model_test::slurp("matnum_p33_gnu"), " 1 1 1\n 2 1 1\n 1 2 1\n 2 2 1\n 1 3 2\n");
}

TEST_F(Stops, OnlyTheFirstCellStops) {
  auto lambda = make_sample(model_test::shale_deck(1, 2));
  grains(2, 20)(*lambda);
  const std::string r = model_test::report_of([&](core::TextOut& out) {
    model::e_modulus(K::compressional, lambda->deck, lambda->matnum, lambda->phiw, kOmega, 2, lambda->c, out);
  });
  EXPECT_NE(r.find("  neg. lambda1 j,k    1 2 -"), std::string::npos) << r;
  EXPECT_LT(lambda->c.lambda1(1, 2), 0);

  auto friction = make_sample(model_test::ice_deck(1, 2));
  friction->deck.coef_b13(2) = -1e20;
  model_test::report_of([&](core::TextOut& out) {
    model::mass_visco_coef(K::compressional, friction->deck, friction->matnum, friction->phiw, 2, friction->c, out);
  });
  EXPECT_LT(friction->c.f11(1, 2), 0);
}

}  // namespace
