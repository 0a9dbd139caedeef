// pwave_upscale end to end: map order, table formats, and the moduli
// checked against the maps, against identities of the test and against
// closed-form limits of a homogeneous sample.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/complex.hpp"
#include "run_program.hpp"

using core::zcomplex;
using namespace support;

namespace {

// Records of the example decks.
constexpr int kFreq = 1, kNfreq = 3, kNx = 5, kNy = 6, kNl1 = 10, kPhiLayer1 = 17, kNl2 = 30,
              kPhiLayer2 = 37;

Deck grid(Deck d, int nx, int ny, int nl1, int nl2) {
  d = with_record(d, kNx, std::to_string(nx));
  d = with_record(d, kNy, std::to_string(ny));
  d = with_record(d, kNl1, std::to_string(nl1));
  return with_record(d, kNl2, std::to_string(nl2));
}

Outcome run_pwave(const Deck& deck) { return run("pwave_upscale", join(deck)); }

// The two moduli of the report: from the averaged maps and from the top
// displacement of solid 1.
zcomplex c33(const Outcome& r) {
  return {r.after("using averages Re(c33) FE        = "), r.after("using averages Im(c33) FE        = ")};
}
zcomplex mstar(const Outcome& r) {
  return {r.after("from deltavol1 Re(p33) FE mstar      = "), r.after("from deltavol1 Im(p33) FE mstar      = ")};
}

// The compressional velocity of a modulus, 1 / Re(1 / sqrt(P / rho)), in
// polar form: sqrt(|P| / rho) / cos(arg P / 2).
double p_velocity(zcomplex p, double rho) {
  return std::sqrt(core::cabs(p) / rho) / std::cos(0.5 * std::atan2(p.im, p.re));
}

double first_value(const Outcome& r, const std::string& map) { return numbers(r.lines(map).at(0)).at(2); }

}  // namespace

TEST(PwaveResults, MapOrderAndGradientMap) {
  // A grid wider than high, so that nx and ny cannot be mistaken. Cells run
  // with k outer and j inner; the gradient map holds the interior cells
  // (2..6, 2..3) as (1..5, 1..2).
  const Outcome r = run_pwave(grid(deck_lines("ice_small.deck"), 7, 4, 2, 2));
  ASSERT_EQ(r.status, 40) << r.err;
  const std::vector<std::string> grad = r.lines("mod_grad_pressure_p33_ice"), pres = r.lines("mod_pressure_p33_ice");
  ASSERT_EQ(grad.size(), 10u);
  for (const auto& [lines, width] : {std::pair{r.lines("real_stress_map"), 7u}, std::pair{grad, 5u}})
    for (std::size_t i = 0; i < lines.size(); ++i)
      EXPECT_EQ(numbers(lines[i]).at(0) + width * (numbers(lines[i]).at(1) - 1), i + 1.0) << lines[i];
  // The layered sample's pressure varies along y only, so the gradient of a
  // cell is at least the change of |pres| from the cell below over h.
  const double h = 0.2 / 4;
  for (std::size_t i = 0; i < grad.size(); ++i) {
    const std::size_t j = i % 5 + 2, k = i / 5 + 2;
    const double here = numbers(pres.at((k - 1) * 7 + j - 1)).at(2), below = numbers(pres.at((k - 2) * 7 + j - 1)).at(2);
    EXPECT_GE(numbers(grad[i]).at(2), std::abs(here - below) / h * (1 - 1e-9)) << grad[i];
  }
  // Two cells across: no interior cell, an empty gradient map.
  const Outcome narrow = run_pwave(grid(deck_lines("ice_small.deck"), 2, 4, 2, 2));
  ASSERT_EQ(narrow.status, 40) << narrow.err;
  EXPECT_EQ(narrow.files().size(), 27u);
  EXPECT_EQ(narrow.file("mod_grad_pressure_p33_ice"), "");
}

