// Mass and friction coefficients: the worked ice cell, the mass identity, the
// friction determinants, the reports and the shear tests' plotting files.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "model/mass_visco_coef.hpp"
#include "support.hpp"

namespace {

using model_test::lines_of;
using model_test::make_sample;
using model_test::value_after;

using MassVisco = model_test::InTempDir;

std::string run(model_test::Sample& s, core::TestKind kind = core::TestKind::compressional, int cycle = 2) {
  return model_test::report_of(
      [&](core::TextOut& out) { model::mass_visco_coef(kind, s.deck, s.matnum, s.phiw, cycle, s.c, out); });
}

TEST_F(MassVisco, WorkedIceCellAndFrictionDeterminants) {
  // Water 0.1, absolute porosity 0.4: phi1 = 0.6, phi3 = 0.3, s1 = 2/3, s3 = 1/3.
  auto s = make_sample(model_test::ice_deck(1, 2));
  const std::string r = run(*s);
  const double ro = (920 * 0.3 + 1000 * 0.1) / 0.4;         // 940
  const double ro_prim = (2650 * 0.6 + 1000 * 0.1) / 0.7;   // 2414.29
  const double a1 = 1 + 0.5 * ro * 0.6 / (1000 * 0.1);      // 3.82
  const double a3 = 1 + 0.5 * ro_prim * 0.3 / (1000 * 0.1); // 4.6214
  EXPECT_NEAR(value_after(r, "  ro(Kgr/m^3)      ="), 940, 1e-7);
  EXPECT_NEAR(value_after(r, "  ro_prim(Kgr/m^3) ="), ro_prim, 1e-6);
  EXPECT_NEAR(s->c.p22(1, 1), (a1 + a3 - 1) * 1000 / 0.1, 1e-8);
  EXPECT_NEAR(s->c.p22(1, 1), 7.4414e4, 1);
  EXPECT_NEAR(s->c.p12(1, 1), 1000 * ((1 - a1) / 3 + a3 * 2 / 3), 1e-9);
  EXPECT_NEAR(s->c.p23(1, 1), 1000 * ((1 - a3) * 2 / 3 + a1 / 3), 1e-9);
  // Permeability of the grain pores: capa_1_0 Sw^3 with Sw = 0.25.
  EXPECT_NEAR(value_after(r, " capa_1=, "), 1e-12 / 64, 1e-27);

  // f22 = (b12 + b23) / phi^2, f11' f22 - f12^2 = b12 b23 / phi^2 + b13 f22, f11 = f11' + b13.
  std::istringstream b(r.substr(r.find(" coef_b12, coef_b23 ") + 20));
  double b12, b23;
  b >> b12 >> b23;
  const double phi = 0.1, b13 = 1e8, f22 = s->c.f22(1, 1);
  EXPECT_NEAR(f22, (b12 + b23) / (phi * phi), 1e-12 * f22);
  EXPECT_NEAR(value_after(r, " control1 (must be  positive)  = "), b12 * b23 / (phi * phi) + b13 * f22,
              1e-12 * b12 * b23 / (phi * phi));
  EXPECT_NEAR(value_after(r, " b11  = ") - value_after(r, " f11      = "), b13, 1e-6 * b13);
  EXPECT_EQ(value_after(r, " b11  = "), s->c.f11(1, 1));
}

TEST_F(MassVisco, SolidBlockOfTheMassMatrixAddsUpToTheCellDensity) {
  // p11 + 2 p13 + p33 = phi1 ro1 + phi ro2 + phi3 ro3 in both models, whatever the tortuosities.
  for (const core::Deck& d : {model_test::ice_deck(2, 4), model_test::shale_deck(2, 4)}) {
    auto s = make_sample(d);
    run(*s);
    for (int k = 1; k <= 4; ++k)
      for (int j = 1; j <= 2; ++j) {
        const int n = s->matnum(j, k);
        const double phi = s->phiw(j, k);
        const double phi3 = d.key_model == 0 ? d.phi_a(n) - phi : d.s3(n) * (1 - phi);
        const double phi1 = d.key_model == 0 ? 1 - d.phi_a(n) : 1 - phi - phi3;
        const double rho = phi1 * d.ro1(n) + phi * d.ro2(n) + phi3 * d.ro3(n);
        EXPECT_NEAR(s->c.p11(j, k) + 2 * s->c.p13(j, k) + s->c.p33(j, k), rho, 1e-9 * rho)
            << "key_model " << d.key_model << " cell " << j << "," << k;
      }
  }
}

TEST_F(MassVisco, ReportsOfBothTestsAndTheShearTestsFiles) {
  auto p = make_sample(model_test::shale_deck(2, 2)), s = make_sample(model_test::shale_deck(2, 2));
  const auto lp = lines_of(run(*make_sample(model_test::ice_deck(1, 2))));
  EXPECT_EQ(lp[0], " enters  mass_visco_coef  key_model  0");
  EXPECT_EQ(lp.back(), "");  // unlike the shear tests' report
  run(*p);
  const std::string rs = run(*s, core::TestKind::shear, 1);
  EXPECT_EQ(rs.find("enters"), std::string::npos);
  EXPECT_EQ(lines_of(rs).back().rfind(" control2 (must be  positive)  = ", 0), 0u);  // no empty line after it
  // Grain sizes rounded to single precision: the friction differs from the
  // compressional test's by that rounding only.
  const float r1 = 5e-5f;
  const double coef_b12 = 45 * 1e-3 * (1 - 0.25) * (0.9 * 0.75) / (double(r1 * r1) * 0.25);
  EXPECT_NEAR(value_after(rs, " coef_b12  "), coef_b12, 1e-12 * coef_b12);
  const double rel = std::abs(s->c.f22(1, 1) / p->c.f22(1, 1) - 1);
  EXPECT_GT(rel, 0);
  EXPECT_LT(rel, 1e-6);
  for (auto [name, field] : {std::pair{"b11_gnu", &s->c.f11}, {"b22_gnu", &s->c.f22}, {"b12_gnu", &s->c.f12}})
    model_test::expect_plot_file(name, *field, 2, 2);
}

}  // namespace
