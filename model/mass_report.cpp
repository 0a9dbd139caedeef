#include "model/mass_report.hpp"

#include <string>

#include "core/fortran_edit.hpp"
#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"
#include "model/fraction_report.hpp"

namespace model {

namespace {

constexpr FractionLabels kFractionLabels{"bulk solid 1 fraction phi1 en mass_visco  =",
                                         "solid 1 matrix fraction s1 en mass_visco  ="};

// " label" then the value as e20.10.
void print_density(core::TextOut& out, const char* label, double value) {
  out.blank();
  out.line(std::string(" ") + label + core::edit_e(value, 20, 10));
}

void print_permeabilities(core::TextOut& out, bool shear, bool ice, const core::Deck& deck, int n,
                          const MassCell& m) {
  out.blank();
  if (ice) {
    out.list("permeabilities for the permafrost model (m^2)");
    out.list("capa_1=,", m.capa_1);
    out.list("capa_3=,", m.capa_3);
    out.list("capa=,", m.capa);
    out.list("coef_b12, coef_b23 ", m.coef_b12, m.coef_b23);
    return;
  }
  out.list(" permeabilities for the shaley-sand model (m^2)");
  out.list("capa_1 = ", m.capa_1);
  out.list("capa_3 = ", m.capa_3);
  out.list("capa   = ", m.capa);
  if (shear) {
    out.list("coef_b12 ", m.coef_b12);
    out.list("coef_b23 ", m.coef_b23);
    out.list("rs1      ", static_cast<float>(deck.rs1(n)));
    out.list("rs3      ", static_cast<float>(deck.rs3(n)));
  } else {
    out.list("coef_b12, coef_b23 ", m.coef_b12, m.coef_b23);
  }
}

}  // namespace

void print_mass_fractions(core::TextOut& out, bool ice, double phi, const CellFractions& f) {
  if (!ice) {
    print_fraction_lines(out, phi, f, kFractionLabels);
    return;
  }
  out.list("ice content s3_prima=", f.s3_prima);
  out.list(" water saturation  Sw=", f.sw);
  print_stars(out);
  out.blank();
  out.list("  control (must be = 1) =  ", f.control);
  out.blank();
  print_stars(out);
  print_fraction_lines(out, phi, f, kFractionLabels);
  out.blank();
  out.blank();
  print_stars(out);
}

void print_reference_mass(core::TextOut& out, bool shear, bool ice, const core::Deck& deck, int n, const MassCell& m) {
  out.blank();
  out.list(" mass densities for each phase");
  print_density(out, " ro1(Kgr/m^3)     =", deck.ro1(n));
  print_density(out, " ro2(Kgr/m^3)     =", deck.ro2(n));
  print_density(out, " ro3(Kgr/m^3)     =", deck.ro3(n));
  print_density(out, " ro(Kgr/m^3)      =", m.ro);
  print_density(out, " ro_prim(Kgr/m^3) =", m.ro_prim);
  out.list("mass coef.");
  out.list("p11(Kgr/m^3) = ", m.p11);
  out.list("p12(Kgr/m^3) = ", m.p12);
  out.list("p13(Kgr/m^3) = ", m.p13);
  out.list("p22(Kgr/m^3) = ", m.p22);
  out.list("p23(Kgr/m^3) = ", m.p23);
  out.list("p33(Kgr/m^3) = ", m.p33);
  print_permeabilities(out, shear, ice, deck, n, m);
}

void print_reference_friction(core::TextOut& out, bool shear, const MassCell& m) {
  const double control1 = m.f11_prima * m.f22 - m.f12 * m.f12;
  const double control2 = m.f11 * m.f22 - m.f12 * m.f12;
  out.list("f11      =", m.f11_prima);
  out.list("f12      =", m.f12);
  out.list("f22      =", m.f22);
  out.list("control1 (must be  positive)  =", control1);
  if (control1 < 0.0) core::raise_stop(core::kStopFrictionPrime);
  out.list("Coef. de friccion ");
  out.list("coef_b13  ", m.coef_b13);
  out.list("b11  = ", m.f11);
  out.list("b12  = ", m.f12);
  out.list("b22  = ", m.f22);
  out.list("control2 (must be  positive)  =", control2);
  if (control2 < 0.0) core::raise_stop(core::kStopFriction);
  if (!shear) out.blank();
}

}  // namespace model
