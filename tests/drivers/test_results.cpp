// The results of the three programs: the files of a normal run, the
// original moduli against the maps, tables and identities of the tests,
// closed forms of a homogeneous sample; the tied and work moduli on the
// example decks (passive at every frequency, limits of layered and
// homogeneous samples) and in process (reciprocity, grid independence and
// order).
#include <algorithm>
#include <array>
#include <map>
#include <optional>

#include "sweep/sweep.hpp"
#include "upscaling/tied_modulus.hpp"
#include "run_program.hpp"
#include "tests/fixtures/solved_test.hpp"

using core::cdiv;
using core::TestKind;
using core::zcomplex;
using namespace support;

namespace {

constexpr int kFreq = 1, kNfreq = 3, kNx = 5, kNy = 6, kPhiLayer1 = 17, kPhiLayer2 = 37;
const std::string kRho = "average density rob_med is (kg/m**3)", kTied = "tied modulus M_T (Pa) = ";

Deck grid(const Deck& d, int nx, int ny) {  // two layers of ny / 2 cell rows
  const Deck sized = with_record(with_record(d, kNx, std::to_string(nx)), kNy, std::to_string(ny));
  return with_record(with_record(sized, 10, std::to_string(ny / 2)), 30, std::to_string(ny / 2));
}
// A modulus of the report: two values after one label, or one after each of two.
zcomplex modulus(const Outcome& r, const std::string& re, const std::string& im = "") {
  const std::vector<double> v = im.empty() ? r.values(re) : std::vector<double>{r.after(re), r.after(im)};
  return v.size() == 2 ? zcomplex{v[0], v[1]} : zcomplex{NAN, NAN};
}
zcomplex c33(const Outcome& r) { return modulus(r, "Re(c33) FE        = ", "Im(c33) FE        = "); }
zcomplex mstar(const Outcome& r) { return modulus(r, "Re(p33) FE mstar      = ", "Im(p33) FE mstar      = "); }
double first(const Outcome& r, const std::string& map) { return numbers(r.lines(map).at(0)).at(2); }
// 1 / Re(1 / sqrt(P / rho)) in polar form: sqrt(|P| / rho) / cos(arg P / 2).
double p_velocity(zcomplex p, double rho) { return std::sqrt(core::cabs(p) / rho) / std::cos(0.5 * std::atan2(p.im, p.re)); }
zcomplex maps_ratio(const Outcome& r) {
  return cdiv(map_sum(r, "real_stress_map", "imag_stress_map"), map_sum(r, "real_strain1_map", "imag_strain1_map"));
}
// A "(g15.5,2x,g15.5)" table line: its abscissa, and its value to five digits (NaN: any).
bool table_is(const Outcome& r, const std::string& table, double abscissa, double value) {
  const GPair g = g_pair(r.lines(table).at(0));
  return g.a == abscissa && (std::isnan(value) || std::abs(g.b - value) <= 5e-5 * std::abs(value));
}

// c33 from the maps and its velocity; mstar from the layered sample's top
// displacement, the column sum of the strain; the tables; in the step
// files p3 = -nx domain_size h / deltavol3 and its Q.
void check_compressional(const Outcome& r, const Deck& deck) {
  const double water = std::stod(deck.at(kPhiLayer1 - 1)), h = 0.2 / std::stoi(deck.at(kNy - 1));
  const zcomplex c = c33(r), p3 = -core::crecip(cdiv(modulus(r, "deltavol3="), zcomplex{0.04, 0}));
  EXPECT_LT(rel(maps_ratio(r), c), 1e-12);
  EXPECT_LT(rel(mstar(r) * modulus(r, " av_strain ") * (h * h), zcomplex{-1, 0}), 1e-8);
  const double v = p_velocity(c, r.after(kRho));
  EXPECT_NEAR(r.after("using averages  Velocity(m/s) FE = "), v, 1e-9 * v);
  EXPECT_EQ(numbers(r.lines("vp_anal.phiw").at(0)).at(0), water);
  EXPECT_TRUE(table_is(r, "vp_eq.phiw", water, v) && table_is(r, "1000_over_q_eq.phiw", water, 1000 * c.im / c.re));
  EXPECT_TRUE(table_is(r, "fort.54", 10, p3.re / p3.im) && table_is(r, "1000_over_q_anal.phiw", 10, NAN));
  EXPECT_LT(rel(zcomplex{numbers(r.lines("fort.18").at(0)).at(1), numbers(r.lines("fort.18").at(0)).at(2)}, p3), 1e-12);
}

// c13 half the ratio of the map sums, the stress of solid 1 alone, with an
// absolute Q; tables at the imposed water proportion; one material.
void check_shear(const Outcome& r, const std::string& s) {
  const zcomplex c13 = modulus(r, "Re(c13) FE                   = ", "Im(cc13) FE                   = ");
  EXPECT_TRUE(rel(0.5 * maps_ratio(r), c13) < 1e-12 && std::abs(c13.re - first(r, "xmu1_gnu")) < 1e-9 * c13.re);
  const double v = std::sqrt(core::cabs(c13) / r.after(kRho)) * std::cos(std::atan2(c13.im, c13.re) / 2);
  const double water = s == ".freq" ? 0.2 : 0.28, over_q = std::abs(1000 * c13.im / c13.re);
  EXPECT_TRUE(table_is(r, "vs_eq" + s, water, v) && table_is(r, "1000_over_qs_eq" + s, water, over_q));
  EXPECT_TRUE(table_is(r, "1000_over_qs_anal" + s, water, NAN) && table_is(r, "vs_anal" + s, water, NAN));
  for (const std::string& line : r.lines("matnum_p33")) EXPECT_EQ(line, " 1");  // one material
}

}  // namespace