TEST(PwaveResults, ModuliAgreeWithTheMapsAndTheTables) {
  for (const char* name : {"ice_small.deck", "shale_small.deck"}) {
    SCOPED_TRACE(name);
    const Deck deck = deck_lines(name);
    const Outcome r = run_pwave(deck);
    ASSERT_EQ(r.status, 40) << r.err;
    const double water = std::strtod(deck.at(kPhiLayer1 - 1).c_str(), nullptr);
    const double rho = r.after("average density rob_med is (kg/m**3)");

    // c33 is the ratio of the sums of the stress and strain maps.
    const zcomplex c = c33(r), from_maps = core::cdiv(map_sum(r, "real_stress_map", "imag_stress_map"),
                                          map_sum(r, "real_strain1_map", "imag_strain1_map"));
    EXPECT_LT(rel(from_maps, c), 1e-12) << from_maps.re << " " << from_maps.im;
    const double v = p_velocity(c, rho), q = c.re / c.im;
    EXPECT_NEAR(r.after("using averages  Velocity(m/s) FE = "), v, 1e-9 * v);
    EXPECT_NEAR(r.after("using averages Q FE              = "), q, 1e-9 * std::abs(q));
    EXPECT_NEAR(r.after("using averages 1000/Q FE         = "), 1000 / q, 1e-9 * std::abs(1000 / q));

    // The layered sample deforms alike in every column, so the top
    // displacement is the column sum of the strain: mstar av_strain h^2 = -1.
    const zcomplex m = mstar(r);
    const std::vector<double> av = r.values(" av_strain ");
    ASSERT_EQ(av.size(), 2u);
    const zcomplex av_strain{av[0], av[1]};
    const double h = 0.02;
    EXPECT_LT(rel(m * av_strain * (h * h), zcomplex{-1, 0}), 1e-8);
    EXPECT_NEAR(r.after("from deltavol1 Velocity(m/s) FE = "), p_velocity(m, rho), 1e-9 * p_velocity(m, rho));

    // Tables: the deck's water proportion of layer 1 or the frequency, then
    // the values of the report to five digits.
    const std::vector<double> anal = numbers(r.lines("vp_anal.phiw").at(0));
    ASSERT_EQ(anal.size(), 2u);
    EXPECT_EQ(anal[0], water);
    EXPECT_GT(anal[1], 1000.0);
    const GPair vp = g_pair(r.lines("vp_eq.phiw").at(0));
    EXPECT_EQ(vp.a, water);
    EXPECT_NEAR(vp.b, v, 5e-5 * v);
    const GPair oq = g_pair(r.lines("1000_over_q_eq.phiw").at(0));
    EXPECT_EQ(oq.first, vp.first);
    EXPECT_NEAR(oq.b, 1000 / q, 5e-5 * std::abs(1000 / q));
    const GPair oqa = g_pair(r.lines("1000_over_q_anal.phiw").at(0));
    EXPECT_EQ(oqa.first, "     10.000    ");
    EXPECT_GT(oqa.b, 0.0);

    // fort.18: the modulus of the top displacement of solid 3,
    // -nx domain_size h / deltavol3; fort.54: its Q.
    const std::vector<double> dv3 = r.values("deltavol3=");
    const zcomplex p3 = -core::crecip(core::cdiv(zcomplex{dv3.at(0), dv3.at(1)}, zcomplex{10 * 0.2 * h, 0}));
    const std::vector<double> f18 = numbers(r.lines("fort.18").at(0));
    ASSERT_EQ(f18.size(), 3u);
    EXPECT_NEAR(f18[0], 10.0, 1e-12);
    EXPECT_LT(rel(zcomplex{f18[1], f18[2]}, p3), 1e-12);
    const GPair f54 = g_pair(r.lines("fort.54").at(0));
    EXPECT_EQ(f54.first, "     10.000    ");
    EXPECT_NEAR(f54.b, p3.re / p3.im, 5e-5 * std::abs(p3.re / p3.im));
  }
}

