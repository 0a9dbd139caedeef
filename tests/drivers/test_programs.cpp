// The three programs as processes: the files a normal run leaves, the
// moduli against the maps, the tables and identities of the tests, closed
// forms of a homogeneous sample, convergence under refinement; the shear
// estimate's rounding rule in process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "drivers/shear_results.hpp"
#include "results.hpp"

using core::cdiv;
using namespace support;
using namespace results;

namespace {

constexpr int kFreq = 1, kNfreq = 3, kNx = 5, kNy = 6, kPhiLayer1 = 17, kPhiLayer2 = 37;
const std::string kRho = "average density rob_med is (kg/m**3)";

Deck grid(Deck d, int nx, int ny) {  // two layers of ny / 2 cell rows
  for (const auto& [record, value] : std::initializer_list<std::pair<int, int>>{{kNx, nx}, {kNy, ny}, {10, ny / 2}, {30, ny / 2}})
    d = with_record(d, record, std::to_string(value));
  return d;
}
zcomplex c33(const Outcome& r) { return modulus(r, "using averages Re(c33) FE        = ", "using averages Im(c33) FE        = "); }
zcomplex mstar(const Outcome& r) { return modulus(r, "from deltavol1 Re(p33) FE mstar      = ", "from deltavol1 Im(p33) FE mstar      = "); }
zcomplex cmu(const Outcome& r) { return modulus(r, "Re(cmu) FE                   = ", "Im(cmu) FE                   = "); }
zcomplex tied(const Outcome& r) { return modulus(r, "tied modulus M_T (Pa) = "); }
zcomplex maps_ratio(const Outcome& r) {
  return cdiv(map_sum(r, "real_stress_map", "imag_stress_map"), map_sum(r, "real_strain1_map", "imag_strain1_map"));
}

// The files a run leaves, sorted.
std::vector<std::string> result_files(const std::string& program, const std::string& s) {
  std::vector<std::string> f = {"cell_maps.vtk", "run.json", "b1_gnu", "b2_gnu", "d3_gnu", "imag_strain1_map", "imag_strain3_map", "imag_stress_map",
                                "matnum_p33", "matnum_p33_gnu", "real_strain1_map", "real_strain3_map", "real_stress_map",
                                "xlambda1_gnu", "xlambda3_gnu", "xm_gnu", "xmu13_gnu", "xmu1_gnu", "xmu3_gnu"};
  if (program == "pwave_upscale")
    f.insert(f.end(), {"1000_over_q_anal.phiw", "1000_over_q_eq.phiw", "fort.18", "fort.54", "mod_grad_pressure_p33_ice",
                       "mod_pressure_p33_ice", "vp_anal.phiw", "vp_eq.phiw"});
  else
    f.insert(f.end(), {"1000_over_qs_anal" + s, "1000_over_qs_eq" + s, "b11_gnu", "b12_gnu", "b22_gnu",
                       "mod_grad_pressure_p55_ice", "mod_pressure_p55_ice", "vs_anal" + s, "vs_eq" + s});
  std::sort(f.begin(), f.end());
  return f;
}

// c33 from the maps; mstar from the layered sample's top displacement, the
// column sum of the strain; the tables; p3 = -nx domain_size h / deltavol3
// in the step files.
void check_compressional(const Outcome& r, const Deck& deck) {
  const double water = std::stod(deck.at(kPhiLayer1 - 1)), h = 0.2 / std::stoi(deck.at(kNy - 1));
  const zcomplex c = c33(r), p3 = -core::crecip(cdiv(modulus(r, "deltavol3="), zcomplex{0.04, 0}));
  EXPECT_LT(rel(maps_ratio(r), c), 1e-12);
  EXPECT_LT(rel(mstar(r) * modulus(r, " av_strain ") * (h * h), zcomplex{-1, 0}), 1e-8);
  const double v = p_velocity(c, r.after(kRho)), q = c.re / c.im;
  EXPECT_NEAR(r.after("using averages  Velocity(m/s) FE = "), v, 1e-9 * v);
  EXPECT_NEAR(r.after("using averages Q FE              = "), q, 1e-9 * std::abs(q));
  EXPECT_EQ(numbers(r.lines("vp_anal.phiw").at(0)).at(0), water);
  for (const auto& [table, abscissa, value] : std::initializer_list<std::tuple<const char*, double, double>>{
           {"vp_eq.phiw", water, v}, {"1000_over_q_eq.phiw", water, 1000 / q}, {"1000_over_q_anal.phiw", 10, NAN},
           {"fort.54", 10, p3.re / p3.im}}) {
    const GPair g = g_pair(r.lines(table).at(0));
    EXPECT_EQ(g.a, abscissa) << table;
    if (!std::isnan(value)) EXPECT_NEAR(g.b, value, 5e-5 * std::abs(value)) << table;
  }
  const std::vector<double> f18 = numbers(r.lines("fort.18").at(0));
  EXPECT_LT(rel(zcomplex{f18.at(1), f18.at(2)}, p3), 1e-12);
}

// cmu = 1 / ctita with a signed Q; c13 half the ratio of the map sums, the
// stress of solid 1 alone, with an absolute Q; tables at the imposed water
// proportion; one material.
void check_shear(const Outcome& r, const std::string& s) {
  zcomplex ctita{};
  ASSERT_EQ(std::sscanf(r.out.c_str() + r.out.find("tangent angle ctita (") + 21, "%lf,%lf)", &ctita.re, &ctita.im), 2);
  EXPECT_LT(rel(core::crecip(ctita), cmu(r)), 1e-14);
  EXPECT_FLOAT_EQ(r.after("Q  FE                        = "), static_cast<float>(cmu(r).re / cmu(r).im));
  const zcomplex c13 = modulus(r, "Re(c13) FE                   = ", "Im(cc13) FE                   = ");
  EXPECT_LT(rel(0.5 * maps_ratio(r), c13), 1e-12);
  EXPECT_NEAR(c13.re, column(r, "xmu1_gnu").at(0), 1e-9 * c13.re);
  const float v = std::sqrt(core::cabs(c13) / r.after(kRho)) * std::cos(0.5 * std::atan2(c13.im, c13.re));
  const float q = std::abs(c13.re / c13.im);
  EXPECT_FLOAT_EQ(r.after("Velocity(m/s) FE             = ", " av_stress "), v);
  EXPECT_FLOAT_EQ(r.after("Q  FE                        = ", " av_stress "), q);
  for (const auto& [table, value] : std::initializer_list<std::pair<std::string, double>>{
           {"vs_eq", v}, {"1000_over_qs_eq", 1000 / q}, {"vs_anal", NAN}, {"1000_over_qs_anal", NAN}}) {
    const GPair g = g_pair(r.lines(table + s).at(0));
    EXPECT_EQ(g.first, s == ".freq" ? "    0.20000    " : "    0.28000    ") << table;
    if (!std::isnan(value)) EXPECT_NEAR(g.b, value, 5e-5 * value) << table;
  }
  EXPECT_GT(g_pair(r.lines("vs_anal" + s).at(0)).b, v);  // the solids locked together are stiffer
  for (const std::string& line : r.lines("matnum_p33")) EXPECT_EQ(line, " 1");
}

}  // namespace

