// The tied-solid and work-conjugate moduli: in process on samples of
// chosen coefficients (closed forms, reciprocity, grid independence and
// order), and from the programs on the example decks (passivity at every
// frequency, relaxed and unrelaxed limits of the layered samples).
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/test_kind.hpp"
#include "drivers/tied_modulus.hpp"
#include "fem/assembly.hpp"
#include "results.hpp"
#include "yale/yale.hpp"

using core::TestKind;
using core::zcomplex;
using namespace support;
using namespace results;

namespace {

using C = core::Coefficients;
constexpr core::RealField C::*kFields[] = {&C::lambda1, &C::lambda3, &C::mu1, &C::mu3, &C::mu13, &C::b1,
                                           &C::b2,      &C::m,       &C::d3,  &C::f11, &C::f12,  &C::f22};
// Two materials in which every coefficient matters, friction included.
constexpr double kMaterial[2][12] = {{1.2e10, 4e9, 1.5e10, 2e9, 1e9, 3e9, 1e9, 8e9, 2e9, 2e8, 1e8, 3e8},
                                     {6e9, 3e9, 7e9, 1.5e9, 5e8, 2e9, 1.5e9, 6e9, 1e9, 5e7, 2e7, 1e8}};

// The test on an nx x ny sample 0.2 m high, material 2 in the upper half
// when `layered`, solved in process.
drivers::TiedWorkModuli solve(TestKind kind, int nx, int ny, bool layered, double freq) {
  static C coef;
  static fem::XnodTable xnod;
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j)
      for (int f = 0; f < 12; ++f) (coef.*kFields[f])(j, k) = kMaterial[layered && 2 * k > ny][f];
  fem::global_numbering(nx, ny, xnod);
  const int32_t n = fem::nodos_of(nx, ny), nwork = 500 * n;
  const double h = 0.2 / ny;
  fem::YaleSystem sys(n);
  fem::global_sist(kind, 6.283185307179586 * freq, nx, ny, h, xnod, coef, sys);
  const int32_t nnz = sys.ia(n + 1) - 1;
  std::vector<int32_t> c(n), ic(n);
  std::vector<zcomplex> z(n);
  yale::Workspace ws(nwork);
  int32_t flag = 0, esp = 0;
  yale::zodrv(n, {sys.ia_data(), size_t(n + 1)}, {sys.ja_data(), size_t(nnz)}, {sys.avec_data(), size_t(nnz)}, c, ic,
              nwork, ws, 1, flag);
  const auto factored = [&](std::span<const zcomplex> b, std::span<zcomplex> x, int job) {
    yale::zndrv(n, c, c, ic, {sys.ia_data(), size_t(n + 1)}, {sys.ja_data(), size_t(nnz)},
                {sys.avec_data(), size_t(nnz)}, b, x, nwork, ws, esp, job, flag);
    EXPECT_EQ(flag, 0);
  };
  factored({sys.rhs_data(), size_t(n)}, z, 1);
  return drivers::tied_and_work_moduli({kind, nx, ny, h, xnod, {sys.rhs_data(), size_t(n)}, z},
                                       [&](auto b, auto x) { factored(b, x, 3); });
}

}  // namespace

TEST(TiedModulus, ClosedFormReciprocityAndGridIndependence) {
  const double* a = kMaterial[0];
  for (const TestKind kind : {TestKind::compressional, TestKind::shear}) {
    SCOPED_TRACE(kind == TestKind::shear ? "shear" : "compressional");
    // One material, any frequency: both solids share a linear displacement
    // under tractions in the ratio of their stresses, so M_T is the
    // modulus of the two solids moving together, exactly real.
    const double tied = kind == TestKind::shear ? a[2] + a[3] + a[4] : a[0] + 2 * a[2] + a[1] + 2 * a[3] + 2 * (a[8] + a[4]);
    for (double freq : {1e-3, 1.0, 1e5}) {
      const zcomplex m = solve(kind, 3, 4, false, freq).tied;
      EXPECT_NEAR(m.re, tied, 1e-10 * tied) << freq;
      EXPECT_NEAR(m.im, 0.0, 1e-10 * tied) << freq;
    }
    // Two layers: the response to a traction on solid 3 seen in solid 1 is
    // the response to one on solid 1 seen in solid 3.
    const drivers::TiedWorkModuli one = solve(kind, 1, 8, true, 30.0);
    EXPECT_LT(rel(one.g.g13, one.g.g31), 1e-12);
    EXPECT_GT(one.tied.im, 1e-4 * one.tied.re);  // lossy: the check above is not 0 = 0
  }
  // The compressed layered sample deforms alike in every column; the tied
  // modulus is second order in h: each halving divides the change by four.
  const drivers::TiedWorkModuli one = solve(TestKind::compressional, 1, 8, true, 30.0),
                                four = solve(TestKind::compressional, 4, 8, true, 30.0);
  EXPECT_LT(rel(four.tied, one.tied), 1e-11);
  EXPECT_LT(rel(four.work, one.work), 1e-11);
  std::vector<zcomplex> m;
  for (int ny : {8, 16, 32}) m.push_back(solve(TestKind::compressional, 1, ny, true, 1.0).tied);
  const double ratio = core::cabs(m[1] - m[0]) / core::cabs(m[2] - m[1]);
  EXPECT_GT(ratio, 3.5);
  EXPECT_LT(ratio, 4.5);
}

