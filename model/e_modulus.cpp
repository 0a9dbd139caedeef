#include "model/e_modulus.hpp"

#include <cmath>
#include <optional>

#include "core/fortran_edit.hpp"
#include "core/stop.hpp"
#include "model/fraction_report.hpp"
#include "model/fractions.hpp"
#include "model/kt.hpp"

namespace model {

namespace {

// The nine plotting files of the elastic fields, one line j, k, value per cell.
struct ElasticPlots {
  core::TextOut mu1{"xmu1_gnu"}, mu3{"xmu3_gnu"}, mu13{"xmu13_gnu"}, lambda1{"xlambda1_gnu"},
      lambda3{"xlambda3_gnu"}, b1{"b1_gnu"}, b2{"b2_gnu"}, m{"xm_gnu"}, d3{"d3_gnu"};
};

constexpr FractionLabels kFractionLabels{"bulk solid 1 fraction phi1 en e_mod   =", "solid 1 matrix fraction s1 en e_mod  ="};

void print_ice_block(core::TextOut& out, int j, int k, double phi, const CellFractions& f) {
  out.list("ice content s3_prima=", f.s3_prima);
  out.list("j,k, water saturation  Sw =", j, k, f.sw);
  print_stars(out);
  out.list("for j, k  = ", j, k);
  out.list("  control (must be = 1) =  ", f.control);
  out.blank();
  print_stars(out);
  print_fraction_lines(out, phi, f, kFractionLabels);
  out.blank();
  out.blank();
  print_stars(out);
}

void warn_negative_lambda1(core::TextOut& out, int j, int k, double lambda1) {
  out.list(" neg. lambda1 j,k   ", j, k, lambda1);
}

}  // namespace

void e_modulus(core::TestKind kind, const core::Deck& deck, const core::IntField& matnum,
               const core::RealField& phiw, double omega, int cycle, core::Coefficients& c, core::TextOut& out) {
  const bool shear = kind == core::TestKind::shear;
  const bool ice = deck.key_model == 0;
  std::optional<ElasticPlots> plots;
  if (cycle == 1) plots.emplace();

  for (int j = 1; j <= deck.nx; ++j)
    for (int k = 1; k <= deck.ny; ++k) {
      const bool first = j == 1 && k == 1;
      const int n = matnum(j, k);
      const double phi = phiw(j, k);
      const double ks1 = deck.ak_s1(n), mus1 = deck.xmu_s1(n);
      const double ks3 = deck.ak_s3(n), mus3 = deck.xmu_s3(n);

      // 1. Volume fractions.
      const CellFractions f = split_fractions(deck, n, phi);
      if (ice && first) print_ice_block(out, j, k, phi, f);
      require_unit_sum(f);
      const double phi1 = f.phi1, phi3 = f.phi3, s1 = f.s1, s3 = f.s3;

      // 2. Moduli of the dry frames of the two solids.
      double km1, mum1, km3, mum3;
      if (ice) {
        // Grain frame: its shear modulus follows a percolation-type power law
        // of the ice content of the pores; its bulk modulus is fixed.
        double k_hs1, mu_hs1, k_hs3, mu_hs3;
        kt(ks1, mus1, deck.ak_air(n), deck.xmu_air(n), 1.0 - phi1, k_hs1, mu_hs1);
        const double p = std::pow(phi3 / (1.0 - phi1), 3.8);
        mum1 = (mu_hs1 - 1.31e10) * p + 1.31e10;
        km1 = 1.44e10;
        kt(ks3, mus3, deck.ak_air(n), deck.xmu_air(n), phi1, k_hs3, mu_hs3);
        km3 = p * k_hs3;
        mum3 = p * mu_hs3;
      } else {
        // Krief's model.
        const double e = std::pow(1.0 - phi, 1.0 + 2.0 / (1.0 - phi));
        km1 = (1.0 - s3) * ks1 * e;
        mum1 = km1 * mus1 / ks1 * std::exp(-std::sqrt(s3 * (1.0 - s3)));
        km3 = s3 * ks3 * e;
        mum3 = km3 * mus3 / ks3;
        if (first) out.line(" output of  Krief s model  eqs. (A.8)-(A.9)");
      }

      // 3. Consolidation coefficients.
      const double c1 = km1 / (phi1 * ks1);
      const double c3 = km3 / (phi3 * ks3);
      const double g1 = mum1 / (phi1 * mus1);
      const double g3 = mum3 / (phi3 * mus3);
      if (shear && first) {
        out.list(" coef. consolidacion (A.1) y (A.3)");
        out.list("c1 = ", c1, " c3 = ", c3);
        out.list(" ");
        out.list("g1 = ", g1, " g3 = ", g3);
        out.blank();
      }

      // 4. Average terms; the fluid's viscosity brings in the frequency.
      const double kav = 1.0 / ((1.0 - c1) * phi1 / ks1 + phi / deck.akf(n) + (1.0 - c3) * phi3 / ks3);
      const double eta = deck.eta(n);
      const double muav =
          eta > 0.0 ? 1.0 / ((1.0 - g1) * phi1 / mus1 + (1.0 - g3) * phi3 / mus3 + phi / (2.0 * omega * eta)) : 0.0;

      // 5. Shear moduli.
      const double mu1 = ((1.0 - g1) * phi1) * ((1.0 - g1) * phi1) * muav + mum1;
      const double mu3 = ((1.0 - g3) * phi3) * ((1.0 - g3) * phi3) * muav + mum3;
      const double mu13 = (1.0 - g1) * (1.0 - g3) * phi1 * phi3 * muav;

      // 6. Effective-stress coefficients and Gassmann-type moduli.
      const double alfa1 = s1 - km1 / ks1;
      const double alfa3 = s3 - km3 / ks3;
      const double kg1 = km1 + alfa1 * alfa1 * kav;
      const double kg3 = km3 + alfa3 * alfa3 * kav;
      const double kg = km1 + km3 + (alfa1 + alfa3) * (alfa1 + alfa3) * kav;

      // 7. Moduli of the relative-fluid formulation.
      const double s1phi = s1 * phi, s3phi = s3 * phi;
      const double K1 = kg1 - 2.0 * alfa1 * s1 * phi * kav + s1phi * s1phi * kav;
      const double K2 = phi * phi * kav;
      const double K3 = kg3 - 2.0 * alfa3 * s3 * phi * kav + s3phi * s3phi * kav;
      const double C12 = phi * kav * (alfa1 - s1 * phi);
      const double C23 = phi * kav * (alfa3 - s3 * phi);
      const double C13 = kav * (alfa1 - s1 * phi) * (alfa3 - s3 * phi);
      if (first) {
        out.blank();
        out.list("Moduli  as in eqs. (A.2),(A.5),(A.6),(A.7)");
        out.blank();
        out.list("used in contitutive eqs. (4.6)--(4.8)");
        out.blank();
        out.list("alfa1,alfa3 =", alfa1, alfa3);
        out.blank();
        out.blank();
        out.list("Kav(GPa)    = ", kav / 1e9);
        out.list("K1(GPa)     = ", K1 / 1e9);
        out.list("K2(GPa)     = ", K2 / 1e9);
        out.list("K3(GPa)     = ", K3 / 1e9);
        out.list("C12(GPa)    = ", C12 / 1e9);
        out.list("C13(GPa)    = ", C13 / 1e9);
        out.list("C23(GPa)    = ", C23 / 1e9);
        out.blank();
        out.blank();
        out.list(" rigidity modulus mu1,mu3,mu13,muav eqs.  (A.1)");
        out.list("xmuav(GPa)  = ", muav / 1e9);
        out.blank();
        out.list("mu1(GPa)    = ", mu1 / 1e9);
        out.list("mu3(GPa)    = ", mu3 / 1e9);
        out.list("mu13(GPA)   = ", mu13 / 1e9);
        out.blank();
        out.blank();
        out.list("  Gassmann moduli  eqs. (A.7)");
        out.blank();
        out.list("KG1(GPa)    = ", kg1 / 1e9);
        out.list("KG3(GPa)    = ", kg3 / 1e9);
        out.list("KG(GPa)     = ", kg / 1e9);
      }

      // 8. Moduli of the absolute-displacement formulation (algebraically
      // H1 = KG1, H3 = KG3, B1 = alfa1 Kav, B2 = alfa3 Kav, B3 = alfa1 alfa3 Kav).
      const double H1 = K1 + 2.0 * s1 * C12 + s1 * s1 * K2;
      const double H3 = K3 + 2.0 * s3 * C23 + s3 * s3 * K2;
      const double B1 = (s1 * K2 + C12) / phi;
      const double B2 = (s3 * K2 + C23) / phi;
      const double B3 = C13 + s3 * C12 + s1 * C23 + s1 * s3 * K2;
      const double M = kav;

      // 9. Coefficients of the plane-strain law.
      const double lambda1 = H1 - mu1;
      const double lambda3 = H3 - mu3;
      const double d3 = B3 - mu13 / 2.0;

      // 10. A negative lambda1 is a warning for any cell but (1,1).
      if (lambda1 <= 0.0) warn_negative_lambda1(out, j, k, lambda1);

      // 11. Report of cell (1,1), which must have positive lambdas.
      if (first) {
        out.list(" element j,k = ", j, k);
        out.blank();
        out.blank();
        out.list("Modulos elasticos notacion Kestro et al. JASA 04");
        out.list("(en Pa)");
        out.blank();
        out.list("H1=K_{G1}(GPa)     = ", H1 / 1e9);
        out.list("H3=K_{G3}(GPa)     = ", H3 / 1e9);
        out.list("B1(GPa)            = ", B1 / 1e9);
        out.list("B2(GPa)            = ", B2 / 1e9);
        out.list("B3(GPa)            = ", B3 / 1e9);
        out.list("M=k_av(Pa)        = ", M / 1e9);
        out.list("xlambda1(GPa) (2D) = ", lambda1 / 1e9);
        out.list("xlambda3(GPa) (2D) = ", lambda3 / 1e9);
        out.list("d3(GPa) (2D)       = ", d3 / 1e9);
        out.list("xlambda1(GPa) (3D) = ", (H1 - 2.0 * mu1 / 3.0) / 1e9);
        out.list("xlambda3(GPa) (3D) = ", (H3 - 2.0 * mu3 / 3.0) / 1e9);
        out.list("d3(GPa) (3D)       = ", (B3 - mu13 / 3.0) / 1e9);
        out.list("mu1(GPa)           = ", mu1 / 1e9);
        out.list("mu3(GPa)           = ", mu3 / 1e9);
        out.list("mu13(GPA)          = ", mu13 / 1e9);
        out.blank();
        if (lambda1 <= 0.0) {
          warn_negative_lambda1(out, j, k, lambda1);
          core::stop(12345);
        }
        if (lambda3 <= 0.0) core::stop(12346);
      }

      // 12. Store the cell.
      c.lambda1(j, k) = lambda1;
      c.lambda3(j, k) = lambda3;
      c.mu1(j, k) = mu1;
      c.mu3(j, k) = mu3;
      c.mu13(j, k) = mu13;
      c.b1(j, k) = B1;
      c.b2(j, k) = B2;
      c.m(j, k) = M;
      c.d3(j, k) = d3;

      // 13. Plotting files.
      if (plots) {
        plots->mu1.list(j, k, mu1);
        plots->mu3.list(j, k, mu3);
        plots->mu13.list(j, k, mu13);
        plots->lambda1.list(j, k, lambda1);
        plots->lambda3.list(j, k, lambda3);
        plots->b1.list(j, k, B1);
        plots->b2.list(j, k, B2);
        plots->m.list(j, k, M);
        plots->d3.list(j, k, d3);
      }

      // 14. The strain energy must be positive definite in every cell.
      if ((2.0 * mu1 + lambda1) * (2.0 * mu3 + lambda3) - (mu13 + d3) * (mu13 + d3) <= 0.0) {
        if (shear)
          out.list(" strain energy not positive definite ");
        else
          out.list("j,k, strain energy not positive definite ", j, k);
        core::stop(45687);
      } else if (mu1 * mu3 - mu13 * mu13 / 4.0 <= 0.0) {
        if (shear)
          out.list(" strain energy not positive definite");
        else
          out.list(" j,k,strain energy not positive definite", j, k);
        core::stop(45688);
      }
    }

  if (plots) {
    ElasticPlots& p = *plots;
    for (core::TextOut* f : {&p.mu1, &p.mu3, &p.mu13, &p.lambda1, &p.lambda3, &p.b1, &p.b2, &p.m, &p.d3})
      f->close();
  }
}

}  // namespace model
