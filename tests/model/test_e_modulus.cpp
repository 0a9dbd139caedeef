// Elastic coefficients: the mixing rule against the Hashin-Shtrikman bounds,
// the closed forms of the moduli over the dry frames, the report of cell
// (1,1) and the plotting files.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/fortran_edit.hpp"
#include "model/e_modulus.hpp"
#include "model/kt.hpp"
#include "support.hpp"

namespace {

using model_test::make_sample;

constexpr double kOmega = 2 * M_PI * 10;

// Hashin-Shtrikman bounds of a two-phase composite, phase 1 (fraction 1 - f)
// as reference: the textbook forms.
double hs_bulk(double k1, double mu1, double k2, double f) {
  return k1 + f / (1 / (k2 - k1) + 3 * (1 - f) / (3 * k1 + 4 * mu1));
}
double hs_shear(double k1, double mu1, double mu2, double f) {
  return mu1 + f / (1 / (mu2 - mu1) + 6 * (1 - f) * (k1 + 2 * mu1) / (5 * mu1 * (3 * k1 + 4 * mu1)));
}

TEST(Kt, IsTheHashinShtrikmanBoundWithTheMatrixAsReference) {
  struct Case { double km, mum, ki, mui, f; };
  const Case cases[] = {
      {3.6e10, 4.4e10, 1.42e5, 1e3, 0.4},   // quartz with empty pores
      {8.58e9, 3.32e9, 1.42e5, 1e3, 0.6},   // ice with empty pores
      {2.25e9, 1e6, 3.7e10, 4.4e10, 0.25},  // stiff inclusions in a soft matrix
      {3.6e10, 4.4e10, 1.42e5, 1e3, 0.0},   // the ends: the pure phases
      {8.58e9, 3.32e9, 1.42e5, 1e3, 1.0},
  };
  for (const Case& c : cases) {
    double k, mu;
    model::kt(c.km, c.mum, c.ki, c.mui, c.f, k, mu);
    const double tol = c.f == 1 ? 1e-9 : 1e-12;
    EXPECT_NEAR(k, hs_bulk(c.km, c.mum, c.ki, c.f), tol * c.km) << c.f;
    EXPECT_NEAR(mu, hs_shear(c.km, c.mum, c.mui, c.f), tol * c.mum) << c.f;
  }
}

using EModulus = model_test::InTempDir;

std::string run(model_test::Sample& s, double omega = kOmega, int cycle = 2, core::TestKind kind = core::TestKind::compressional) {
  return model_test::report_of(
      [&](core::TextOut& out) { model::e_modulus(kind, s.deck, s.matnum, s.phiw, omega, cycle, s.c, out); });
}

// The stored coefficients against the closed forms (H1 = KG1, H3 = KG3,
// b1 = alfa1 Kav, b2 = alfa3 Kav, B3 = alfa1 alfa3 Kav) over dry-frame bulk
// moduli worked out independently: Hashin-Shtrikman frames for ice, Krief's for
// shaley sand. Without fluid shear the ice frames' shear moduli are stored as is.
TEST_F(EModulus, CoefficientsMatchTheClosedFormsOverIndependentFrames) {
  for (const core::Deck& deck : {model_test::ice_deck(3, 4), model_test::shale_deck(2, 4)}) {
    auto s = make_sample(deck);
    const core::Deck& d = s->deck;
    const bool ice = d.key_model == 0;
    if (ice) s->deck.eta(1) = s->deck.eta(2) = 0;
    run(*s);
    for (int k = 1; k <= d.ny; ++k)
      for (int j = 1; j <= d.nx; ++j) {
        SCOPED_TRACE(testing::Message() << "key_model " << d.key_model << " cell " << j << "," << k);
        const int n = s->matnum(j, k);
        const double phi = s->phiw(j, k);
        const double s3 = ice ? (d.phi_a(n) - phi) / (1 - phi) : d.s3(n), s1 = 1 - s3;
        double km1, km3;
        if (ice) {
          const double phi1 = 1 - d.phi_a(n), p = std::pow((d.phi_a(n) - phi) / d.phi_a(n), 3.8);
          km1 = 1.44e10;
          km3 = p * hs_bulk(d.ak_s3(n), d.xmu_s3(n), d.ak_air(n), phi1);
          const double mu_hs1 = hs_shear(d.ak_s1(n), d.xmu_s1(n), d.xmu_air(n), 1 - phi1);
          EXPECT_NEAR(s->c.mu1(j, k), (mu_hs1 - 1.31e10) * p + 1.31e10, 1e-3);
          EXPECT_NEAR(s->c.mu3(j, k), p * hs_shear(d.ak_s3(n), d.xmu_s3(n), d.xmu_air(n), phi1), 1e-3);
          EXPECT_EQ(s->c.mu13(j, k), 0.0);
        } else {
          const double e = std::pow(1 - phi, 1 + 2 / (1 - phi));
          km1 = s1 * d.ak_s1(n) * e;
          km3 = s3 * d.ak_s3(n) * e;
        }
        const double kav = s->c.m(j, k), alfa1 = s1 - km1 / d.ak_s1(n), alfa3 = s3 - km3 / d.ak_s3(n);
        const double tol = 1e-12 * (km1 + kav);
        EXPECT_NEAR(s->c.b1(j, k), alfa1 * kav, tol);
        EXPECT_NEAR(s->c.b2(j, k), alfa3 * kav, tol);
        EXPECT_NEAR(s->c.lambda1(j, k) + s->c.mu1(j, k), km1 + alfa1 * alfa1 * kav, tol);
        EXPECT_NEAR(s->c.lambda3(j, k) + s->c.mu3(j, k), km3 + alfa3 * alfa3 * kav, tol);
        EXPECT_NEAR(s->c.d3(j, k) + s->c.mu13(j, k) / 2, alfa1 * alfa3 * kav, tol);
      }
  }
}

TEST_F(EModulus, FluidShearTermCouplesTheTwoFramesConsistently) {
  // mu1 - mu_m1 = ((1-g1) phi1)^2 muav, mu3 - mu_m3 = ((1-g3) phi3)^2 muav and
  // mu13 = (1-g1)(1-g3) phi1 phi3 muav, so mu13^2 = (mu1 - mu_m1)(mu3 - mu_m3).
  auto viscous = make_sample(model_test::shale_deck(1, 2)), dry = make_sample(model_test::shale_deck(1, 2)),
       still = make_sample(model_test::shale_deck(1, 2));
  viscous->deck.eta(1) = viscous->deck.eta(2) = 1e7;  // well above rounding
  dry->deck.eta(1) = dry->deck.eta(2) = 0;
  run(*viscous);
  run(*dry);
  run(*still, 0.0);  // zero frequency: an infinite fluid term, no coupling
  for (int k = 1; k <= 2; ++k) {
    const double mu13 = viscous->c.mu13(1, k);
    EXPECT_GT(mu13, 1e6);
    EXPECT_NEAR(mu13 * mu13, (viscous->c.mu1(1, k) - dry->c.mu1(1, k)) * (viscous->c.mu3(1, k) - dry->c.mu3(1, k)),
                1e-7 * mu13 * mu13);
    EXPECT_EQ(dry->c.mu13(1, k), 0.0);
    EXPECT_EQ(still->c.mu13(1, k), 0.0);
    EXPECT_EQ(still->c.mu1(1, k), dry->c.mu1(1, k));
  }
}

TEST_F(EModulus, ReportOfTheFirstCellAndPlottingFilesOnTheFirstStepOnly) {
  // Water 0.1 of absolute porosity 0.4: ice 0.3 of the pores' 0.4, Sw 0.25.
  auto s = make_sample(model_test::ice_deck(2, 3));
  const std::string r = run(*s);
  const auto l = model_test::lines_of(r);
  ASSERT_GT(l.size(), 30u);
  EXPECT_EQ(l[0].rfind(" ice content s3_prima= 0.75", 0), 0u) << l[0];
  EXPECT_EQ(l[1], " j,k, water saturation  Sw = 1 1 0.25");
  EXPECT_EQ(l[9], "porosity (water proportion)  =" + core::edit_g(0.1, 10, 5));
  EXPECT_EQ(l[11], "bulk solid 1 fraction phi1 en e_mod   =" + core::edit_g(0.6, 10, 5));
  EXPECT_EQ(l[12], "bulk solid 3 fraction phi3   =" + core::edit_g(0.3, 10, 5));
  EXPECT_EQ(l[13], "solid 1 matrix fraction s1 en e_mod  =" + core::edit_g(1 - 0.3 / 0.9, 10, 5));
  EXPECT_EQ(l[14], "solid 3 matrix fraction s3   =" + core::edit_g(0.3 / 0.9, 10, 5));
  // Values in GPa: the report's M is Kav / 1e9, its KG1 equals H1.
  EXPECT_NEAR(model_test::value_after(r, " M=k_av(Pa)        = "), s->c.m(1, 1) / 1e9, 1e-12);
  EXPECT_NEAR(model_test::value_after(r, " KG1(GPa)    = "), model_test::value_after(r, " H1=K_{G1}(GPa)     = "), 1e-12);
  EXPECT_EQ(r.find("Krief"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists("xmu1_gnu"));  // cycle 2

  run(*s, kOmega, 1);
  const std::pair<const char*, const core::RealField*> files[] = {
      {"xmu1_gnu", &s->c.mu1}, {"xmu3_gnu", &s->c.mu3}, {"xmu13_gnu", &s->c.mu13}, {"xlambda1_gnu", &s->c.lambda1},
      {"xlambda3_gnu", &s->c.lambda3}, {"b1_gnu", &s->c.b1}, {"b2_gnu", &s->c.b2}, {"xm_gnu", &s->c.m},
      {"d3_gnu", &s->c.d3}};
  for (auto [name, field] : files) model_test::expect_plot_file(name, *field, 2, 3);
}

}  // namespace