TEST(Programs, ExampleDecksEndNormallyWithTheirFilesAndResults) {
  for (const std::string program : {"pwave_upscale", "swave_spectrum", "swave_saturation"}) {
    const std::string s = program == "swave_spectrum" ? ".freq" : ".phiw", first = program[0] == 'p' ? "vp_anal" : "vs_anal";
    for (const char* name : {"ice_small.deck", "shale_small.deck", "ice.deck", "shale.deck"}) {
      SCOPED_TRACE(program + " " + name);
      const Deck deck = deck_lines(name);
      const std::size_t nx = std::stoul(deck.at(kNx - 1)), ny = std::stoul(deck.at(kNy - 1));
      const Outcome r = run(program, join(deck), prepared("seq 5 > " + first + s));  // a stale table is rewritten
      ASSERT_EQ(r.status, 40) << r.describe();
      EXPECT_EQ(r.err, "STOP 40\n");
      ASSERT_EQ(r.files(), result_files(program, s));
      for (const std::string& f : r.files())
        if (f != "run.json" && f != "cell_maps.vtk") EXPECT_EQ(r.lines(f).size(), contains(f, ".") ? 1u : f.starts_with("mod_grad") ? (nx - 2) * (ny - 2) : nx * ny) << f;
      if (program[0] == 'p') check_compressional(r, deck); else check_shear(r, s);
      // After the specified results, passive, with their velocities and
      // 1000/Q: the tied and work moduli; then the running time in f15.6.
      const std::size_t block = r.out.find("\n\n tied modulus M_T (Pa) = "), time = r.out.rfind("\n\n running time=");
      EXPECT_LT(r.out.rfind(program[0] == 'p' ? "using averages" : "Im(cc13) FE"), block);
      ASSERT_LT(block, time);
      for (const std::string kind : {"tied modulus M_T", "work modulus M_W"}) {
        const zcomplex m = modulus(r, kind + " (Pa) = ");
        const double v = p_velocity(m, r.after(kRho)), over_q = 1000 * m.im / m.re;
        EXPECT_GT(m.im, -1e-12 * m.re) << kind;
        EXPECT_NEAR(r.after(kind.substr(0, 5) + "velocity (m/s) = "), v, 1e-12 * v) << kind;
        EXPECT_NEAR(r.after(kind.substr(0, 5) + "1000/Q = "), over_q, 1e-12 * (1 + over_q)) << kind;
      }
      const std::string last = r.out.substr(time + 16);
      EXPECT_TRUE(last.size() == 21 && last.ends_with("hours\n") && last[8] == '.' && std::stod(last) >= 0) << last;
    }
  }
}

