// The shear programs: their estimates in process (elastic limit, signs of
// the two Q), and swave_spectrum / swave_saturation as processes (files,
// tables at the imposed water proportion, moduli against the maps, stops).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/complex.hpp"
#include "deck_files.hpp"
#include "drivers/shear_results.hpp"
#include "program_run.hpp"

using core::zcomplex;
using deck_files::first_records;
using deck_files::join;
using deck_files::lines_of;
using deck_files::with_record;
using drivers::ShearEstimate;
using program_run::g_pair;
using program_run::numbers;
using program_run::Outcome;

namespace {

struct Program {
  const char* name;
  const char* suffix;
  const char* water;  // the imposed water proportion in g15.5 form
};
constexpr Program kPrograms[] = {{"swave_spectrum", ".freq", "    0.20000    "},
                                 {"swave_saturation", ".phiw", "    0.28000    "}};

// The shear velocity of a modulus, Re(sqrt(P / rho)), in polar form.
double s_velocity(zcomplex p, double rho) {
  return std::sqrt(core::cabs(p) / rho) * std::cos(0.5 * std::atan2(p.im, p.re));
}

}  // namespace

TEST(ShearEstimate, ElasticResponseHasInfiniteQ) {
  // An imaginary part of cmu of at most 1e-14 is rounding: Q infinite,
  // 1000/Q zero.
  for (double im : {0.0, 5e-15, -9e-15}) {
    const ShearEstimate e = drivers::shear_from_angle(core::crecip(zcomplex{2.5, im}), 1.0);
    EXPECT_EQ(e.modulus.im, 0.0) << im;
    EXPECT_NEAR(e.modulus.re, 2.5, 1e-15);
    EXPECT_TRUE(std::isinf(e.q) && e.q > 0) << im;
    EXPECT_EQ(e.over_q, 0.0) << im;
    EXPECT_FLOAT_EQ(e.velocity, static_cast<float>(std::sqrt(2.5)));
  }
  // Above the threshold the part is kept.
  const ShearEstimate kept = drivers::shear_from_angle(core::crecip(zcomplex{1.0, 1e-12}), 1.0);
  EXPECT_NEAR(kept.modulus.im, 1e-12, 1e-24);
  EXPECT_FLOAT_EQ(kept.q, 1e12f);
}

TEST(ShearEstimate, SignedQOfCmuAbsoluteQOfC13) {
  // A negative imaginary part gives a negative Q of cmu ...
  const zcomplex cmu{4e9, -2e8};
  const ShearEstimate angle = drivers::shear_from_angle(core::crecip(cmu), 2000.0);
  EXPECT_FLOAT_EQ(angle.q, -20.0f);
  EXPECT_NEAR(angle.over_q, -50.0, 1e-5);
  EXPECT_FLOAT_EQ(angle.velocity, static_cast<float>(s_velocity(cmu, 2000.0)));
  // ... and a positive Q of c13 = av_stress / (2 av_strain).
  const zcomplex av_strain{1e-9, 3e-10};
  const zcomplex av_stress = 2.0 * (cmu * av_strain);
  const ShearEstimate avg = drivers::shear_from_averages(av_strain, av_stress, 2000.0);
  EXPECT_NEAR(avg.modulus.re, cmu.re, 1e-6 * cmu.re);
  EXPECT_NEAR(avg.modulus.im, cmu.im, 1e-6 * cmu.re);
  EXPECT_FLOAT_EQ(avg.q, 20.0f);
  EXPECT_NEAR(avg.over_q, 50.0, 1e-5);
}