TEST(Programs, MapOrderGradientMapAndOneFrequencyPoint) {
  // 7 x 4 cells: k outer, j inner; the gradient map holds the interior
  // cells (2..6, 2..3) as (1..5, 1..2).
  const Deck deck = deck_lines("ice_small.deck");
  const Outcome r = run("pwave_upscale", join(grid(deck, 7, 4)));
  const std::vector<std::string> grad = r.lines("mod_grad_pressure_p33_ice");
  ASSERT_EQ(grad.size(), 10u);
  for (const auto& [lines, width] : {std::pair{r.lines("real_stress_map"), 7u}, std::pair{grad, 5u}})
    for (std::size_t i = 0; i < lines.size(); ++i)
      EXPECT_EQ(numbers(lines[i]).at(0) + width * (numbers(lines[i]).at(1) - 1), i + 1.0) << lines[i];
  // |grad p| >= ||p(j,k)| - |p(j-1,k)|| / h and ||p(j,k)| - |p(j,k-1)|| / h (the triangle inequality): h = 0.2 / 4
  std::map<std::pair<int, int>, double> p;
  for (const std::string& l : r.lines("mod_pressure_p33_ice"))
    p[{int(numbers(l).at(0)), int(numbers(l).at(1))}] = numbers(l).at(2);
  for (const std::string& l : grad) {
    const int j = int(numbers(l).at(0)) + 1, k = int(numbers(l).at(1)) + 1;
    const double step = std::max(std::abs(p[{j, k}] - p[{j - 1, k}]), std::abs(p[{j, k}] - p[{j, k - 1}])) / 0.05;
    EXPECT_GE(numbers(l).at(2) * (1 + 1e-12), step) << l;
  }
  EXPECT_EQ(run("pwave_upscale", join(grid(deck, 2, 4))).file("mod_grad_pressure_p33_ice"), "");  // no interior cell
  // One frequency point: the step frequency is 0/0, in the step files only.
  const Outcome normal = run("pwave_upscale", join(deck)), single = run("pwave_upscale", join(with_record(deck, kNfreq, "1")));
  EXPECT_TRUE(contains(single.file("fort.54"), "NaN") && single.file("vp_eq.phiw") == normal.file("vp_eq.phiw"));
}

namespace {

// The test on an nx x ny sample 0.2 m high, material 2 in the upper half,
// solved in process; the second solve with the factors.
upscaling::TiedWorkModuli solve(TestKind kind, int nx, int ny, double freq,
                              const fixtures::Material (&mat)[2] = fixtures::kTwoMaterials) {
  static core::Coefficients coef;
  fixtures::two_layers(coef, nx, ny, mat);
  return fixtures::SolvedTest(kind, coef, nx, ny, freq).moduli();
}

}  // namespace