TEST(Programs, HomogeneousSampleAgainstClosedForms) {
  // One material, sealed: no relative flow, so c33 = lambda1 + 2 mu1 and
  // M_T = A + B + 2C (both solids sharing a linear displacement), real, at
  // any frequency; at 1 Hz the fast plane wave moves both solids together.
  // Slowly each solid deforms under its own unit load: mstar = (AB - C^2) /
  // (B - C); fast, they move together: mstar = (A + B + 2C) / 2.
  const Deck ice = deck_lines("ice_small.deck"), deck = with_record(ice, kPhiLayer2, ice[kPhiLayer1 - 1]);
  for (const double freq : {1e-4, 1.0, 1e5}) {
    const Outcome r = run("pwave_upscale", join(with_record(deck, kFreq, std::to_string(freq))));
    ASSERT_EQ(r.status, 40) << r.err;
    const double a = column(r, "xlambda1_gnu").at(0) + 2 * column(r, "xmu1_gnu").at(0);
    const double b = column(r, "xlambda3_gnu").at(0) + 2 * column(r, "xmu3_gnu").at(0);
    const double c = column(r, "d3_gnu").at(0) + column(r, "xmu13_gnu").at(0), locked = a + b + 2 * c;
    EXPECT_LT(rel(c33(r), zcomplex{a, 0}), 1e-7) << freq;
    EXPECT_LT(rel(tied(r), zcomplex{locked, 0}), 1e-9) << freq;
    const double vp1 = r.after(" vp1 = "), slow = (a * b - c * c) / (b - c);
    if (freq == 1) EXPECT_NEAR(r.after(kRho) * vp1 * vp1, locked, 1e-8 * locked);
    if (freq != 1) EXPECT_NEAR(mstar(r).re, freq < 1 ? slow : locked / 2, 1e-4 * a) << freq;
  }
  // The shear programs' sample is one material: M_T = mu1 + mu3 + mu13.
  const Outcome r = run("swave_spectrum", join(with_record(ice, kFreq, "1.0")));
  const double mu = column(r, "xmu1_gnu").at(0) + column(r, "xmu3_gnu").at(0) + column(r, "xmu13_gnu").at(0);
  EXPECT_LT(rel(tied(r), zcomplex{mu, 0}), 1e-9);
  EXPECT_NEAR(r.after(kRho) * r.after("vs1 = ") * r.after("vs1 = "), mu, 1e-8 * mu);
}