TEST(ShearPrograms, ExampleDecksFilesAndTables) {
  for (const Program& p : kPrograms) {
    for (const char* deck : {"ice_small.deck", "shale_small.deck", "ice.deck", "shale.deck"}) {
      SCOPED_TRACE(std::string(p.name) + " " + deck);
      const Outcome r = program_run::run(p.name, join(lines_of(deck)));
      ASSERT_EQ(r.status, 40) << r.err;
      EXPECT_EQ(r.err, "STOP 40\n");
      const std::string s = p.suffix;
      std::vector<std::string> expected = {
          "1000_over_qs_anal" + s, "1000_over_qs_eq" + s, "b11_gnu", "b12_gnu", "b1_gnu", "b22_gnu", "b2_gnu",
          "d3_gnu", "imag_strain1_map", "imag_strain3_map", "imag_stress_map", "matnum_p33", "matnum_p33_gnu",
          "mod_grad_pressure_p55_ice", "mod_pressure_p55_ice", "real_strain1_map", "real_strain3_map",
          "real_stress_map", "vs_anal" + s, "vs_eq" + s, "xlambda1_gnu", "xlambda3_gnu", "xm_gnu",
          "xmu13_gnu", "xmu1_gnu", "xmu3_gnu"};
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(r.written(), expected);
      // Whatever the deck's water proportions, the tables start with the
      // imposed one.
      for (const std::string t : {"vs_anal", "vs_eq", "1000_over_qs_eq", "1000_over_qs_anal"}) {
        const std::vector<std::string> lines = r.lines(t + s);
        ASSERT_EQ(lines.size(), 1u) << t;
        EXPECT_EQ(g_pair(lines[0]).first, p.water) << t;
      }
      // Every cell of the shear programs is material 1.
      for (const std::string& line : r.lines("matnum_p33")) EXPECT_EQ(line, " 1");
      EXPECT_FALSE(r.has("fort.54"));
    }
  }
}

namespace {

// The number after `label` in the part of the report that follows `from`.
double after_from(const Outcome& r, const std::string& from, const std::string& label) {
  const std::size_t at = r.out.find(label, r.out.find(from));
  if (at == std::string::npos) {
    ADD_FAILURE() << "no " << label << " after " << from;
    return std::numeric_limits<double>::quiet_NaN();
  }
  return std::strtod(r.out.c_str() + at + label.size(), nullptr);
}

zcomplex map_sum(const Outcome& r, const std::string& re_map, const std::string& im_map) {
  const std::vector<std::string> re = r.lines(re_map), im = r.lines(im_map);
  EXPECT_EQ(re.size(), im.size());
  zcomplex s{0, 0};
  for (std::size_t i = 0; i < re.size() && i < im.size(); ++i) s += zcomplex{numbers(re[i]).at(2), numbers(im[i]).at(2)};
  return s;
}

double rel(zcomplex a, zcomplex b) { return core::cabs(a - b) / core::cabs(b); }

}  // namespace

TEST(ShearPrograms, ModuliAgreeWithTheAngleTheMapsAndTheTables) {
  for (const Program& p : kPrograms) {
    for (const char* deck : {"ice_small.deck", "shale_small.deck"}) {
      SCOPED_TRACE(std::string(p.name) + " " + deck);
      const Outcome r = program_run::run(p.name, join(lines_of(deck)));
      ASSERT_EQ(r.status, 40) << r.err;
      const double rho = r.after("average density rob_med is (kg/m**3)");

      // cmu = 1 / ctita, ctita printed as one complex item "(re,im)".
      const std::size_t at = r.out.find("tangent angle ctita (");
      ASSERT_NE(at, std::string::npos) << r.out;
      const char* text = r.out.c_str() + at + 21;
      char* end = nullptr;
      const double re = std::strtod(text, &end);
      ASSERT_EQ(*end, ',');
      const zcomplex ctita{re, std::strtod(end + 1, nullptr)};
      const zcomplex cmu{r.after("Re(cmu) FE                   = "), r.after("Im(cmu) FE                   = ")};
      EXPECT_LT(rel(core::crecip(ctita), cmu), 1e-14);
      // Its Q is signed.
      const float q_cmu = static_cast<float>(cmu.re / cmu.im);
      EXPECT_FLOAT_EQ(static_cast<float>(r.after("Q  FE                        = ")), q_cmu);
      EXPECT_NEAR(r.after("1000/Q  FE                   = "), 1000.0 / q_cmu, 1e-6 * std::abs(1000.0 / q_cmu));

      // c13 is half the ratio of the sums of the stress and strain maps; its
      // Q is an absolute value.
      const std::string c13_part = " av_stress ";
      const zcomplex c13{after_from(r, c13_part, "Re(c13) FE                   = "),
                         after_from(r, c13_part, "Im(cc13) FE                   = ")};
      const zcomplex from_maps = core::cdiv(map_sum(r, "real_stress_map", "imag_stress_map"),
                                            2.0 * map_sum(r, "real_strain1_map", "imag_strain1_map"));
      EXPECT_LT(rel(from_maps, c13), 1e-12);
      const float v = static_cast<float>(s_velocity(c13, rho));
      const float q = static_cast<float>(std::abs(c13.re / c13.im));
      EXPECT_FLOAT_EQ(static_cast<float>(after_from(r, c13_part, "Velocity(m/s) FE             = ")), v);
      EXPECT_FLOAT_EQ(static_cast<float>(after_from(r, c13_part, "Q  FE                        = ")), q);
      // One material: the shear stress is that of solid 1, c13 = mu1.
      const double mu1 = numbers(r.lines("xmu1_gnu").at(0)).at(2);
      EXPECT_NEAR(c13.re, mu1, 1e-9 * mu1);

      const std::string s = p.suffix;
      EXPECT_NEAR(g_pair(r.lines("vs_eq" + s).at(0)).b, v, 5e-5 * v);
      EXPECT_NEAR(g_pair(r.lines("1000_over_qs_eq" + s).at(0)).b, 1000.0 / q, 5e-5 * 1000.0 / q);
      EXPECT_GT(g_pair(r.lines("vs_anal" + s).at(0)).b, v);  // the solids locked together are stiffer
    }
  }
}

