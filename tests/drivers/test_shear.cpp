// The shear programs: their estimates in process (elastic limit, signs of
// the two Q), and swave_spectrum / swave_saturation as processes (moduli
// against the angle and the maps, tables at the imposed water proportion).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/complex.hpp"
#include "drivers/shear_results.hpp"
#include "run_program.hpp"

using core::zcomplex;
using drivers::ShearEstimate;
using namespace support;

namespace {

// The two shear programs share their driver: one example deck each.
struct Program {
  const char* name;
  const char* deck;
  const char* suffix;
  const char* water;  // the imposed water proportion in g15.5 form
};
constexpr Program kPrograms[] = {{"swave_spectrum", "ice_small.deck", ".freq", "    0.20000    "},
                                 {"swave_saturation", "shale_small.deck", ".phiw", "    0.28000    "}};

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

TEST(ShearPrograms, ModuliAgreeWithTheAngleTheMapsAndTheTables) {
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.name);
    const Outcome r = run(p.name, join(deck_lines(p.deck)));
    ASSERT_EQ(r.status, 40) << r.err;
    const double rho = r.after("average density rob_med is (kg/m**3)");

    // cmu = 1 / ctita, ctita printed as one complex item "(re,im)".
    const std::size_t at = r.out.find("tangent angle ctita (");
    ASSERT_NE(at, std::string::npos) << r.out;
    zcomplex ctita{};
    ASSERT_EQ(std::sscanf(r.out.c_str() + at + 21, "%lf,%lf)", &ctita.re, &ctita.im), 2);
    const zcomplex cmu{r.after("Re(cmu) FE                   = "), r.after("Im(cmu) FE                   = ")};
    EXPECT_LT(rel(core::crecip(ctita), cmu), 1e-14);
    // Its Q is signed.
    const float q_cmu = static_cast<float>(cmu.re / cmu.im);
    EXPECT_FLOAT_EQ(static_cast<float>(r.after("Q  FE                        = ")), q_cmu);
    EXPECT_NEAR(r.after("1000/Q  FE                   = "), 1000.0 / q_cmu, 1e-6 * std::abs(1000.0 / q_cmu));

    // c13 is half the ratio of the sums of the stress and strain maps; its
    // Q is an absolute value.
    const std::string c13_part = " av_stress ";
    const zcomplex c13{r.after("Re(c13) FE                   = ", c13_part),
                       r.after("Im(cc13) FE                   = ", c13_part)};
    const zcomplex from_maps = core::cdiv(map_sum(r, "real_stress_map", "imag_stress_map"),
                                          2.0 * map_sum(r, "real_strain1_map", "imag_strain1_map"));
    EXPECT_LT(rel(from_maps, c13), 1e-12);
    const float v = static_cast<float>(s_velocity(c13, rho));
    const float q = static_cast<float>(std::abs(c13.re / c13.im));
    EXPECT_FLOAT_EQ(static_cast<float>(r.after("Velocity(m/s) FE             = ", c13_part)), v);
    EXPECT_FLOAT_EQ(static_cast<float>(r.after("Q  FE                        = ", c13_part)), q);
    // One material: the shear stress is that of solid 1, c13 = mu1.
    const double mu1 = numbers(r.lines("xmu1_gnu").at(0)).at(2);
    EXPECT_NEAR(c13.re, mu1, 1e-9 * mu1);

    const std::string s = p.suffix;
    EXPECT_NEAR(g_pair(r.lines("vs_eq" + s).at(0)).b, v, 5e-5 * v);
    EXPECT_NEAR(g_pair(r.lines("1000_over_qs_eq" + s).at(0)).b, 1000.0 / q, 5e-5 * 1000.0 / q);
    EXPECT_GT(g_pair(r.lines("vs_anal" + s).at(0)).b, v);  // the solids locked together are stiffer
    // Whatever the deck's water proportions, the tables are at the imposed
    // one, and every cell is material 1.
    for (const std::string t : {"vs_anal", "vs_eq", "1000_over_qs_eq", "1000_over_qs_anal"})
      EXPECT_EQ(g_pair(r.lines(t + s).at(0)).first, p.water) << t;
    for (const std::string& line : r.lines("matnum_p33")) EXPECT_EQ(line, " 1");
  }
}

TEST(ShearPrograms, ModuliConvergeAsTheGridIsRefined) {
  std::vector<zcomplex> cmu;
  for (int n : {8, 16, 32}) {
    const Outcome r = run("swave_spectrum", join(with_record(with_record(deck_lines("ice_small.deck"), 5,
                                                                         std::to_string(n)), 6, std::to_string(n))));
    ASSERT_EQ(r.status, 40) << r.err;
    cmu.push_back({r.after("Re(cmu) FE                   = "), r.after("Im(cmu) FE                   = ")});
  }
  EXPECT_LT(core::cabs(cmu[2] - cmu[1]), 0.75 * core::cabs(cmu[1] - cmu[0]));
  EXPECT_LT(rel(cmu[2], cmu[1]), 1e-3);
}
