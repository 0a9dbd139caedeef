// Every stop of the coefficient routines with its code and message, and the
// cases that only warn. (The material map's and the fractions' stops on a
// deck are in the hardening catalogue.)
#include <gtest/gtest.h>

#include <functional>

#include "model/e_modulus.hpp"
#include "model/mass_visco_coef.hpp"
#include "support.hpp"

namespace {

using K = core::TestKind;
using model_test::Sample;
using Spoil = std::function<void(Sample&)>;

// Runs both routines on a spoilt two-cell sample.
std::unique_ptr<Sample> run(bool ice, Spoil spoil, K kind, core::TextOut& out) {
  auto s = model_test::make_sample(ice ? model_test::ice_deck(1, 2) : model_test::shale_deck(1, 2));
  spoil(*s);
  model::e_modulus(kind, s->deck, s->matnum, s->phiw, 2 * M_PI * 10, 2, s->c, out);
  model::mass_visco_coef(kind, s->deck, s->matnum, s->phiw, 2, s->c, out);
  return s;
}
// The same, the report on standard error where death tests look for it.
void die(bool ice, Spoil spoil, K kind = K::compressional) {
  std::fflush(stdout);
  dup2(2, 1);
  run(ice, spoil, kind, core::TextOut::report());
}

Spoil grains(int n, double f) {
  return [=](Sample& s) { s.deck.xmu_s1(n) = f * s.deck.ak_s1(n); };
}
Spoil b13(int n, double v) {
  return [=](Sample& s) { s.deck.coef_b13(n) = v; };
}

using Stops = model_test::InTempDir;

TEST_F(Stops, EachWithItsCodeAndMessage) {
  // control1 = b12 b23 / phi^2 + b13 f22 < 0 below b13 = -t; control2 = control1
  // + b13 f22 fails first between -t and -t/2.
  const core::Deck d = model_test::ice_deck(1, 2);
  const model::MassCell m = model::mass_cell(K::compressional, d, 1, 0.1, model::split_fractions(d, 1, 0.1));
  const double t = m.coef_b12 * m.coef_b23 / (m.coef_b12 + m.coef_b23);
  struct Case { const char* what; std::function<void()> die; int code; const char* message; };
  const Case cases[] = {
      // The two solid fractions cancel to rounding.
      {"absurd shale", [] { die(false, [](Sample& s) { s.deck.s3(2) = 1e17; }); }, 555, "STOP 555"},
      // Grains far stiffer in shear than in compression: lambda < 0 in the first cell, warned twice.
      {"lambda1 < 0", [] { die(false, grains(1, 20)); }, 12345,
       "neg. lambda1 j,k    1 1 -[0-9.e+]+\n(.*\n)+ mu13\\(GPA\\).*\n\n  neg. lambda1 j,k    1 1 .*\nSTOP 12345"},
      {"lambda3 < 0", [] { die(false, [](Sample& s) { s.deck.xmu_s3(1) = 20 * s.deck.ak_s3(1); }); }, 12346,
       "mu13\\(GPA\\)          = [^\n]*\n\nSTOP 12346"},
      // A negative grain shear modulus in the upper layer, in both tests' wordings.
      {"45687", [] { die(false, grains(2, -2)); }, 45687, " j,k, strain energy not positive definite  1 2\nSTOP 45687"},
      {"45687 shear", [] { die(false, grains(2, -2), K::shear); }, 45687,
       "\n  strain energy not positive definite \nSTOP 45687"},
      {"45688", [] { die(false, grains(2, -0.1)); }, 45688, "  j,k,strain energy not positive definite 1 2\nSTOP 45688"},
      {"45688 shear", [] { die(false, grains(2, -0.1), K::shear); }, 45688,
       "\n  strain energy not positive definite\nSTOP 45688"},
      {"control1", [=] { die(true, b13(1, -1.5 * t)); }, 99999,
       " f22      = [^\n]*\n control1 \\(must be  positive\\)  = -[^\n]*\nSTOP 99999"},
      {"control2", [=] { die(true, b13(1, -0.75 * t)); }, 99998,
       " b22  = [^\n]*\n control2 \\(must be  positive\\)  = -[^\n]*\nSTOP 99998"},
  };
  for (const Case& c : cases) EXPECT_EXIT(c.die(), ::testing::ExitedWithCode(c.code & 255), c.message) << c.what;
}

// The same faults in any cell but (1,1) are stored as they are; lambda1 is warned.
TEST_F(Stops, OnlyTheFirstCellStops) {
  std::unique_ptr<Sample> s;
  const std::string r = model_test::report_of([&](core::TextOut& out) {
    s = run(false, [](Sample& s) { grains(2, 20)(s), b13(2, -1e20)(s); }, K::compressional, out);
  });
  EXPECT_NE(r.find("  neg. lambda1 j,k    1 2 -"), std::string::npos) << r;
  EXPECT_TRUE(s->c.lambda1(1, 2) < 0 && s->c.f11(1, 2) < 0);
}

}  // namespace