TEST(ShearPrograms, ModuliConvergeAsTheGridIsRefined) {
  std::vector<zcomplex> cmu;
  for (int n : {8, 16, 32}) {
    std::vector<std::string> d = lines_of("ice_small.deck");
    d = with_record(with_record(d, 5, std::to_string(n)), 6, std::to_string(n));
    const Outcome r = program_run::run("swave_spectrum", join(d));
    ASSERT_EQ(r.status, 40) << r.err;
    cmu.push_back({r.after("Re(cmu) FE                   = "), r.after("Im(cmu) FE                   = ")});
  }
  EXPECT_LT(core::cabs(cmu[2] - cmu[1]), 0.75 * core::cabs(cmu[1] - cmu[0]));
  EXPECT_LT(rel(cmu[2], cmu[1]), 1e-3);
}

TEST(ShearPrograms, StopsOnTheDecksOwnValues) {
  const std::vector<std::string> ice = lines_of("ice_small.deck");
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.name);
    // No layer material: the first cell fails the material check after its
    // map lines (its number set to 1, above nlayers = 0).
    const Outcome none = program_run::run(p.name, join(with_record(first_records(ice, 9), 9, "0")));
    EXPECT_EQ(none.status, 222) << none.err;
    EXPECT_TRUE(none.out.ends_with(" j,k, matnum(j,k)  1 1 1\n")) << none.out;
    EXPECT_EQ(none.file("matnum_p33"), " 1\n");
    EXPECT_EQ(none.file("matnum_p33_gnu"), " 1 1 1\n");
    EXPECT_EQ(none.file(std::string("vs_eq") + p.suffix), "");

    // The porosity check sees the deck's water proportion, not the imposed one.
    const Outcome wet = program_run::run(p.name, join(with_record(ice, 17, "5.000000e-01")));
    EXPECT_EQ(wet.status, 11) << wet.err;
    EXPECT_EQ(wet.file(std::string("vs_eq") + p.suffix), "");
  }
  // Conversely the computation uses the imposed proportion: with an absolute
  // porosity of 0.25 the deck passes, 0.2 leaves room for ice, 0.28 does not
  // (model check 45678, seen as 45678 mod 256).
  const std::string porous =
      join(with_record(with_record(with_record(ice, 16, "2.500000e-01"), 36, "2.500000e-01"), 37, "1.000000e-01"));
  EXPECT_EQ(program_run::run("swave_spectrum", porous).status, 40);
  const Outcome r = program_run::run("swave_saturation", porous);
  EXPECT_EQ(r.status, 45678 % 256) << r.err;
  EXPECT_TRUE(program_run::contains(r.err, "STOP 45678"));
}
