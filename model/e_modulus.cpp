#include "model/e_modulus.hpp"

#include <cmath>

#include "core/stop.hpp"
#include "model/cell_loop.hpp"
#include "model/elastic_report.hpp"
#include "model/kt.hpp"

namespace model {

namespace {

// Ice model: the grain frame's bulk modulus, and its shear modulus when no
// ice fills the pores (Pa). Ice stiffens the frame's shear modulus towards
// the Hashin-Shtrikman bound of the grains by a power law of the ice
// content of the pores, with this exponent.
constexpr double kIceFrameBulk = 1.44e10;
constexpr double kIceFrameShearNoIce = 1.31e10;
constexpr double kIceContentExponent = 3.8;

struct DryFrames {
  double km1, mum1, km3, mum3;
};

DryFrames ice_frames(const core::Deck& deck, int n, const CellFractions& f) {
  double k_hs1, mu_hs1, k_hs3, mu_hs3;
  kt(deck.ak_s1(n), deck.xmu_s1(n), deck.ak_air(n), deck.xmu_air(n), 1.0 - f.phi1, k_hs1, mu_hs1);
  kt(deck.ak_s3(n), deck.xmu_s3(n), deck.ak_air(n), deck.xmu_air(n), f.phi1, k_hs3, mu_hs3);
  const double p = std::pow(f.phi3 / (1.0 - f.phi1), kIceContentExponent);
  return {kIceFrameBulk, (mu_hs1 - kIceFrameShearNoIce) * p + kIceFrameShearNoIce, p * k_hs3, p * mu_hs3};
}

// Krief's model: the frame moduli fall with porosity as (1-phi)^(1+2/(1-phi)).
DryFrames krief_frames(const core::Deck& deck, int n, double phi, const CellFractions& f) {
  const double ks1 = deck.ak_s1(n), ks3 = deck.ak_s3(n);
  const double e = std::pow(1.0 - phi, 1.0 + 2.0 / (1.0 - phi));
  const double km1 = (1.0 - f.s3) * ks1 * e, km3 = f.s3 * ks3 * e;
  return {km1, km1 * deck.xmu_s1(n) / ks1 * std::exp(-std::sqrt(f.s3 * (1.0 - f.s3))), km3,
          km3 * deck.xmu_s3(n) / ks3};
}

}  // namespace

ElasticCell elastic_cell(const core::Deck& deck, int n, double phi, const CellFractions& f, double omega) {
  const double ks1 = deck.ak_s1(n), mus1 = deck.xmu_s1(n), ks3 = deck.ak_s3(n), mus3 = deck.xmu_s3(n);
  const double phi1 = f.phi1, phi3 = f.phi3, s1 = f.s1, s3 = f.s3;
  ElasticCell e;
  const DryFrames d = deck.key_model == 0 ? ice_frames(deck, n, f) : krief_frames(deck, n, phi, f);
  e.km1 = d.km1, e.mum1 = d.mum1, e.km3 = d.km3, e.mum3 = d.mum3;

  e.c1 = e.km1 / (phi1 * ks1);
  e.c3 = e.km3 / (phi3 * ks3);
  e.g1 = e.mum1 / (phi1 * mus1);
  e.g3 = e.mum3 / (phi3 * mus3);

  // Average terms; a viscous fluid adds phi / (2 omega eta) to the shear one.
  e.kav = 1.0 / ((1.0 - e.c1) * phi1 / ks1 + phi / deck.akf(n) + (1.0 - e.c3) * phi3 / ks3);
  const double eta = deck.eta(n);
  e.muav = eta > 0.0
               ? 1.0 / ((1.0 - e.g1) * phi1 / mus1 + (1.0 - e.g3) * phi3 / mus3 + phi / (2.0 * omega * eta))
               : 0.0;

  e.mu1 = ((1.0 - e.g1) * phi1) * ((1.0 - e.g1) * phi1) * e.muav + e.mum1;
  e.mu3 = ((1.0 - e.g3) * phi3) * ((1.0 - e.g3) * phi3) * e.muav + e.mum3;
  e.mu13 = (1.0 - e.g1) * (1.0 - e.g3) * phi1 * phi3 * e.muav;

  e.alfa1 = s1 - e.km1 / ks1;
  e.alfa3 = s3 - e.km3 / ks3;
  e.kg1 = e.km1 + e.alfa1 * e.alfa1 * e.kav;
  e.kg3 = e.km3 + e.alfa3 * e.alfa3 * e.kav;
  e.kg = e.km1 + e.km3 + (e.alfa1 + e.alfa3) * (e.alfa1 + e.alfa3) * e.kav;

  // Relative-fluid formulation.
  const double s1phi = s1 * phi, s3phi = s3 * phi, kav = e.kav;
  e.K1 = e.kg1 - 2.0 * e.alfa1 * s1 * phi * kav + s1phi * s1phi * kav;
  e.K2 = phi * phi * kav;
  e.K3 = e.kg3 - 2.0 * e.alfa3 * s3 * phi * kav + s3phi * s3phi * kav;
  e.C12 = phi * kav * (e.alfa1 - s1 * phi);
  e.C23 = phi * kav * (e.alfa3 - s3 * phi);
  e.C13 = kav * (e.alfa1 - s1 * phi) * (e.alfa3 - s3 * phi);

  // Absolute-displacement formulation (algebraically H1 = KG1, H3 = KG3,
  // B1 = alfa1 Kav, B2 = alfa3 Kav, B3 = alfa1 alfa3 Kav).
  e.H1 = e.K1 + 2.0 * s1 * e.C12 + s1 * s1 * e.K2;
  e.H3 = e.K3 + 2.0 * s3 * e.C23 + s3 * s3 * e.K2;
  e.B1 = (s1 * e.K2 + e.C12) / phi;
  e.B2 = (s3 * e.K2 + e.C23) / phi;
  e.B3 = e.C13 + s3 * e.C12 + s1 * e.C23 + s1 * s3 * e.K2;
  e.M = kav;

  // Plane-strain law.
  e.lambda1 = lame_lambda(false, e.H1, e.mu1);
  e.lambda3 = lame_lambda(false, e.H3, e.mu3);
  e.d3 = lame_d3(false, e.B3, e.mu13);
  return e;
}

void e_modulus(core::TestKind kind, const core::Deck& deck, const core::IntField& matnum,
               const core::RealField& phiw, double omega, int cycle, core::Coefficients& c, core::TextOut& out) {
  const bool shear = kind == core::TestKind::shear;
  const bool ice = deck.key_model == 0;
  CellPlots plots(cycle == 1, {"xmu1_gnu", "xmu3_gnu", "xmu13_gnu", "xlambda1_gnu", "xlambda3_gnu", "b1_gnu",
                               "b2_gnu", "xm_gnu", "d3_gnu"});
  for_each_cell(deck, matnum, phiw, [&](const CellSite& site) {
    const CellFractions f = split_fractions(deck, site.material, site.phi);
    if (ice && site.reference()) print_ice_fractions(out, site, f);
    require_unit_sum(f);
    const ElasticCell e = elastic_cell(deck, site.material, site.phi, f, omega);
    if (site.reference())
      print_reference_elastic(out, shear, ice, site, e);
    else
      warn_negative_lambda1(out, site, e);
    store(site, {{c.lambda1, e.lambda1}, {c.lambda3, e.lambda3}, {c.mu1, e.mu1}, {c.mu3, e.mu3}, {c.mu13, e.mu13},
                 {c.b1, e.B1}, {c.b2, e.B2}, {c.m, e.M}, {c.d3, e.d3}});
    plots.write(site.j, site.k, {e.mu1, e.mu3, e.mu13, e.lambda1, e.lambda3, e.B1, e.B2, e.M, e.d3});
    require_positive_energy(out, shear, site, e);
  });
  plots.close();
}

}  // namespace model
