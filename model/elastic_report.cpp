#include "model/elastic_report.hpp"

#include <initializer_list>

#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"
#include "model/fraction_report.hpp"

namespace model {

namespace {

constexpr FractionLabels kFractionLabels{"bulk solid 1 fraction phi1 en e_mod   =",
                                         "solid 1 matrix fraction s1 en e_mod  ="};

// "label" then the value in GPa, one line each.
struct Labelled {
  const char* label;
  double pa;
};
void print_gpa(core::TextOut& out, std::initializer_list<Labelled> lines) {
  for (const Labelled& l : lines) out.list(l.label, l.pa / 1e9);
}

void print_consolidation(core::TextOut& out, const ElasticCell& e) {
  out.list(" coef. consolidacion (A.1) y (A.3)");
  out.list("c1 = ", e.c1, " c3 = ", e.c3);
  out.list(" ");
  out.list("g1 = ", e.g1, " g3 = ", e.g3);
  out.blank();
}

void print_moduli(core::TextOut& out, const ElasticCell& e) {
  out.blank();
  out.list("Moduli  as in eqs. (A.2),(A.5),(A.6),(A.7)");
  out.blank();
  out.list("used in contitutive eqs. (4.6)--(4.8)");
  out.blank();
  out.list("alfa1,alfa3 =", e.alfa1, e.alfa3);
  out.blank();
  out.blank();
  print_gpa(out, {{"Kav(GPa)    = ", e.kav},
                  {"K1(GPa)     = ", e.K1},
                  {"K2(GPa)     = ", e.K2},
                  {"K3(GPa)     = ", e.K3},
                  {"C12(GPa)    = ", e.C12},
                  {"C13(GPa)    = ", e.C13},
                  {"C23(GPa)    = ", e.C23}});
  out.blank();
  out.blank();
  out.list(" rigidity modulus mu1,mu3,mu13,muav eqs.  (A.1)");
  out.list("xmuav(GPa)  = ", e.muav / 1e9);
  out.blank();
  print_gpa(out, {{"mu1(GPa)    = ", e.mu1}, {"mu3(GPa)    = ", e.mu3}, {"mu13(GPA)   = ", e.mu13}});
  out.blank();
  out.blank();
  out.list("  Gassmann moduli  eqs. (A.7)");
  out.blank();
  print_gpa(out, {{"KG1(GPa)    = ", e.kg1}, {"KG3(GPa)    = ", e.kg3}, {"KG(GPa)     = ", e.kg}});
}

void print_law(core::TextOut& out, const CellSite& site, const ElasticCell& e) {
  out.list(" element j,k = ", site.j, site.k);
  out.blank();
  out.blank();
  out.list("Modulos elasticos notacion Kestro et al. JASA 04");
  out.list("(en Pa)");
  out.blank();
  print_gpa(out, {{"H1=K_{G1}(GPa)     = ", e.H1},
                  {"H3=K_{G3}(GPa)     = ", e.H3},
                  {"B1(GPa)            = ", e.B1},
                  {"B2(GPa)            = ", e.B2},
                  {"B3(GPa)            = ", e.B3},
                  {"M=k_av(Pa)        = ", e.M},
                  {"xlambda1(GPa) (2D) = ", e.lambda1},
                  {"xlambda3(GPa) (2D) = ", e.lambda3},
                  {"d3(GPa) (2D)       = ", e.d3},
                  {"xlambda1(GPa) (3D) = ", (e.H1 - 2.0 * e.mu1 / 3.0)},
                  {"xlambda3(GPa) (3D) = ", (e.H3 - 2.0 * e.mu3 / 3.0)},
                  {"d3(GPa) (3D)       = ", (e.B3 - e.mu13 / 3.0)},
                  {"mu1(GPa)           = ", e.mu1},
                  {"mu3(GPa)           = ", e.mu3},
                  {"mu13(GPA)          = ", e.mu13}});
  out.blank();
}

}  // namespace

void print_ice_fractions(core::TextOut& out, const CellSite& site, const CellFractions& f) {
  out.list("ice content s3_prima=", f.s3_prima);
  out.list("j,k, water saturation  Sw =", site.j, site.k, f.sw);
  print_stars(out);
  out.list("for j, k  = ", site.j, site.k);
  out.list("  control (must be = 1) =  ", f.control);
  out.blank();
  print_stars(out);
  print_fraction_lines(out, site.phi, f, kFractionLabels);
  out.blank();
  out.blank();
  print_stars(out);
}

void warn_negative_lambda1(core::TextOut& out, const CellSite& site, const ElasticCell& e) {
  if (e.lambda1 <= 0.0) out.list(" neg. lambda1 j,k   ", site.j, site.k, e.lambda1);
}

// The warning on lambda1 stands both before and inside the law's block.
void print_reference_elastic(core::TextOut& out, bool shear, bool ice, const CellSite& site, const ElasticCell& e) {
  if (!ice) out.line(" output of  Krief s model  eqs. (A.8)-(A.9)");
  if (shear) print_consolidation(out, e);
  print_moduli(out, e);
  warn_negative_lambda1(out, site, e);
  print_law(out, site, e);
  if (e.lambda1 <= 0.0) {
    warn_negative_lambda1(out, site, e);
    core::raise_stop(core::kStopLambda1);
  }
  if (e.lambda3 <= 0.0) core::raise_stop(core::kStopLambda3);
}

void require_positive_energy(core::TextOut& out, bool shear, const CellSite& site, const ElasticCell& e) {
  const double bulk = (2.0 * e.mu1 + e.lambda1) * (2.0 * e.mu3 + e.lambda3) - (e.mu13 + e.d3) * (e.mu13 + e.d3);
  if (bulk <= 0.0) {
    if (shear)
      out.list(" strain energy not positive definite ");
    else
      out.list("j,k, strain energy not positive definite ", site.j, site.k);
    core::raise_stop(core::kStopEnergyBulk);
  }
  if (e.mu1 * e.mu3 - e.mu13 * e.mu13 / 4.0 <= 0.0) {
    if (shear)
      out.list(" strain energy not positive definite");
    else
      out.list(" j,k,strain energy not positive definite", site.j, site.k);
    core::raise_stop(core::kStopEnergyShear);
  }
}

}  // namespace model