// In process: reciprocity of the two lossy layers (solid 1 under a traction
// on solid 3 strains as solid 3 under one on solid 1); the compressed
// layered sample deforms alike in every column, and M_T is second order in
// h (each halving divides the change by four). e^T G^-1 e of G = (1 + 2i)
// {3, 1; 2, 2} is (3 + 2 - 1 - 2) / (6 - 2) / (1 + 2i). M_W = M_T when the
// solids move as one (a friction between them of 1e17 Pa s/m2, locked to
// about 1e-6), or, under the compressional load on both, when they are
// interchangeable (equal laws, no fluid friction coupling f12): then G is
// symmetric with g11 = g33 and both moduli are 2 / (g11 + g13).
TEST(TiedModulus, ReciprocityOrderClosedFormAndLockedOrInterchangeableSolids) {
  double locked[2][12], twins[2][12];
  for (int m = 0; m < 2; ++m) {
    std::copy(fixtures::kTwoMaterials[m], fixtures::kTwoMaterials[m] + 12, locked[m]);
    std::copy(fixtures::kTwoMaterials[m], fixtures::kTwoMaterials[m] + 12, twins[m]);
    locked[m][9] = 1e17;
    twins[m][1] = twins[m][0], twins[m][3] = twins[m][2], twins[m][6] = twins[m][5], twins[m][10] = 0;
  }
  for (const TestKind kind : {TestKind::compressional, TestKind::shear}) {
    const upscaling::TiedWorkModuli m = solve(kind, 2, 8, 30.0), l = solve(kind, 2, 8, 30.0, locked);
    EXPECT_TRUE(rel(m.g.g13, m.g.g31) < 1e-12 && m.tied.im > 1e-4 * m.tied.re);  // lossy: not 0 = 0
    EXPECT_LT(rel(l.work, l.tied), 1e-5) << "locked, " << (kind == TestKind::shear ? "shear" : "compressional");
  }
  const upscaling::TiedWorkModuli t = solve(TestKind::compressional, 2, 8, 30.0, twins);
  EXPECT_TRUE(rel(t.g.g11, t.g.g33) < 1e-12 && rel(t.work, t.tied) < 1e-12 && t.work.im > 1e-6 * t.work.re);
  const upscaling::TiedWorkModuli one = solve(TestKind::compressional, 1, 8, 30), four = solve(TestKind::compressional, 4, 8, 30);
  EXPECT_TRUE(rel(four.tied, one.tied) < 1e-11 && rel(four.work, one.work) < 1e-11);
  std::vector<zcomplex> m;
  for (int ny : {8, 16, 32}) m.push_back(solve(TestKind::compressional, 1, ny, 1.0).tied);
  EXPECT_NEAR(core::cabs(m[1] - m[0]) / core::cabs(m[2] - m[1]), 4.0, 0.5);
  const zcomplex c{1, 2};
  EXPECT_LT(rel(upscaling::tied_modulus({3.0 * c, 1.0 * c, 2.0 * c, 2.0 * c}), cdiv(zcomplex{0.5, 0}, c)), 1e-15);
}

// At the decks' own 10 Hz: the files of a normal end (a stale table
// rewritten), one line per table, per cell in a map, per interior cell in
// the gradient map; the original results; the tied and work moduli after
// them and the running time in f15.6 last.
void check_normal_end(const std::string& program, const Outcome& r, const Deck& deck) {
  const std::size_t nx = std::stoul(deck.at(kNx - 1)), ny = std::stoul(deck.at(kNy - 1));
  ASSERT_EQ(r.files().size(), program[0] == 'p' ? 27u : 28u);  // 17 maps and plots, run.json, the VTK map, 8 or 9 own
  for (const std::string& f : r.files()) {
    const std::size_t lines = contains(f, ".") ? 1 : f.starts_with("mod_grad") ? (nx - 2) * (ny - 2) : nx * ny;
    EXPECT_TRUE(f == "run.json" || f == "cell_maps.vtk" || r.lines(f).size() == lines) << f;
  }
  program[0] == 'p' ? check_compressional(r, deck) : check_shear(r, program == "swave_spectrum" ? ".freq" : ".phiw");
  const std::size_t block = r.out.find("\n\n " + kTied), time = r.out.rfind("\n\n running time=");
  EXPECT_LT(r.out.rfind(program[0] == 'p' ? "using averages" : "Im(cc13) FE"), block);
  ASSERT_LT(block, time);
  const std::string last = r.out.substr(time + 16);
  EXPECT_TRUE(last.size() == 21 && last.ends_with("hours\n") && last[8] == '.' && std::stod(last) >= 0) << last;
}

