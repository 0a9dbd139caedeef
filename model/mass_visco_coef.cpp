#include "model/mass_visco_coef.hpp"

#include <optional>

#include "core/fortran_edit.hpp"
#include "core/stop.hpp"
#include "model/fraction_report.hpp"

namespace model {

namespace {

// The shear tests' plotting files of the friction fields.
struct FrictionPlots {
  core::TextOut b11{"b11_gnu"}, b22{"b22_gnu"}, b12{"b12_gnu"};
};

constexpr FractionLabels kFractionLabels{"bulk solid 1 fraction phi1 en mass_visco  =", "solid 1 matrix fraction s1 en mass_visco  ="};

void print_fraction_block(core::TextOut& out, bool ice, double phi, const CellFractions& f) {
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

// " label" then the value as e20.10.
void print_density(core::TextOut& out, const char* label, double value) {
  out.blank();
  out.line(std::string(" ") + label + core::edit_e(value, 20, 10));
}

}  // namespace

CellFractions mass_visco_coef(core::TestKind kind, const core::Deck& deck, const core::IntField& matnum,
                              const core::RealField& phiw, int cycle, core::Coefficients& c, core::TextOut& out) {
  const bool shear = kind == core::TestKind::shear;
  const bool ice = deck.key_model == 0;
  if (!shear) out.list("enters  mass_visco_coef  key_model ", deck.key_model);

  std::optional<FrictionPlots> plots;
  if (shear && cycle == 1) plots.emplace();

  CellFractions last;
  for (int j = 1; j <= deck.nx; ++j)
    for (int k = 1; k <= deck.ny; ++k) {
      const bool first = j == 1 && k == 1;
      const int n = matnum(j, k);
      const double phi = phiw(j, k);
      const double ro1 = deck.ro1(n), ro2 = deck.ro2(n), ro3 = deck.ro3(n);
      const double eta = deck.eta(n);

      // 1. Volume fractions, as for the elastic coefficients.
      const CellFractions f = split_fractions(deck, n, phi);
      last = f;
      if (first) print_fraction_block(out, ice, phi, f);
      require_unit_sum(f);
      const double phi1 = f.phi1, phi3 = f.phi3, s1 = f.s1, s3 = f.s3;

      // 2. Densities of the water-ice and water-grain mixtures.
      const double ro = (ro3 * phi3 + ro2 * phi) / (phi3 + phi);
      const double ro_prim = (ro1 * phi1 + ro2 * phi) / (phi1 + phi);
      if (first) {
        out.blank();
        out.list(" mass densities for each phase");
        print_density(out, " ro1(Kgr/m^3)     =", ro1);
        print_density(out, " ro2(Kgr/m^3)     =", ro2);
        print_density(out, " ro3(Kgr/m^3)     =", ro3);
        print_density(out, " ro(Kgr/m^3)      =", ro);
        print_density(out, " ro_prim(Kgr/m^3) =", ro_prim);
      }

      // 3. Tortuosity-type factors.
      const double a1 = 1.0 + 0.5 * ro * phi1 / (ro2 * phi);
      const double a3 = 1.0 + 0.5 * ro_prim * phi3 / (ro2 * phi);
      double a31 = 1.0, a13 = 1.0;
      if (!ice) {
        a31 = 1.0 + 0.5 * ro_prim * phi3 / (ro1 * phi1);
        a13 = 1.0 + 0.5 * ro * phi1 / (ro3 * phi3);
      }

      // 4. Mass coefficients.
      const double p11 = ro2 * phi * (a3 * s1 * s1 + 1.0 + a1 * s3 * s3 - 2.0 * s3 - s1 * s1) + ro1 * a31 * phi1 +
                         (a13 - 1.0) * ro3 * phi3;
      const double p12 = ro2 * ((1.0 - a1) * s3 + a3 * s1);
      const double p13 = ro2 * phi * (1.0 - a3 * s1 * s1 - a1 * s3 * s3 - s1 * s3) + (1.0 - a31) * ro1 * phi1 +
                         (1.0 - a13) * ro3 * phi3;
      const double p22 = (a1 + a3 - 1.0) * ro2 / phi;
      const double p23 = ro2 * ((1.0 - a3) * s1 + a1 * s3);
      const double p33 = ro2 * phi * (a3 * s1 * s1 + 1.0 + a1 * s3 * s3 - 2.0 * s1 - s3 * s3) + a13 * ro3 * phi3 +
                         (a31 - 1.0) * ro1 * phi1;
      if (first) {
        out.list("mass coef.");
        out.list("p11(Kgr/m^3) = ", p11);
        out.list("p12(Kgr/m^3) = ", p12);
        out.list("p13(Kgr/m^3) = ", p13);
        out.list("p22(Kgr/m^3) = ", p22);
        out.list("p23(Kgr/m^3) = ", p23);
        out.list("p33(Kgr/m^3) = ", p33);
      }

      // 5. Permeabilities of the two pore networks and fluid friction.
      double capa_1, capa_3, coef_b12, coef_b23;
      if (ice) {
        const double pore = 1.0 - phi1;
        capa_1 = deck.capa_1_0(n) * (phi * phi * phi) / (pore * pore * pore);
        const double r = pore / phi3, q = phi / phi1;
        capa_3 = deck.capa_3_0(n) * (r * r) * (q * q * q);
        coef_b12 = eta * phi * phi / capa_1;
        coef_b23 = eta * phi * phi / capa_3;
      } else {
        // The shear tests take the grain sizes in single precision.
        double rs1_sq, rs3_sq;
        if (shear) {
          const float r1 = static_cast<float>(deck.rs1(n)), r3 = static_cast<float>(deck.rs3(n));
          rs1_sq = r1 * r1;
          rs3_sq = r3 * r3;
        } else {
          rs1_sq = deck.rs1(n) * deck.rs1(n);
          rs3_sq = deck.rs3(n) * deck.rs3(n);
        }
        capa_1 = 2.0 * rs1_sq / (9.0 * phi1);
        capa_3 = 2.0 * rs3_sq / (9.0 * phi3);
        coef_b12 = 45.0 * eta * (1.0 - phi) * phi1 / (rs1_sq * phi);
        coef_b23 = 45.0 * eta * (1.0 - phi) * phi3 / (rs3_sq * phi);
      }
      const double capa = capa_1 * capa_3 / (capa_1 + capa_3);
      if (first) {
        out.blank();
        if (ice) {
          out.list("permeabilities for the permafrost model (m^2)");
          out.list("capa_1=,", capa_1);
          out.list("capa_3=,", capa_3);
          out.list("capa=,", capa);
          out.list("coef_b12, coef_b23 ", coef_b12, coef_b23);
        } else {
          out.list(" permeabilities for the shaley-sand model (m^2)");
          out.list("capa_1 = ", capa_1);
          out.list("capa_3 = ", capa_3);
          out.list("capa   = ", capa);
          if (shear) {
            out.list("coef_b12 ", coef_b12);
            out.list("coef_b23 ", coef_b23);
            out.list("rs1      ", static_cast<float>(deck.rs1(n)));
            out.list("rs3      ", static_cast<float>(deck.rs3(n)));
          } else {
            out.list("coef_b12, coef_b23 ", coef_b12, coef_b23);
          }
        }
      }

      // 6. Friction coefficients; the solid-solid coefficient enters f11 twice.
      const double coef_b13 = deck.coef_b13(n);
      const double f11_prima = s1 * s1 * coef_b23 + coef_b13 + s3 * s3 * coef_b12;
      const double f11 = coef_b13 + f11_prima;
      const double f22 = (coef_b23 + coef_b12) / (phi * phi);
      const double f12 = (s3 * coef_b12 - s1 * coef_b23) / phi;

      c.p11(j, k) = p11;
      c.p12(j, k) = p12;
      c.p13(j, k) = p13;
      c.p22(j, k) = p22;
      c.p23(j, k) = p23;
      c.p33(j, k) = p33;
      c.f11(j, k) = f11;
      c.f12(j, k) = f12;
      c.f22(j, k) = f22;

      // 7. Plotting files of the shear tests.
      if (plots) {
        plots->b11.list(j, k, f11);
        plots->b22.list(j, k, f22);
        plots->b12.list(j, k, f12);
      }

      // 8. The friction matrix of cell (1,1) must not be negative.
      if (first) {
        const double control1 = f11_prima * f22 - f12 * f12;
        const double control2 = f11 * f22 - f12 * f12;
        out.list("f11      =", f11_prima);
        out.list("f12      =", f12);
        out.list("f22      =", f22);
        out.list("control1 (must be  positive)  =", control1);
        if (control1 < 0.0) core::stop(99999);
        out.list("Coef. de friccion ");
        out.list("coef_b13  ", coef_b13);
        out.list("b11  = ", f11);
        out.list("b12  = ", f12);
        out.list("b22  = ", f22);
        out.list("control2 (must be  positive)  =", control2);
        if (control2 < 0.0) core::stop(99998);
        if (!shear) out.blank();
      }
    }

  if (plots) {
    plots->b11.close();
    plots->b22.close();
    plots->b12.close();
  }
  return last;
}

}  // namespace model
