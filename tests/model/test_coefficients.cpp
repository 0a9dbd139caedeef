// The laws of a cell against independent answers: closed forms over dry
// frames worked out apart (Hashin-Shtrikman bounds for ice), the mass
// identity, a worked ice cell, the coupling of the frames by fluid shear.
#include <cmath>

#include "model/e_modulus.hpp"
#include "model/mass_visco_coef.hpp"
#include "support.hpp"

namespace {

using core::TestKind;

// Hashin-Shtrikman bounds of a two-phase composite, phase 1 (fraction 1 - f)
// as reference: the textbook forms.
double hs_bulk(double k1, double mu1, double k2, double f) {
  return k1 + f / (1 / (k2 - k1) + 3 * (1 - f) / (3 * k1 + 4 * mu1));
}
double hs_shear(double k1, double mu1, double mu2, double f) {
  return mu1 + f / (1 / (mu2 - mu1) + 6 * (1 - f) * (k1 + 2 * mu1) / (5 * mu1 * (3 * k1 + 4 * mu1)));
}

model::ElasticCell elastic(const core::Deck& d, int n, double omega = 2 * M_PI * 10) {
  return model::elastic_cell(d, n, d.phi_layer1(n), model::split_fractions(d, n, d.phi_layer1(n)), omega);
}
model::MassCell mass(const core::Deck& d, int n, TestKind kind = TestKind::compressional) {
  return model::mass_cell(kind, d, n, d.phi_layer1(n), model::split_fractions(d, n, d.phi_layer1(n)));
}

// H1 = KG1, H3 = KG3, b1 = alfa1 Kav, b2 = alfa3 Kav, B3 = alfa1 alfa3 Kav over
// dry frames worked out independently: Hashin-Shtrikman frames for ice (without
// fluid shear, their shear moduli stored as they are), Krief's for shaley sand.
// And p11 + 2 p13 + p33 = phi1 ro1 + phi ro2 + phi3 ro3, whatever the tortuosities.
TEST(CellLaws, ClosedFormsOverIndependentFramesAndTheMassIdentity) {
  for (core::Deck d : {model_test::ice_deck(1, 2), model_test::shale_deck(1, 2)})
    for (int n = 1; n <= 2; ++n) {
      SCOPED_TRACE(testing::Message() << "key_model " << d.key_model << " material " << n);
      const bool ice = d.key_model == 0;
      const double phi = d.phi_layer1(n), s3 = ice ? (d.phi_a(n) - phi) / (1 - phi) : d.s3(n), s1 = 1 - s3;
      const double phi1 = ice ? 1 - d.phi_a(n) : s1 * (1 - phi), phi3 = 1 - phi - phi1;
      const model::MassCell m = mass(d, n);
      EXPECT_NEAR(m.p11 + 2 * m.p13 + m.p33, phi1 * d.ro1(n) + phi * d.ro2(n) + phi3 * d.ro3(n), 1e-9 * m.p11);
      double km1 = 1.44e10, km3;
      if (ice) d.eta(n) = 0;
      const model::ElasticCell e = elastic(d, n);
      if (ice) {
        const double p = std::pow((d.phi_a(n) - phi) / d.phi_a(n), 3.8);
        km3 = p * hs_bulk(d.ak_s3(n), d.xmu_s3(n), d.ak_air(n), phi1);
        EXPECT_NEAR(e.mu1, (hs_shear(d.ak_s1(n), d.xmu_s1(n), d.xmu_air(n), 1 - phi1) - 1.31e10) * p + 1.31e10, 1e-3);
        EXPECT_NEAR(e.mu3, p * hs_shear(d.ak_s3(n), d.xmu_s3(n), d.xmu_air(n), phi1), 1e-3);
      } else {
        const double f = std::pow(1 - phi, 1 + 2 / (1 - phi));
        km1 = s1 * d.ak_s1(n) * f, km3 = s3 * d.ak_s3(n) * f;
      }
      const double ks1 = d.ak_s1(n), ks3 = d.ak_s3(n);
      const double kav = 1 / ((phi1 - km1 / ks1) / ks1 + phi / d.akf(n) + (phi3 - km3 / ks3) / ks3);
      const double alfa1 = s1 - km1 / ks1, alfa3 = s3 - km3 / ks3, tol = 1e-12 * (km1 + kav);
      EXPECT_NEAR(e.M, kav, 1e-12 * kav);
      EXPECT_NEAR(e.B1, alfa1 * kav, tol);
      EXPECT_NEAR(e.B2, alfa3 * kav, tol);
      EXPECT_NEAR(e.lambda1 + e.mu1, km1 + alfa1 * alfa1 * kav, tol);
      EXPECT_NEAR(e.lambda3 + e.mu3, km3 + alfa3 * alfa3 * kav, tol);
      EXPECT_NEAR(e.d3 + e.mu13 / 2, alfa1 * alfa3 * kav, tol);
    }
}

// mu1 - mum1 = ((1-g1) phi1)^2 muav, mu3 - mum3 = ((1-g3) phi3)^2 muav and
// mu13 = (1-g1)(1-g3) phi1 phi3 muav, so mu13^2 = (mu1 - mum1)(mu3 - mum3);
// no fluid viscosity or zero frequency: no coupling. Only the fluid's
// viscous shear compliance phi / (2 omega eta) depends on the frequency; it
// dominates for a viscous fluid at 10 Hz, and mu13 follows it.
TEST(CellLaws, FluidShearTermCouplesTheTwoFrames) {
  core::Deck viscous = model_test::shale_deck(1, 2), dry = viscous;
  viscous.eta(1) = 1e7, dry.eta(1) = 0;
  const model::ElasticCell v = elastic(viscous, 1), d = elastic(dry, 1), still = elastic(viscous, 1, 0.0);
  EXPECT_GT(v.mu13, 1e6);
  EXPECT_NEAR(v.mu13 * v.mu13, (v.mu1 - d.mu1) * (v.mu3 - d.mu3), 1e-7 * v.mu13 * v.mu13);
  EXPECT_TRUE(d.mu13 == 0 && still.mu13 == 0 && still.mu1 == d.mu1);
  // The bulk coupling d3 + mu13 / 2 = alfa1 alfa3 Kav does not see the fluid's shear.
  EXPECT_NEAR(v.d3 + v.mu13 / 2, d.d3, 1e-9 * d.d3) << v.mu13;
  viscous.eta(1) = 1e6;
  const double w1 = 2 * M_PI * 10, w2 = 2 * M_PI * 1e3, phi = viscous.phi_layer1(1);
  const model::ElasticCell slow = elastic(viscous, 1, w1), fast = elastic(viscous, 1, w2);
  const double want = phi / (2 * 1e6) * (1 / w1 - 1 / w2);
  EXPECT_NEAR(1 / slow.muav - 1 / fast.muav, want, 1e-9 * want);
  EXPECT_NEAR(fast.mu13 / slow.mu13, 1 + want * fast.muav, 1e-9 * fast.mu13 / slow.mu13);
}

TEST(CellLaws, WorkedIceCellAndFrictionDeterminant) {
  // Water 0.1, absolute porosity 0.4: phi1 = 0.6, phi3 = 0.3, s1 = 2/3, s3 = 1/3.
  const model::MassCell m = mass(model_test::ice_deck(1, 2), 1);
  const double ro_prim = (2650 * 0.6 + 1000 * 0.1) / 0.7;
  const double a1 = 1 + 0.5 * 940 * 0.6 / (1000 * 0.1), a3 = 1 + 0.5 * ro_prim * 0.3 / (1000 * 0.1);
  EXPECT_NEAR(m.p22, (a1 + a3 - 1) * 1000 / 0.1, 1e-8);
  EXPECT_NEAR(m.p12, 1000 * ((1 - a1) / 3 + a3 * 2 / 3), 1e-9);
  EXPECT_NEAR(m.p23, 1000 * ((1 - a3) * 2 / 3 + a1 / 3), 1e-9);
  EXPECT_NEAR(m.capa_1, 1e-12 / 64, 1e-27);  // capa_1_0 Sw^3, Sw = 0.25
  // f22 = (b12 + b23) / phi^2, f11' f22 - f12^2 = b12 b23 / phi^2 + b13 f22.
  EXPECT_NEAR(m.f22, (m.coef_b12 + m.coef_b23) / 0.01, 1e-12 * m.f22);
  const double det = m.coef_b12 * m.coef_b23 / 0.01 + 1e8 * m.f22;
  EXPECT_NEAR(m.f11_prima * m.f22 - m.f12 * m.f12, det, 1e-12 * det);
  EXPECT_EQ(m.f11, m.f11_prima + 1e8);
}

// The shear tests round the grain sizes to single precision, and only that.
TEST(CellLaws, ShearTestsTakeTheGrainSizesInSinglePrecision) {
  const core::Deck d = model_test::shale_deck(1, 2);
  const model::MassCell s = mass(d, 1, TestKind::shear), p = mass(d, 1);
  const float r1 = 5e-5f;
  EXPECT_NEAR(s.coef_b12, 45 * 1e-3 * 0.75 * 0.675 / (double(r1 * r1) * 0.25), 1e-12 * s.coef_b12);
  EXPECT_TRUE(s.f22 != p.f22 && std::abs(s.f22 / p.f22 - 1) < 1e-6);
}

}  // namespace
