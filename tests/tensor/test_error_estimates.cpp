// The error estimates of what a run reports: the three-grid estimate
// against sequences of known error, the resolution of the geometry against
// samples whose features are known, and the estimates of a random image
// against its own refinement (the run's one warning: test_program.cpp).
#include <random>

#include "tensor/error_grids.hpp"
#include "tensor/geometry_resolution.hpp"
#include "tensor/richardson.hpp"
#include "tests/support/refusal.hpp"
#include "tests/tensor/support.hpp"

namespace tensor_test {
namespace {

// err = C h^p on grids h, h/2, h/4: the estimate of the coarse grid is C h^p
// exactly (to rounding) for 0 < p <= 2, and of the others C (h/2)^p, C (h/4)^p,
// each times the safety factor.
TEST(ThreeGridEstimate, RecoversAKnownPowerLawAndFallsBackOutsideIt) {
  for (const double p : {0.6, 1.0, 1.5, 2.0}) {
    const double e0 = 3.0, e1 = e0 / std::pow(2, p), e2 = e1 / std::pow(2, p);  // errors, all of one sign
    for (int target = 0; target < 3; ++target) {
      const tensor::ErrorEstimate e = tensor::three_grid_estimate(e0 - e1, e1 - e2, e0 - e2, 100, target);
      EXPECT_TRUE(e.asymptotic) << p;
      EXPECT_NEAR(e.order, p, 1e-12) << p;
      EXPECT_NEAR(e.error / tensor::kSafetyFactor, target == 0 ? e0 : target == 1 ? e1 : e2, 1e-12 * e0) << p << " " << target;
    }
  }
  // Outside the asymptotic range the estimate is never below the change
  // from h to h/4: an order above 2, changes that grow or change sign, and
  // two parts of one wave whose orders disagree.
  struct Case {
    double a, b, c, partner;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {{1.0, 0.1, 0.09, nan}, {1.0, 0.9, 0.5, nan}, {1.0, 0.8, 0.85, nan}, {1.0, 0.5, 0.25, 2.0}};
  for (const Case& k : cases) {
    const double d1 = std::fabs(k.a - k.b), d2 = std::fabs(k.b - k.c), d = std::fabs(k.a - k.c);
    const tensor::ErrorEstimate e = tensor::three_grid_estimate(d1, d2, d, 1, 0, k.partner);
    EXPECT_FALSE(e.asymptotic) << k.a << " " << k.b << " " << k.c;
    EXPECT_GE(e.error, d + 2 * d2) << k.b << " " << k.c;
  }
  // Converged to rounding: no fallback, the change seen.
  const tensor::ErrorEstimate same = tensor::three_grid_estimate(1e-14, 1e-14, 2e-14, 1, 0);
  EXPECT_TRUE(same.asymptotic);
  EXPECT_EQ(same.error, 2e-14);
}

// Column `name` of row k; NaN where the row has none.
double column(const std::vector<tensor::TensorRow>& rows, std::size_t k, const std::string& name) {
  for (const tensor::Column& c : rows[k].extra)
    if (c.name == name) return c.value;
  return std::numeric_limits<double>::quiet_NaN();
}

// The coupling moduli of periodic rows get their estimates like the other
// components, converged relative to the largest diagonal modulus (they may
// vanish); rows that do not measure them (sealed) get no such column.
TEST(ThreeGridEstimate, CouplingModuliWhereMeasured) {
  const double e0 = 4e6;  // Pa, the coarse grid's error of C15, of order 1
  std::vector<tensor::TensorRow> grids[3];
  for (int g = 0; g < 3; ++g) {
    tensor::TensorRow& r = grids[g].emplace_back();
    r.freq_hz = 1;
    r.c11 = r.c33 = {3e10, 1e7}, r.c13 = r.c31 = {2e9, 1e6}, r.c55 = {1.4e10, 1e7};
    r.c15 = r.c51 = {2e8 + e0 / std::pow(2, g), 0}, r.c35 = r.c53 = {0, 0};
  }
  for (const bool measured : {true, false}) {
    if (!measured)
      for (auto& g : grids) g[0].c15 = g[0].c35 = g[0].c51 = g[0].c53 = tensor::TensorRow::kAbsent;
    std::vector<tensor::TensorRow> rows = grids[0];
    tensor::add_error_columns(rows, grids, 0);
    EXPECT_FALSE(std::isnan(column(rows, 0, "err_c11")));
    if (!measured) {
      EXPECT_TRUE(std::isnan(column(rows, 0, "err_c15")));
      continue;
    }
    EXPECT_NEAR(column(rows, 0, "err_c15") / tensor::kSafetyFactor, e0, 1e-9 * e0);
    EXPECT_NEAR(column(rows, 0, "order_c15"), 1.0, 1e-9);
    EXPECT_EQ(column(rows, 0, "err_c35"), 0);  // converged exactly: no change seen
  }
}

TEST(GeometryResolution, MeanInterceptsOfKnownGeometries) {
  const tensor::Sample materials = ice_materials();
  // Two layers of 3 rows: along z the mirrored layer of 2 x 3 cells, along x no interface.
  const tensor::GeometryResolution layers =
      tensor::geometry_resolution(with_map(materials, 5, 6, 0.01, [](int64_t, int64_t k) { return k <= 3 ? 1 : 2; }));
  EXPECT_EQ(layers.cells_per_feature_z, 6.0);
  EXPECT_TRUE(std::isinf(layers.cells_per_feature_x));
  EXPECT_FALSE(layers.image());
  // A checkerboard: one cell in both directions.
  const tensor::GeometryResolution board =
      tensor::geometry_resolution(with_map(materials, 6, 4, 0.01, [](int64_t j, int64_t k) { return 1 + (j + k) % 2; }));
  // 20 faces across x for the 12 cells of each colour (runs at the sides
  // are half runs: their mirror images complete them), 18 across z.
  EXPECT_DOUBLE_EQ(board.cells_per_feature_x, 24.0 / 20);
  EXPECT_DOUBLE_EQ(board.cells_per_feature_z, 24.0 / 18);
  EXPECT_TRUE(board.image());
  // A random image: pixel replication by 4 multiplies every intercept by 4
  // (the checkerboard tells the axes apart).
  const tensor::Sample s = random_map(12, 10, 7);
  const tensor::GeometryResolution g = tensor::geometry_resolution(s);
  const tensor::GeometryResolution g4 = tensor::geometry_resolution(tensor::scaled_sample(s, 2));
  EXPECT_DOUBLE_EQ(g4.cells_per_feature_x, 4 * g.cells_per_feature_x);
  EXPECT_DOUBLE_EQ(g4.cells_per_feature_z, 4 * g.cells_per_feature_z);
  // One material: nothing to resolve, nothing to expect.
  const tensor::GeometryResolution one = tensor::geometry_resolution(with_map(materials, 4, 4, 0.01, [](int64_t, int64_t) { return 2; }));
  EXPECT_TRUE(std::isinf(one.cells_per_feature));
  EXPECT_EQ(tensor::expected_q1000_error(one, 1e-3), 0.0);
}

// Coarsening undoes refinement, a block's law being that of most of its
// cells; where the refined grids do not fit, coarsened ones are used and
// said so; where none fit, the message gives the memory needed.
TEST(ErrorGrids, CoarsensByTheMajorityWhenTheRefinedGridsDoNotFit) {
  const tensor::Sample m = with_map(ice_materials(), 4, 2, 0.01, [](int64_t j, int64_t k) { return (j * k) % 3 ? 1 : 2; });
  const tensor::Sample back = tensor::scaled_sample(tensor::scaled_sample(m, 2), -2);
  EXPECT_TRUE(back.nx == m.nx && back.h == m.h && back.material_of_cell == m.material_of_cell);
  // Block (1..2, 1..2): materials 1, 1, 1, 2 by (j k) % 3 -> 1; block (3..4, 1..2): 2, 1, 1, 2 -> tie, first (2).
  EXPECT_EQ(tensor::scaled_sample(m, -1).material_of_cell, (std::vector<int32_t>{1, 2}));
  EXPECT_THROW(tensor::scaled_sample(with_map(ice_materials(), 3, 2, 0.01, [](int64_t, int64_t) { return 1; }), -1),
               std::invalid_argument);
  const tensor::Sample s = with_map(ice_materials(), 4, 4, 0.01, [](int64_t j, int64_t) { return j <= 2 ? 1 : 2; });
  engine::Options o;
  o.threads = 1;
  auto make = [&](const tensor::Sample& x) {
    return std::make_unique<tensor::StiffnessComputation>(x, engine::make_solver(engine::Backend::own), o, tensor::TestChoice{});
  };
  const tensor::ErrorGrids all = tensor::error_grids(s, 0, -1, make);
  EXPECT_EQ(all.target, 0);
  EXPECT_EQ(all.samples[2]->nx, 16);
  const std::int64_t fine = all.memory_bytes;
  const tensor::ErrorGrids less = tensor::error_grids(s, 0, fine - 1, make);
  EXPECT_EQ(less.target, 1);
  EXPECT_EQ(less.samples[0]->nx, 2);
  EXPECT_NE(less.note.find("coarsened"), std::string::npos);
  // Refined grids need at least 4 and 16 times the run's factors: refused
  // before any of them is analysed, only the coarsened grids are built.
  int made = 0;
  auto counted = [&](const tensor::Sample& x) { return ++made, make(x); };
  const std::int64_t run = less.memory_bytes;  // above that of the grids of `less`
  const tensor::ErrorGrids small = tensor::error_grids(s, run, 6 * run, counted);
  EXPECT_EQ(small.target, 1);
  EXPECT_EQ(made, 2);
  EXPECT_NE(small.note.find("would need at least"), std::string::npos) << small.note;
  EXPECT_NE(support::refusal([&] { tensor::error_grids(s, 0, 1, make); }).find("MB are available"), std::string::npos);
}

// A random two-material image of 6 x 6 cells on its three grids (pixel
// replication by 1, 2, 4): the coarse grid's estimates cover its difference
// from the finest grid, built here by replicating every pixel into 4 x 4
// cells; the expected error of 1000/Q warns, as the refinement changes
// 1000/Q by more than 10 %.
TEST(ErrorEstimates, RandomImageEstimatesCoverItsOwnRefinement) {
  std::mt19937 gen(11);
  std::vector<int> map(36);
  for (int& m : map) m = gen() % 5 == 0 ? 2 : 1;
  const auto at = [&](int64_t j, int64_t k) { return map[(j - 1) + 6 * (k - 1)]; };
  const tensor::Sample s = with_map(ice_materials(), 6, 6, 0.01, at);
  const std::vector<double> freqs = {1, 1e3};
  std::vector<tensor::TensorRow> grids[3];
  for (int i = 0; i < 3; ++i) {
    const std::vector<tensor::Stiffness> c = tensor_at(tensor::scaled_sample(s, i), freqs);
    for (std::size_t k = 0; k < freqs.size(); ++k) grids[i].push_back(tensor::tensor_row(freqs[k], c[k], 1000, {}));
  }
  std::vector<tensor::TensorRow> rows = grids[0];
  tensor::add_error_columns(rows, grids, 0);
  const tensor::Sample finest = with_map(ice_materials(), 24, 24, 0.0025, [&](int64_t j, int64_t k) { return at((j + 3) / 4, (k + 3) / 4); });
  const std::vector<tensor::Stiffness> f = tensor_at(finest, freqs);
  bool changed_much = false;
  for (std::size_t k = 0; k < freqs.size(); ++k) {
    const tensor::TensorRow fine = tensor::tensor_row(freqs[k], f[k], 1000, {}), &coarse = rows[k];
    const double round = 1 + 1e-9;  // of the solves (forward error bounds far below)
    EXPECT_GE(column(rows, k, "err_q1000_p0") * round, std::fabs(coarse.q1000_p0 - fine.q1000_p0)) << freqs[k];
    EXPECT_GE(column(rows, k, "err_q1000_s0") * round, std::fabs(coarse.q1000_s0 - fine.q1000_s0)) << freqs[k];
    EXPECT_GE(column(rows, k, "err_vp90") * round, std::fabs(coarse.vp90 - fine.vp90)) << freqs[k];
    EXPECT_GE(column(rows, k, "err_c55") * round, core::cabs(coarse.c55 - fine.c55)) << freqs[k];
    if (std::max(std::fabs(coarse.q1000_p0 / fine.q1000_p0 - 1), std::fabs(coarse.q1000_s0 / fine.q1000_s0 - 1)) > 0.1) {
      changed_much = true;
      const double resolution = f[k].bounds.cells_per_diffusion_length * 4;
      EXPECT_GT(tensor::expected_q1000_error(tensor::geometry_resolution(s), resolution), tensor::kUnresolvedQ1000Error);
    }
  }
  EXPECT_TRUE(changed_much) << "the image was meant to be unresolved";
}

}  // namespace
}  // namespace tensor_test