namespace {

// The inverse of a symmetric 3 x 3 matrix {a, b, c; b, d, e; c, e, f} by cofactors.
std::array<double, 6> inverse(const std::array<double, 6>& s) {
  const auto [a, b, c, d, e, f] = s;
  const std::array<double, 6> co = {d * f - e * e, c * e - b * f, b * e - c * d, a * f - c * c, b * c - a * e, a * d - b * b};
  const double det = a * co[0] + b * co[1] + c * co[2];
  return {co[0] / det, co[1] / det, co[2] / det, co[3] / det, co[4] / det, co[5] / det};
}

// Limits of a layered sample from the coefficient maps of the run, with
// E = {A, C, b1; C, B, b2; b1, b2, m} per cell, A = lambda1 + 2 mu1,
// B = lambda3 + 2 mu3, C = d3 + mu13 and <.> the mean over the cells:
// relaxed (fluid and solids at one stress) e^T <E^-1>^-1 e, e = (1, 1, 0);
// unrelaxed (solids locked, fluid still) <(A + B + 2C)^-1>^-1.
std::pair<double, double> layered_limits(const Outcome& r) {
  std::vector<std::vector<double>> f;
  for (const char* map : {"xlambda1_gnu", "xmu1_gnu", "xlambda3_gnu", "xmu3_gnu", "d3_gnu", "xmu13_gnu", "b1_gnu", "b2_gnu", "xm_gnu"})
    f.push_back(column(r, map));
  const double cells = static_cast<double>(f[0].size());
  std::array<double, 6> mean{};
  double unrelaxed = 0;
  for (std::size_t i = 0; i < f[0].size(); ++i) {
    const double a = f[0][i] + 2 * f[1][i], b = f[2][i] + 2 * f[3][i], c = f[4][i] + f[5][i];
    const std::array<double, 6> inv = inverse({a, c, f[6][i], b, f[7][i], f[8][i]});
    for (int q = 0; q < 6; ++q) mean[q] += inv[q] / cells;
    unrelaxed += 1 / (a + b + 2 * c) / cells;
  }
  const std::array<double, 6> e = inverse(mean);
  return {e[0] + 2 * e[1] + e[3], 1 / unrelaxed};
}

}  // namespace

TEST(TiedModulus, PassiveOnTheExampleDecksAndLayeredLimits) {
  // Every program, every small deck and a water-proportion map that varies
  // from cell to cell over eight decades; the large decks at both ends.
  const Options frac = prepared("awk 'BEGIN{for(i=0;i<100;i++) printf \"%12.4e\\n\", 0.1+0.002*((37*i)%100)}' > porosity.frac");
  for (const std::string program : {"pwave_upscale", "swave_spectrum", "swave_saturation"}) {
    for (const std::string name : {"ice_small.deck", "shale_small.deck", "ice_small.deck frac", "ice.deck", "shale.deck"}) {
      const bool map = contains(name, "frac"), large = !contains(name, "small");
      if (large && program != "pwave_upscale") continue;  // the shear programs: at 10 Hz in test_runs
      Deck deck = deck_lines(name.substr(0, name.find(' ')));
      if (map) deck = with_record(deck, 8, "    1");
      for (const double freq : {1e-3, 0.1, 10.0, 1e3, 1e5}) {
        const bool extreme = freq == 1e-3 || freq == 1e5;
        if (large && !extreme) continue;
        SCOPED_TRACE(program + " " + name + " " + std::to_string(freq));
        const Outcome r = run(program, join(with_record(deck, 1, std::to_string(freq))), map ? frac : Options{});
        ASSERT_EQ(r.status, 40) << r.describe();
        const zcomplex tied = modulus(r, "tied modulus M_T (Pa) = "), work = modulus(r, "work modulus M_W (Pa) = ");
        EXPECT_GT(tied.im, -1e-12 * tied.re);
        EXPECT_GT(work.im, -1e-12 * work.re);
        // Slow, the layers relax; fast, the solids lock and the fluid stays.
        if (map || large || program != "pwave_upscale" || !extreme) continue;
        const auto [relaxed, unrelaxed] = layered_limits(r);
        EXPECT_LT(rel(tied, {freq < 1 ? relaxed : unrelaxed, 0}), 1e-3);
      }
    }
  }
}
