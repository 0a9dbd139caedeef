// Elastic coefficients: the mixing rule against the Hashin-Shtrikman bounds,
// the closed forms of the moduli, the dry frames, the checks and stops, the
// report of cell (1,1) and the plotting files.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "core/fortran_edit.hpp"
#include "model/e_modulus.hpp"
#include "model/kt.hpp"
#include "support.hpp"

namespace {

using model_test::InTempDir;
using model_test::lines_of;
using model_test::make_sample;
using model_test::report_of;
using model_test::slurp;

constexpr double kOmega = 2 * M_PI * 10;

// Hashin-Shtrikman bounds of a two-phase composite, with phase 1 (fraction
// 1 - f) as reference: the textbook forms.
double hs_bulk(double k1, double mu1, double k2, double f) {
  return k1 + f / (1 / (k2 - k1) + 3 * (1 - f) / (3 * k1 + 4 * mu1));
}
double hs_shear(double k1, double mu1, double mu2, double f) {
  return mu1 + f / (1 / (mu2 - mu1) + 6 * (1 - f) * (k1 + 2 * mu1) / (5 * mu1 * (3 * k1 + 4 * mu1)));
}

TEST(Kt, IsTheHashinShtrikmanBoundWithTheMatrixAsReference) {
  struct Case { double km, mum, ki, mui, f; };
  const Case cases[] = {
      {3.6e10, 4.4e10, 1.42e5, 1e3, 0.4},    // quartz with empty pores
      {8.58e9, 3.32e9, 1.42e5, 1e3, 0.6},    // ice with empty pores
      {2.25e9, 1e6, 3.7e10, 4.4e10, 0.25},   // stiff inclusions in a soft matrix
  };
  for (const Case& c : cases) {
    double k, mu;
    model::kt(c.km, c.mum, c.ki, c.mui, c.f, k, mu);
    EXPECT_NEAR(k, hs_bulk(c.km, c.mum, c.ki, c.f), 1e-12 * c.km);
    EXPECT_NEAR(mu, hs_shear(c.km, c.mum, c.mui, c.f), 1e-12 * c.mum);
    // The ends of the mixture are the pure phases.
    model::kt(c.km, c.mum, c.ki, c.mui, 0.0, k, mu);
    EXPECT_NEAR(k, c.km, 1e-12 * c.km);
    EXPECT_NEAR(mu, c.mum, 1e-12 * c.mum);
    model::kt(c.km, c.mum, c.ki, c.mui, 1.0, k, mu);
    EXPECT_NEAR(k, c.ki, 1e-9 * c.km);
    EXPECT_NEAR(mu, c.mui, 1e-9 * c.mum);
  }
}

using EModulus = InTempDir;

std::string run(model_test::Sample& s, double omega = kOmega, int cycle = 2,
                core::TestKind kind = core::TestKind::compressional) {
  return report_of([&](core::TextOut& out) { model::e_modulus(kind, s.deck, s.matnum, s.phiw, omega, cycle, s.c, out); });
}

// The stored coefficients against the closed forms of the relative-fluid
// moduli (H1 = KG1, H3 = KG3, b1 = alfa1 Kav, b2 = alfa3 Kav, B3 = alfa1 alfa3
// Kav), with the dry-frame bulk moduli worked out independently.
void expect_closed_forms(const model_test::Sample& s, int j, int k, double km1, double km3) {
  const int n = s.matnum(j, k);
  const core::Deck& d = s.deck;
  const double phi = s.phiw(j, k);
  double s1, s3;
  if (d.key_model == 0) {
    s3 = (d.phi_a(n) - phi) / (1 - phi);
  } else {
    s3 = d.s3(n);
  }
  s1 = 1 - s3;
  const double kav = s.c.m(j, k);
  const double alfa1 = s1 - km1 / d.ak_s1(n), alfa3 = s3 - km3 / d.ak_s3(n);
  const double tol = 1e-12 * (km1 + kav);
  EXPECT_NEAR(s.c.b1(j, k), alfa1 * kav, tol) << j << "," << k;
  EXPECT_NEAR(s.c.b2(j, k), alfa3 * kav, tol) << j << "," << k;
  EXPECT_NEAR(s.c.lambda1(j, k) + s.c.mu1(j, k), km1 + alfa1 * alfa1 * kav, tol) << j << "," << k;
  EXPECT_NEAR(s.c.lambda3(j, k) + s.c.mu3(j, k), km3 + alfa3 * alfa3 * kav, tol) << j << "," << k;
  EXPECT_NEAR(s.c.d3(j, k) + s.c.mu13(j, k) / 2, alfa1 * alfa3 * kav, tol) << j << "," << k;
}

TEST_F(EModulus, IceModelMatchesClosedFormsAndHashinShtrikmanFrames) {
  auto s = make_sample(model_test::ice_deck(3, 4));
  s->deck.eta(1) = s->deck.eta(2) = 0;  // no fluid shear term: mu = dry-frame shear moduli
  run(*s);
  const core::Deck& d = s->deck;
  for (int k = 1; k <= 4; ++k)
    for (int j = 1; j <= 3; ++j) {
      const int n = s->matnum(j, k);
      const double phi = s->phiw(j, k);
      const double phi1 = 1 - d.phi_a(n), phi3 = d.phi_a(n) - phi;
      const double p = std::pow(phi3 / d.phi_a(n), 3.8);
      const double km3 = p * hs_bulk(d.ak_s3(n), d.xmu_s3(n), d.ak_air(n), phi1);
      expect_closed_forms(*s, j, k, 1.44e10, km3);
      const double mu_hs1 = hs_shear(d.ak_s1(n), d.xmu_s1(n), d.xmu_air(n), 1 - phi1);
      EXPECT_NEAR(s->c.mu1(j, k), (mu_hs1 - 1.31e10) * p + 1.31e10, 1e-3);
      EXPECT_NEAR(s->c.mu3(j, k), p * hs_shear(d.ak_s3(n), d.xmu_s3(n), d.xmu_air(n), phi1), 1e-3);
      EXPECT_EQ(s->c.mu13(j, k), 0.0);
    }
}

TEST_F(EModulus, ShaleyModelMatchesClosedFormsAndKriefFrames) {
  auto s = make_sample(model_test::shale_deck(2, 4));
  run(*s);
  const core::Deck& d = s->deck;
  for (int k = 1; k <= 4; ++k)
    for (int j = 1; j <= 2; ++j) {
      const int n = s->matnum(j, k);
      const double phi = s->phiw(j, k);
      const double e = std::pow(1 - phi, 1 + 2 / (1 - phi));
      expect_closed_forms(*s, j, k, (1 - d.s3(n)) * d.ak_s1(n) * e, d.s3(n) * d.ak_s3(n) * e);
    }
}

TEST_F(EModulus, FluidShearTermCouplesTheTwoFramesConsistently) {
  // mu1 - mu_m1 = ((1-g1) phi1)^2 muav, mu3 - mu_m3 = ((1-g3) phi3)^2 muav and
  // mu13 = (1-g1)(1-g3) phi1 phi3 muav, so mu13^2 = (mu1 - mu_m1)(mu3 - mu_m3).
  auto viscous = make_sample(model_test::shale_deck(1, 2));
  viscous->deck.eta(1) = viscous->deck.eta(2) = 1e7;  // a strong fluid term, well above rounding
  auto dry = make_sample(model_test::shale_deck(1, 2));
  dry->deck.eta(1) = dry->deck.eta(2) = 0;
  run(*viscous);
  run(*dry);
  for (int k = 1; k <= 2; ++k) {
    const double dmu1 = viscous->c.mu1(1, k) - dry->c.mu1(1, k);
    const double dmu3 = viscous->c.mu3(1, k) - dry->c.mu3(1, k);
    const double mu13 = viscous->c.mu13(1, k);
    EXPECT_GT(mu13, 1e6);
    EXPECT_NEAR(mu13 * mu13, dmu1 * dmu3, 1e-7 * mu13 * mu13);
    EXPECT_EQ(dry->c.mu13(1, k), 0.0);
  }
  // At zero frequency the fluid term is infinite and the coupling vanishes.
  auto still = make_sample(model_test::shale_deck(1, 2));
  run(*still, 0.0);
  EXPECT_EQ(still->c.mu13(1, 1), 0.0);
  EXPECT_EQ(still->c.mu1(1, 1), dry->c.mu1(1, 1));
}

TEST_F(EModulus, ReportOfTheFirstCellAndPlottingFilesOnTheFirstStepOnly) {
  // Water 0.1 of absolute porosity 0.4: ice 0.3 of the pores' 0.4, Sw 0.25.
  auto s = make_sample(model_test::ice_deck(2, 3));
  const auto l = lines_of(run(*s));
  ASSERT_GT(l.size(), 30u);
  EXPECT_EQ(l[0].rfind(" ice content s3_prima= 0.75", 0), 0u) << l[0];
  EXPECT_EQ(l[1], " j,k, water saturation  Sw = 1 1 0.25");
  EXPECT_EQ(l[9], "porosity (water proportion)  =" + core::edit_g(0.1, 10, 5));
  EXPECT_EQ(l[11], "bulk solid 1 fraction phi1 en e_mod   =" + core::edit_g(0.6, 10, 5));
  EXPECT_EQ(l[12], "bulk solid 3 fraction phi3   =" + core::edit_g(0.3, 10, 5));
  EXPECT_EQ(l[13], "solid 1 matrix fraction s1 en e_mod  =" + core::edit_g(1 - 0.3 / 0.9, 10, 5));
  EXPECT_EQ(l[14], "solid 3 matrix fraction s3   =" + core::edit_g(0.3 / 0.9, 10, 5));
  // Values in GPa: the report's M is Kav / 1e9, its KG1 equals H1.
  const std::string r = slurp("report.txt");
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

TEST_F(EModulus, ShearTestsAddTheConsolidationBlockAfterTheKriefLine) {
  auto s = make_sample(model_test::shale_deck(1, 2));
  const auto l = lines_of(run(*s, kOmega, 2, core::TestKind::shear));
  ASSERT_GT(l.size(), 6u);
  EXPECT_EQ(l[0] + l[1], " output of  Krief s model  eqs. (A.8)-(A.9)  coef. consolidacion (A.1) y (A.3)");
  EXPECT_EQ(l[2].rfind(" c1 =  ", 0), 0u);
  EXPECT_EQ(l[4].rfind(" g1 =  ", 0), 0u);
}

// Each stop with its code and message.
TEST_F(EModulus, StopsWithTheirMessages) {
  using K = core::TestKind;
  struct Case {
    bool ice;
    std::function<void(model_test::Sample&)> spoil;
    K kind;
    int code;
    const char* message;
  };
  auto grains = [](int n, double f) { return [=](model_test::Sample& s) { s.deck.xmu_s1(n) = f * s.deck.ak_s1(n); }; };
  const Case cases[] = {
      // Ice without ice or beyond its porosity, in the second cell (the first one's report is printed).
      {true, [](model_test::Sample& s) { s.phiw(1, 2) = 0.4; }, K::compressional, 45678, "STOP 45678"},
      {true, [](model_test::Sample& s) { s.phiw(1, 2) = 0.41; }, K::compressional, 45678, "STOP 45678"},
      // An absurd shale proportion: the two solid fractions cancel to rounding.
      {false, [](model_test::Sample& s) { s.deck.s3(2) = 1e17; }, K::compressional, 555, "STOP 555"},
      // Grains far stiffer in shear than in compression: lambda < 0 in the first cell.
      {false, grains(1, 20), K::compressional, 12345,
       "neg. lambda1 j,k    1 1 -[0-9.e+]+\n(.*\n)+ mu13\\(GPA\\).*\n\n  neg. lambda1 j,k    1 1 .*\nSTOP 12345"},
      {false, [](model_test::Sample& s) { s.deck.xmu_s3(1) = 20 * s.deck.ak_s3(1); }, K::compressional, 12346,
       "mu13\\(GPA\\)          = [^\n]*\n\nSTOP 12346"},
      // A negative grain shear modulus in the upper layer: strain energy not positive definite.
      {false, grains(2, -2), K::compressional, 45687, " j,k, strain energy not positive definite  1 2\nSTOP 45687"},
      {false, grains(2, -2), K::shear, 45687, "\n  strain energy not positive definite \nSTOP 45687"},
      {false, grains(2, -0.1), K::compressional, 45688, "  j,k,strain energy not positive definite 1 2\nSTOP 45688"},
      {false, grains(2, -0.1), K::shear, 45688, "\n  strain energy not positive definite\nSTOP 45688"},
  };
  for (const Case& c : cases) {
    auto s = make_sample(c.ice ? model_test::ice_deck(1, 2) : model_test::shale_deck(1, 2));
    c.spoil(*s);
    auto die = [&] {
      model_test::stdout_to_stderr();
      model::e_modulus(c.kind, s->deck, s->matnum, s->phiw, kOmega, 2, s->c, core::TextOut::report());
    };
    EXPECT_EXIT(die(), ::testing::ExitedWithCode(c.code & 255), c.message) << c.message;
  }
  // A negative lambda outside the first cell only warns.
  auto later = make_sample(model_test::shale_deck(1, 2));
  grains(2, 20)(*later);
  const std::string r = run(*later);
  EXPECT_NE(r.find("  neg. lambda1 j,k    1 2 -"), std::string::npos) << r;
  EXPECT_LT(later->c.lambda1(1, 2), 0);
}

TEST_F(EModulus, CompositionsWithoutSolidThreeOrWaterGiveNotANumberWithoutStopping) {
  // No clay (s3 = 0): the consolidation of solid 3 is 0/0.
  auto clean = make_sample(model_test::shale_deck(1, 2));
  clean->deck.s3(1) = clean->deck.s3(2) = 0;
  run(*clean);
  EXPECT_TRUE(std::isnan(clean->c.lambda3(1, 2)));
  EXPECT_TRUE(std::isnan(clean->c.m(1, 2)));

  // No liquid water in the upper cell of an ice sample: b1 and b2 are 0/0.
  auto frozen = make_sample(model_test::ice_deck(1, 2));
  frozen->phiw(1, 2) = 0;
  run(*frozen);
  EXPECT_TRUE(std::isnan(frozen->c.b1(1, 2)));
  EXPECT_TRUE(std::isnan(frozen->c.b2(1, 2)));
  EXPECT_FALSE(std::isnan(frozen->c.b1(1, 1)));
}

}  // namespace
