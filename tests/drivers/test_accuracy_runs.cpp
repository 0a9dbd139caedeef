// The programs' accuracy lines end to end: a numerically singular deck is
// refused with its own code after its report and files; the friction
// control keeps its codes for a negative coef_b13. (The resolution warning:
// test_results.cpp.)
#include <cstdio>
#include <tuple>

#include "core/stop_codes.hpp"
#include "run_program.hpp"

using namespace support;

namespace {

constexpr int kEta1 = 13, kEta2 = 33, kB13First = 23, kB13Second = 43;
const std::string kBound = "forward error bound = ";

std::string g20(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%-20.6e b", v);
  return buf;
}

}  // namespace

// eta = 1e-30 Pa s is inside the documented range, and the fluid is free to
// flow without friction to working precision: the backward error stays near
// 1e-16, the moduli are absurd, and the bound says so. The run stops with
// its code after the report lines and the files, and run.json keeps the
// results and the bounds.
TEST(AccuracyRuns, NumericallySingularDeckRefusedWithItsOwnCode) {
  const Deck ice = deck_lines("ice_small.deck");
  const Outcome r = run("pwave_upscale", join(with_record(with_record(ice, kEta1, g20(1e-30)), kEta2, g20(1e-30))));
  ASSERT_EQ(r.status, core::kStopNoCorrectDigit) << r.describe();
  EXPECT_TRUE(r.after("backward error = ") < 1e-15 && r.after("condition estimate = ") > 1e20 && r.after(kBound) > 1e-3);
  EXPECT_TRUE(contains(r.err, "at 10 Hz the relative error bound of the modulus ") && contains(r.err, "numerically singular")) << r.err;
  EXPECT_FALSE(contains(r.out, "running time=")) << "stopped before the normal end";
  EXPECT_FALSE(r.file("cell_maps.vtk").empty());
  const std::string json = r.file("run.json");
  EXPECT_TRUE(contains(json, "\"stop_code\": 41") && contains(json, "\"forward_error_bound\": ")) << json;
  // The same deck with the example's viscosity ends normally, its bounds small.
  const Outcome ok = run("pwave_upscale", join(ice));
  ASSERT_EQ(ok.status, core::kStopNormal) << ok.describe();
  EXPECT_TRUE(ok.after(kBound) < 1e-10 && ok.after(kBound) > 0.0) << ok.after(kBound);
}

// control1 = c0 + b13 f22 and control2 = c0 + 2 b13 f22 at cell (1,1), with
// c0 the control of b13 = 0: a negative coef_b13 below -c0/f22 stops with
// 99999, between -c0/f22 and -c0/(2 f22) with 99998; one that passes the
// control, or one in the upper layer (the control sees cell (1,1) only),
// is refused by the range check (13) after the control.
TEST(AccuracyRuns, FrictionControlKeepsItsCodesForANegativeB13) {
  const Deck ice = deck_lines("ice_small.deck");
  const Outcome zero = run("pwave_upscale", join(with_record(ice, kB13First, g20(0.0))));
  ASSERT_EQ(zero.status, 40) << zero.describe();
  const double edge = -zero.after("control1 (must be  positive)  =") / zero.after("f22      =");
  ASSERT_LT(edge, 0.0);
  for (auto [record, b13, code] : std::vector<std::tuple<int, double, int>>{
           {kB13First, 1.5 * edge, 99999}, {kB13First, 0.75 * edge, 99998}, {kB13First, 0.25 * edge, 13}, {kB13Second, 1.5 * edge, 13}}) {
    const Outcome r = run("pwave_upscale", join(with_record(ice, record, g20(b13))));
    EXPECT_EQ(r.status, code & 255) << b13 << " " << r.describe();
    EXPECT_TRUE(code != 13 || (contains(r.err, "coef_b13(") && contains(r.err, "is outside [0, 1e+20]"))) << r.err;
  }
}
