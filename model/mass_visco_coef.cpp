#include "model/mass_visco_coef.hpp"

#include "model/cell_loop.hpp"
#include "model/mass_report.hpp"

namespace model {

namespace {

// Added-mass factor of the tortuosity terms a = 1 + r (...): r = 1/2 for
// spherical grains.
constexpr double kSphereAddedMass = 0.5;
// Shaley-sand friction: Kozeny-Carman drag, eta phi_s (1-phi) K / (r^2 phi),
// with K = 45 = 5 (Kozeny's constant) x 9 (the square of a sphere's specific
// surface 3/r, times r^2).
constexpr double kKozenyCarman = 45.0;

void set_mass(MassCell& m, const core::Deck& deck, int n, double phi, const CellFractions& f, bool ice) {
  const double ro1 = deck.ro1(n), ro2 = deck.ro2(n), ro3 = deck.ro3(n);
  const double phi1 = f.phi1, phi3 = f.phi3, s1 = f.s1, s3 = f.s3;
  m.ro = (ro3 * phi3 + ro2 * phi) / (phi3 + phi);
  m.ro_prim = (ro1 * phi1 + ro2 * phi) / (phi1 + phi);
  const double a1 = 1.0 + kSphereAddedMass * m.ro * phi1 / (ro2 * phi);
  const double a3 = 1.0 + kSphereAddedMass * m.ro_prim * phi3 / (ro2 * phi);
  // The ice model has no solid-solid added mass.
  const double a31 = ice ? 1.0 : 1.0 + kSphereAddedMass * m.ro_prim * phi3 / (ro1 * phi1);
  const double a13 = ice ? 1.0 : 1.0 + kSphereAddedMass * m.ro * phi1 / (ro3 * phi3);
  m.p11 = ro2 * phi * (a3 * s1 * s1 + 1.0 + a1 * s3 * s3 - 2.0 * s3 - s1 * s1) + ro1 * a31 * phi1 +
          (a13 - 1.0) * ro3 * phi3;
  m.p12 = ro2 * ((1.0 - a1) * s3 + a3 * s1);
  m.p13 = ro2 * phi * (1.0 - a3 * s1 * s1 - a1 * s3 * s3 - s1 * s3) + (1.0 - a31) * ro1 * phi1 +
          (1.0 - a13) * ro3 * phi3;
  m.p22 = (a1 + a3 - 1.0) * ro2 / phi;
  m.p23 = ro2 * ((1.0 - a3) * s1 + a1 * s3);
  m.p33 = ro2 * phi * (a3 * s1 * s1 + 1.0 + a1 * s3 * s3 - 2.0 * s1 - s3 * s3) + a13 * ro3 * phi3 +
          (a31 - 1.0) * ro1 * phi1;
}

// Ice model: reference permeabilities scaled by Kozeny-Carman-type powers
// of the pore fractions.
void set_ice_permeability(MassCell& m, const core::Deck& deck, int n, double phi, const CellFractions& f) {
  const double pore = 1.0 - f.phi1;
  m.capa_1 = deck.capa_1_0(n) * (phi * phi * phi) / (pore * pore * pore);
  const double r = pore / f.phi3, q = phi / f.phi1;
  m.capa_3 = deck.capa_3_0(n) * (r * r) * (q * q * q);
  m.coef_b12 = deck.eta(n) * phi * phi / m.capa_1;
  m.coef_b23 = deck.eta(n) * phi * phi / m.capa_3;
}

// Shaley-sand model: Stokes permeability 2 r^2 / (9 phi_s) of dilute
// spheres of radius r, and Kozeny-Carman friction.
void set_sand_permeability(MassCell& m, const core::Deck& deck, int n, double phi, const CellFractions& f,
                           bool single_precision_grains) {
  double rs1_sq, rs3_sq;
  if (single_precision_grains) {
    const float r1 = static_cast<float>(deck.rs1(n)), r3 = static_cast<float>(deck.rs3(n));
    rs1_sq = r1 * r1;
    rs3_sq = r3 * r3;
  } else {
    rs1_sq = deck.rs1(n) * deck.rs1(n);
    rs3_sq = deck.rs3(n) * deck.rs3(n);
  }
  m.capa_1 = 2.0 * rs1_sq / (9.0 * f.phi1);
  m.capa_3 = 2.0 * rs3_sq / (9.0 * f.phi3);
  m.coef_b12 = kKozenyCarman * deck.eta(n) * (1.0 - phi) * f.phi1 / (rs1_sq * phi);
  m.coef_b23 = kKozenyCarman * deck.eta(n) * (1.0 - phi) * f.phi3 / (rs3_sq * phi);
}

}  // namespace

MassCell mass_cell(core::TestKind kind, const core::Deck& deck, int n, double phi, const CellFractions& f) {
  const bool ice = deck.key_model == 0;
  MassCell m;
  set_mass(m, deck, n, phi, f, ice);
  if (ice)
    set_ice_permeability(m, deck, n, phi, f);
  else
    set_sand_permeability(m, deck, n, phi, f, kind == core::TestKind::shear);
  m.capa = m.capa_1 * m.capa_3 / (m.capa_1 + m.capa_3);
  // The solid-solid coefficient enters f11 twice.
  m.coef_b13 = deck.coef_b13(n);
  m.f11_prima = f.s1 * f.s1 * m.coef_b23 + m.coef_b13 + f.s3 * f.s3 * m.coef_b12;
  m.f11 = m.coef_b13 + m.f11_prima;
  m.f22 = (m.coef_b23 + m.coef_b12) / (phi * phi);
  m.f12 = (f.s3 * m.coef_b12 - f.s1 * m.coef_b23) / phi;
  return m;
}

CellFractions mass_visco_coef(core::TestKind kind, const core::Deck& deck, const core::IntField& matnum,
                              const core::RealField& phiw, int cycle, core::Coefficients& c, core::TextOut& out) {
  const bool shear = kind == core::TestKind::shear;
  const bool ice = deck.key_model == 0;
  if (!shear) out.list("enters  mass_visco_coef  key_model ", deck.key_model);
  CellPlots plots(shear && cycle == 1, {"b11_gnu", "b22_gnu", "b12_gnu"});
  CellFractions last;
  for_each_cell(deck, matnum, phiw, [&](const CellSite& site) {
    const CellFractions f = split_fractions(deck, site.material, site.phi);
    last = f;
    if (site.reference()) print_mass_fractions(out, ice, site.phi, f);
    require_unit_sum(f);
    const MassCell m = mass_cell(kind, deck, site.material, site.phi, f);
    if (site.reference()) print_reference_mass(out, shear, ice, deck, site.material, m);
    store(site, {{c.p11, m.p11}, {c.p12, m.p12}, {c.p13, m.p13}, {c.p22, m.p22}, {c.p23, m.p23}, {c.p33, m.p33},
                 {c.f11, m.f11}, {c.f12, m.f12}, {c.f22, m.f22}});
    plots.write(site.j, site.k, {m.f11, m.f22, m.f12});
    if (site.reference()) print_reference_friction(out, shear, m);
  });
  plots.close();
  return last;
}

}  // namespace model
