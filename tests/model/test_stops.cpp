// Every stop of the coefficient routines with its code and message, and the
// cases that only warn. (The material map's and the fractions' stops on a
// deck are in the hardening catalogue.)
#include <functional>
#include <string>
#include <utility>

#include "core/stop.hpp"
#include "core/stop_error.hpp"
#include "model/e_modulus.hpp"
#include "model/mass_visco_coef.hpp"
#include "support.hpp"

namespace {

using K = core::TestKind;
using Spoil = std::function<void(core::Deck&)>;

// Runs both routines on a two-cell sample of a spoilt example material.
std::unique_ptr<model_test::Sample> run(core::Deck d, const Spoil& spoil, K kind, core::TextOut& out) {
  spoil(d);
  auto s = std::make_unique<model_test::Sample>(d);
  s->coefficients(kind, 2 * M_PI * 10, out);
  return s;
}

// A stop as a program's main ends the run: the routines throw it, main
// turns it into the report line, the sentence and the exit status.
void run_as_main(const core::Deck& d, const Spoil& spoil, K kind) {
  try {
    run(d, spoil, kind, core::TextOut::report());
  } catch (const core::StopError& e) {
    core::end_run(e);
  }
}

// Grains of material n with a shear modulus f times their bulk modulus.
Spoil grains(int n, double f) { return [=](core::Deck& d) { d.xmu_s1(n) = f * d.ak_s1(n); }; }
Spoil b13(int n, double v) { return [=](core::Deck& d) { d.coef_b13(n) = v; }; }

TEST(Stops, EachWithItsCodeAndMessage) {
  // control1 = b12 b23 / phi^2 + b13 f22 < 0 below b13 = -t; control2 = control1
  // + b13 f22 fails first between -t and -t/2.
  const core::Deck ice = model_test::ice_deck(1, 2), shale = model_test::shale_deck(1, 2);
  const model::MassCell m = model::mass_cell(K::compressional, ice, 1, 0.1, model::split_fractions(ice, 1, 0.1));
  const double t = m.coef_b12 * m.coef_b23 / (m.coef_b12 + m.coef_b23);
  struct Case { const core::Deck& deck; Spoil spoil; K kind; int code; const char* message; };
  const Case cases[] = {
      // The two solid fractions cancel to rounding.
      {shale, [](core::Deck& d) { d.s3(2) = 1e17; }, K::compressional, 555, "STOP 555"},
      // Grains far stiffer in shear than in compression: lambda < 0 in the first cell, warned twice.
      {shale, grains(1, 20), K::compressional, 12345,
       "neg. lambda1 j,k    1 1 -[0-9.e+]+\n(.*\n)+ mu13\\(GPA\\).*\n\n  neg. lambda1 j,k    1 1 .*\nSTOP 12345"},
      {shale, [](core::Deck& d) { d.xmu_s3(1) = 20 * d.ak_s3(1); }, K::compressional, 12346,
       "mu13\\(GPA\\)          = [^\n]*\n\nSTOP 12346"},
      // A negative grain shear modulus in the upper layer, in both tests' wordings.
      {shale, grains(2, -2), K::compressional, 45687, " j,k, strain energy not positive definite  1 2\nSTOP 45687"},
      {shale, grains(2, -2), K::shear, 45687, "\n  strain energy not positive definite \nSTOP 45687"},
      {shale, grains(2, -2), K::shear, 45687, "the strain energy of a cell is not positive definite"},  // the sentence
      {shale, grains(2, -0.1), K::compressional, 45688, "  j,k,strain energy not positive definite 1 2\nSTOP 45688"},
      {shale, grains(2, -0.1), K::shear, 45688, "\n  strain energy not positive definite\nSTOP 45688"},
      {ice, b13(1, -1.5 * t), K::compressional, 99999,
       " f22      = [^\n]*\n control1 \\(must be  positive\\)  = -[^\n]*\nSTOP 99999"},
      {ice, b13(1, -0.75 * t), K::compressional, 99998,
       " b22  = [^\n]*\n control2 \\(must be  positive\\)  = -[^\n]*\nSTOP 99998"},
  };
  for (const Case& c : cases)  // the report on standard error, where death tests look for it
    EXPECT_EXIT((std::fflush(stdout), dup2(2, 1), run_as_main(c.deck, c.spoil, c.kind)),
                ::testing::ExitedWithCode(c.code & 255), c.message) << c.code;
}

using FirstCell = model_test::InTempDir;

// The routines themselves end nothing: they throw the stop, with its code,
// and the process goes on. The same faults in any cell but (1,1) are stored as they are; lambda1 is
// warned. The second strain-energy test is that of the shear block {mu1,
// mu13/2; mu13/2, mu3}, positive definite when mu1 mu3 > mu13^2 / 4. Empty
// pores of negative shear stiffness (a frame of solid 3 of negative shear
// modulus) and a viscous fluid give a cell just inside, with mu1 mu3 <
// mu13^2: it passes.
TEST_F(FirstCell, StopsAreThrownOnlyTheFirstCellStopsAndAShearBlockJustPositiveDefinitePasses) {
  std::unique_ptr<model_test::Sample> s, soft;
  const std::string r = model_test::report_of([&](core::TextOut& out) {
    const Spoil both = [](core::Deck& d) { grains(2, 20)(d), b13(2, -1e20)(d); };
    s = run(model_test::shale_deck(1, 2), both, K::compressional, out);
    const Spoil pores = [](core::Deck& d) { d.xmu_air(2) = -6.13e9, d.eta(2) = 1e7; };
    soft = run(model_test::ice_deck(1, 2), pores, K::compressional, out);
    try {
      run(model_test::shale_deck(1, 2), grains(2, -2), K::compressional, out), ADD_FAILURE() << "no stop";
    } catch (const core::StopError& e) {
      EXPECT_TRUE(e.code() == 45687 && e.what() == core::stop_meaning(45687)) << e.code() << " " << e.what();
    }
  });
  EXPECT_NE(r.find("  neg. lambda1 j,k    1 2 -"), std::string::npos) << r;
  EXPECT_TRUE(s->c.lambda1(1, 2) < 0 && s->c.f11(1, 2) < 0);
  const double mu1 = soft->c.mu1(1, 2), mu3 = soft->c.mu3(1, 2), mu13 = soft->c.mu13(1, 2);
  EXPECT_TRUE(mu1 * mu3 > mu13 * mu13 / 4 && mu1 * mu3 < mu13 * mu13) << mu1 << " " << mu3 << " " << mu13;
}

}  // namespace