TEST(PwaveResults, HomogeneousSampleAgainstClosedForms) {
  // One material: no relative flow of the fluid (sealed sample), the cell
  // stress is that of solid 1 alone, so c33 = lambda1 + 2 mu1 exactly.
  const Deck ice = deck_lines("ice_small.deck"), deck = with_record(ice, kPhiLayer2, ice[kPhiLayer1 - 1]);
  const Outcome r = run_pwave(deck);
  ASSERT_EQ(r.status, 40) << r.err;
  const double a = first_value(r, "xlambda1_gnu") + 2 * first_value(r, "xmu1_gnu");
  const double b = first_value(r, "xlambda3_gnu") + 2 * first_value(r, "xmu3_gnu");
  const double c = first_value(r, "d3_gnu") + first_value(r, "xmu13_gnu");
  EXPECT_NEAR(c33(r).re, a, 1e-9 * a);
  EXPECT_LT(std::abs(c33(r).im), 1e-6 * a);
  // The analytic fast wave moves both solids together: (A + B + 2C) / rho,
  // inertia being negligible at 10 Hz.
  const double rho = r.after("average density rob_med is (kg/m**3)");
  EXPECT_NEAR(r.after(" vp1 = "), std::sqrt((a + b + 2 * c) / rho), 1e-6 * r.after(" vp1 = "));

  // Both solids carry a unit load on top. Slowly, friction between them
  // does not act and each deforms on its own: mstar = (AB - C^2) / (B - C).
  // Fast, they move together: mstar = (A + B + 2C) / 2.
  const Outcome slow = run_pwave(with_record(deck, kFreq, "1.0e-4"));
  ASSERT_EQ(slow.status, 40) << slow.err;
  EXPECT_NEAR(mstar(slow).re, (a * b - c * c) / (b - c), 1e-4 * a);
  const Outcome fast = run_pwave(with_record(deck, kFreq, "1.0e+5"));
  ASSERT_EQ(fast.status, 40) << fast.err;
  EXPECT_NEAR(mstar(fast).re, (a + b + 2 * c) / 2, 1e-4 * a);
}

TEST(PwaveResults, ModuliConvergeAsTheGridIsRefined) {
  // Two layers at a fixed sample height: each halving of h shrinks the
  // change of both moduli by more than half.
  std::vector<zcomplex> c, m;
  for (int n : {8, 16, 32}) {
    const Outcome r = run_pwave(grid(deck_lines("ice_small.deck"), n, n, n / 2, n / 2));
    ASSERT_EQ(r.status, 40) << r.err;
    c.push_back(c33(r));
    m.push_back(mstar(r));
  }
  EXPECT_LT(core::cabs(c[2] - c[1]), 0.5 * core::cabs(c[1] - c[0]));
  EXPECT_LT(core::cabs(m[2] - m[1]), 0.5 * core::cabs(m[1] - m[0]));
  EXPECT_LT(rel(c[2], c[1]), 1e-3);
}

TEST(PwaveResults, OneFrequencyPointLeavesNotANumberOnlyInTheStepFiles) {
  const Deck deck = deck_lines("ice_small.deck");
  const Outcome normal = run_pwave(deck);
  const Outcome single = run_pwave(with_record(deck, kNfreq, "1"));
  ASSERT_EQ(single.status, 40) << single.err;
  EXPECT_TRUE(contains(single.file("fort.54"), "NaN")) << single.file("fort.54");
  EXPECT_TRUE(numbers(single.file("fort.18")).empty() || std::isnan(numbers(single.file("fort.18"))[0]));
  for (const char* f : {"vp_anal.phiw", "vp_eq.phiw", "1000_over_q_eq.phiw", "1000_over_q_anal.phiw",
                        "real_stress_map", "mod_pressure_p33_ice"})
    EXPECT_EQ(single.file(f), normal.file(f)) << f;
}