TEST(TiedModulus, PassiveOverEightDecadesWithTheLimitsOfLayeredAndHomogeneousSamples) {
  // Every program on the small decks, on one of one material and on a
  // water-proportion map that varies from cell to cell; the compressional
  // program on the large decks at both ends, every program on them at
  // their own frequency. M_T and M_W have Im >= 0.
  // Layered: M_T tends to the relaxed limit slowly, to the unrelaxed one
  // fast. One material (and every sample of the shear programs): both
  // solids share a linear displacement, M_T = A + B + 2C or mu1 + mu3 + mu13,
  // real, rho v^2 of the fast plane wave at 1 Hz; sealed, no relative flow:
  // c33 = A; each solid under its own load slowly, mstar = (AB - C^2) /
  // (B - C), together fast, mstar = (A + B + 2C) / 2.
  const Options frac = prepared("awk 'BEGIN{for(i=0;i<100;i++) printf \"%12.4e\\n\", 0.1+0.002*((37*i)%100)}' > porosity.frac");
  for (const std::string program : {"pwave_upscale", "swave_spectrum", "swave_saturation"}) {
    for (const std::string name : {"ice_small", "shale_small", "ice_small one", "ice_small frac", "ice", "shale"}) {
      const bool map = contains(name, "frac"), one = contains(name, "one"), large = !contains(name, "_"), pwave = program[0] == 'p';
      Deck deck = with_record(deck_lines(name.substr(0, name.find(' ')) + ".deck"), 8, map ? "    1" : "    0");
      if (one) deck = with_record(deck, kPhiLayer2, deck[kPhiLayer1 - 1]);
      for (const double freq : {1e-3, 0.1, 1.0, 10.0, 1e3, 1e5}) {
        const bool extreme = freq == 1e-3 || freq == 1e5, own = freq == 10;
        if ((large && !(pwave && extreme) && !own) || (own && (one || map))) continue;
        SCOPED_TRACE(program + " " + name + " " + std::to_string(freq));
        const std::string table = (pwave ? "vp_anal" : "vs_anal") + std::string(program == "swave_spectrum" ? ".freq" : ".phiw");
        const Outcome r = own ? run(program, join(deck), prepared("seq 5 > " + table))
                              : run(program, join(with_record(deck, kFreq, std::to_string(freq))), map ? frac : Options{});
        ASSERT_EQ(r.status, 40) << r.describe();
        // The resolution warning follows the diffusion length, which falls as f^-1/2.
        const double cells = r.after("cells per diffusion length = ");
        EXPECT_EQ(r.err.substr(cells < 2 ? r.err.find('\n') + 1 : 0), "STOP 40\n");
        EXPECT_EQ(r.err.starts_with("warning: cells per diffusion length = "), cells < 2) << r.err;
        if (own) {
          check_normal_end(program, r, deck);
          // The small decks' 2 cm cells are coarser than half the diffusion length at 10 Hz, the large decks' are not.
          EXPECT_EQ(cells < 2, !large);
        }
        // The report opens with the deck's echo: the nine bare values, one block per layer, the model and h.
        if (own && name == "ice_small") {
          EXPECT_TRUE(r.out.starts_with(" 10\n 100\n 10\n 0.2\n 10\n 10\n 0\n 0\n 2\n ****************"));
          EXPECT_TRUE(contains(r.out, "  xmu_s3 (PA)                  =  3.32e+09\n  model (=0,layered,=1,fractal  =  0\n\n"
                                      "  mesh size h  0.02\n")) << r.out;
        }
        for (const std::string kind : {"tied modulus M_T", "work modulus M_W"}) {
          const zcomplex m = modulus(r, kind + " (Pa) = ");
          const double v = p_velocity(m, r.after(kRho)), over_q = 1000 * m.im / m.re;
          EXPECT_GT(m.im, -1e-12 * m.re) << kind;
          EXPECT_NEAR(r.after(kind.substr(0, 5) + "velocity (m/s) = "), v, 1e-12 * v) << kind;
          EXPECT_NEAR(r.after(kind.substr(0, 5) + "1000/Q = "), over_q, 1e-12 * (1 + over_q)) << kind;
        }
        const double a = first(r, "xlambda1_gnu") + 2 * first(r, "xmu1_gnu"), b = first(r, "xlambda3_gnu") + 2 * first(r, "xmu3_gnu");
        const double c = first(r, "d3_gnu") + first(r, "xmu13_gnu"), v = r.after(pwave ? " vp1 = " : "vs1 = ");
        const double tied = pwave ? a + b + 2 * c : first(r, "xmu1_gnu") + first(r, "xmu3_gnu") + first(r, "xmu13_gnu");
        if ((one || !pwave) && !map) { EXPECT_LT(rel(modulus(r, kTied), zcomplex{tied, 0}), 1e-9); }
        if ((one || !pwave) && !map && freq == 1) { EXPECT_NEAR(r.after(kRho) * v * v, tied, 1e-8 * tied); }
        if (one && pwave) { EXPECT_LT(rel(c33(r), zcomplex{a, 0}), 1e-7); }
        if (one && pwave && extreme) { EXPECT_NEAR(mstar(r).re, freq < 1 ? (a * b - c * c) / (b - c) : tied / 2, 1e-4 * a); }
        if (map || large || one || !pwave || !extreme) continue;
        // Slow, the grid resolves the diffusion length and M_T is the
        // relaxed limit; fast (1e5 Hz, 1/4 to 1/2 cell per length) no digit
        // of the limit is resolved, only the bounds of a passive layered
        // sample hold, whatever the grid.
        // The limits from the run's coefficient maps (their closed forms: tests/sweep).
        const std::optional<sweep::Limits> lim = sweep::layered_limits(r.dir);
        ASSERT_TRUE(lim.has_value());
        const zcomplex m = modulus(r, kTied);
        if (freq < 1) EXPECT_TRUE(cells >= 2.0 && rel(m, {lim->relaxed, 0}) < 1e-3) << cells << " " << m.re;
        else EXPECT_TRUE(cells < 2.0 && m.re >= lim->relaxed * (1 - 1e-9) && m.re <= lim->unrelaxed * (1 + 1e-9)) << m.re;
      }
    }
  }
}