TEST(Programs, ModuliConvergeAsTheGridIsRefined) {
  // Two layers at a fixed sample height: each halving of h shrinks the
  // change of a modulus by more than the factor given.
  struct Case {
    const char* program;
    zcomplex (*modulus_of)(const Outcome&);
    double factor, change;
  };
  for (const auto& [program, modulus_of, factor, change] :
       {Case{"pwave_upscale", c33, 0.5, 1e-3}, {"pwave_upscale", mstar, 0.5, 1e-2}, {"swave_spectrum", cmu, 0.75, 1e-3}}) {
    std::vector<zcomplex> m;
    for (int n : {8, 16, 32}) m.push_back(modulus_of(run(program, join(grid(deck_lines("ice_small.deck"), n, n)))));
    EXPECT_LT(core::cabs(m[2] - m[1]), factor * core::cabs(m[1] - m[0])) << program;
    EXPECT_LT(rel(m[2], m[1]), change) << program;
  }
}

TEST(Programs, MapOrderGradientMapOneFrequencyPointImpliedDecimals) {
  // 7 x 4 cells: k outer, j inner; the gradient map holds the interior
  // cells (2..6, 2..3) as (1..5, 1..2), each at least the change of |pres|
  // from the cell below over h (the layered pressure varies along y only).
  const Deck deck = deck_lines("ice_small.deck");
  const Outcome r = run("pwave_upscale", join(grid(deck, 7, 4)));
  const std::vector<std::string> grad = r.lines("mod_grad_pressure_p33_ice");
  const std::vector<double> pres = column(r, "mod_pressure_p33_ice");
  ASSERT_EQ(grad.size(), 10u);
  for (const auto& [lines, width] : {std::pair{r.lines("real_stress_map"), 7u}, std::pair{grad, 5u}})
    for (std::size_t i = 0; i < lines.size(); ++i)
      EXPECT_EQ(numbers(lines[i]).at(0) + width * (numbers(lines[i]).at(1) - 1), i + 1.0) << lines[i];
  for (std::size_t i = 0, at = 8; i < grad.size(); ++i, at = (i / 5 + 1) * 7 + i % 5 + 1)
    EXPECT_GE(numbers(grad[i]).at(2), std::abs(pres.at(at) - pres.at(at - 7)) / 0.05 * (1 - 1e-9)) << grad[i];
  EXPECT_EQ(run("pwave_upscale", join(grid(deck, 2, 4))).file("mod_grad_pressure_p33_ice"), "");  // no interior cell
  // One frequency point: the step frequency is 0/0, in the step files only.
  const Outcome normal = run("pwave_upscale", join(deck)), single = run("pwave_upscale", join(with_record(deck, kNfreq, "1")));
  EXPECT_TRUE(contains(single.file("fort.54"), "NaN")) << single.file("fort.54");
  EXPECT_TRUE(numbers(single.file("fort.18")).empty() || std::isnan(numbers(single.file("fort.18"))[0]));
  for (const char* f : {"vp_anal.phiw", "vp_eq.phiw", "1000_over_q_eq.phiw", "1000_over_q_anal.phiw", "real_stress_map"})
    EXPECT_EQ(single.file(f), normal.file(f)) << f;
  // A (g20.10) value without a decimal point: 920 is read as 920e-10, with one warning.
  const Outcome implied = run("pwave_upscale", join(with_record(deck, 15, "920")));  // ro3(1)
  EXPECT_TRUE(contains(implied.out, "  ro3(kgr/m^3)                  =  9.2e-08\n"));
  EXPECT_TRUE(implied.err.starts_with("warning: standard input, record 15 (ro3(1)): \"920\"")) << implied.err;
  EXPECT_EQ(std::count(implied.err.begin(), implied.err.end(), '\n'), 2) << implied.err;
}

TEST(ShearEstimate, QOfCmuZeroedBelowRoundingSignedAboveQOfC13Absolute) {
  for (const double im : {0.0, 5e-15, -9e-15, 1e-12}) {
    const drivers::ShearEstimate e = drivers::shear_from_angle(core::crecip(zcomplex{2.5, im}), 1.0);
    EXPECT_NEAR(e.modulus.im, std::abs(im) > 1e-14 ? im : 0.0, 1e-24) << im;
    EXPECT_EQ(e.over_q == 0.0, std::abs(im) <= 1e-14) << im;
  }
  const zcomplex m{4e9, -2e8}, av_strain{1e-9, 3e-10};
  EXPECT_FLOAT_EQ(drivers::shear_from_angle(core::crecip(m), 1.0).q, -20.0f);
  EXPECT_FLOAT_EQ(drivers::shear_from_averages(av_strain, 2.0 * (m * av_strain), 1.0).q, 20.0f);
}