// The refinement law of doc/accuracy.md (and of the programs' warning)
// against a Richardson-extrapolated reference: the two-layer examples, 2 cm
// to 3.3 mm cells (h / l_p from 1 down to 0.2 at 10 Hz), ny = 30 and 60
// extrapolated at second order; every grid within 3e-4 (h/l_p)^2 in Re M_T
// and 0.15 (h/l_p)^2 in 1000/Q, and the error of the coarsest at least a
// thirtieth of that (the law is not loose by orders of magnitude).
TEST(TiedModulus, GridErrorWithinTheLawOfCellsPerDiffusionLength) {
  for (const std::string name : {"ice_small", "shale_small"}) {
    std::map<int, std::array<double, 3>> at;  // Re M_T, 1000/Q, cells per diffusion length
    for (const int ny : {10, 20, 30, 60}) {
      const Outcome r = run("pwave_upscale", join(grid(deck_lines(name + ".deck"), 2, ny)));
      ASSERT_EQ(r.status, 40) << r.describe();
      const zcomplex m = modulus(r, kTied);
      at[ny] = {m.re, 1000 * m.im / m.re, r.after("cells per diffusion length = ")};
    }
    const double re_ref = (4 * at[60][0] - at[30][0]) / 3, q_ref = (4 * at[60][1] - at[30][1]) / 3;
    for (const int ny : {10, 20, 30}) {
      SCOPED_TRACE(name + " ny " + std::to_string(ny));
      const double r2 = 1 / (at[ny][2] * at[ny][2]);  // (h / l_p)^2
      const double re_error = std::abs(at[ny][0] / re_ref - 1), q_error = std::abs(at[ny][1] / q_ref - 1);
      EXPECT_TRUE(re_error < 3e-4 * r2 && q_error < 0.15 * r2 && (ny != 10 || q_error > 0.005 * r2)) << re_error << " " << q_error;
    }
  }
}
