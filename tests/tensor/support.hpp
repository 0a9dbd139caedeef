// Samples built in code from the example decks' materials, and the tensor
// of a sample computed by the program's own engine.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "engine/sparse_solver.hpp"
#include "model/e_modulus.hpp"
#include "model/fractions.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/deck_sample.hpp"
#include "tensor/io.hpp"
#include "tensor/options.hpp"
#include "tensor/reduced_periodic.hpp"
#include "tensor/run.hpp"
#include "tensor/stiffness.hpp"
#include "tensor/stiffness_accuracy.hpp"

namespace tensor_test {

using core::zcomplex;

constexpr double kTwoPi = 6.283185307179586;
constexpr double kU = std::numeric_limits<double>::epsilon() / 2;  // the unit roundoff

inline std::string example(const std::string& name) {
  const char* dir = std::getenv("UPSCALE_EXAMPLES");
  return std::string(dir ? dir : TENSOR_TEST_EXAMPLES) + "/" + name;
}

// The two layer materials of examples/ice.deck (water 0.1 and 0.3).
inline tensor::Sample ice_materials() { return tensor::read_deck_sample(example("ice.deck")); }

// nx x ny cells of side h, material of cell (j, k) from `material(j, k)`.
template <class F>
tensor::Sample with_map(tensor::Sample s, int64_t nx, int64_t ny, double h, F&& material) {
  s.nx = nx, s.ny = ny, s.h = h;
  s.water_of_cell.clear();
  s.material_of_cell.assign(static_cast<std::size_t>(nx * ny), 1);
  for (int64_t k = 1; k <= ny; ++k)
    for (int64_t j = 1; j <= nx; ++j) s.material_of_cell[static_cast<std::size_t>((j - 1) + (k - 1) * nx)] = material(j, k);
  return s;
}

// The material of cell (j, k) of s.
inline int32_t at(const tensor::Sample& s, int64_t j, int64_t k) {
  return s.material_of_cell[static_cast<std::size_t>((j - 1) + (k - 1) * s.nx)];
}

// The two ice materials in random cells; with a `water_seed`, each cell
// with a water proportion of its own (0.05 to 0.08) drawn from it.
inline tensor::Sample random_map(int64_t nx, int64_t ny, unsigned seed, unsigned water_seed = 0) {
  std::mt19937 rng(seed), water(water_seed);
  tensor::Sample s = with_map(ice_materials(), nx, ny, 0.01, [&](int64_t, int64_t) { return 1 + static_cast<int>(rng() % 2); });
  for (std::size_t c = 0; water_seed && c < s.material_of_cell.size(); ++c)
    s.water_of_cell.push_back(0.05 + 0.01 * static_cast<double>(water() % 4));
  return s;
}

// The sample as a rank holding cell rows b.first..b.second keeps it.
inline tensor::Sample band_of(const tensor::Sample& s, std::pair<int64_t, int64_t> b) {
  tensor::Sample part = s;
  tensor::keep_band(part, {b.first, b.second});
  return part;
}

// Bands of a 7-row grid from the base up, as the ranks of a job hold them
// (the band and the row above it): uneven, one empty, the top one alone.
inline constexpr std::pair<int64_t, int64_t> kBands[] = {{1, 1}, {2, 1}, {2, 3}, {4, 6}, {7, 7}};

// 6 x 7 cells of two materials, a water proportion of its own in each: up
// to eight viscous groups, met by the bands in other orders.
inline tensor::Sample patchy() { return random_map(6, 7, 20261208, 7); }

inline zcomplex as_complex(double x) { return {x, 0}; }
inline zcomplex as_complex(zcomplex z) { return z; }

// Values summed by (row, col) of a pattern, or by index without one, with
// the largest part or partial sum seen: the scale of the rounding of sums.
struct Sum {
  std::map<std::pair<int64_t, int64_t>, zcomplex> e;
  double largest = 0;
  template <class T>
  void add(const std::vector<T>& v, const engine::Pattern* p = nullptr) {
    for (std::size_t i = 0; i < v.size(); ++i) {
      zcomplex& to = e[p ? std::pair{p->row[i], p->col[i]} : std::pair{static_cast<int64_t>(i), int64_t{0}}];
      to += as_complex(v[i]);
      largest = std::max({largest, core::cabs(as_complex(v[i])), core::cabs(to)});
    }
  }
};

// The bands' sums are the whole's, each value summing at most `terms`
// parts, here in another order: within a few roundings of the largest part.
inline void expect_same_sums(const Sum& whole, const Sum& bands, double terms, const std::string& what) {
  ASSERT_EQ(whole.e.size(), bands.e.size()) << what;
  const double scale = std::max(whole.largest, bands.largest);
  for (const auto& [at, z] : whole.e)
    EXPECT_LE(core::cabs(z - bands.e.at(at)), 4 * terms * kU * scale) << what << " at " << at.first << "," << at.second;
}

// Stripes rising to the right at 45 degrees (period 6 cells along each axis).
inline tensor::Sample stripes45(int64_t n) {
  return with_map(ice_materials(), n, n, 0.01, [](int64_t j, int64_t k) { return (j - k + 600) % 6 < 3 ? 1 : 2; });
}

// `count` frequencies drawn from 10 mHz to 10 kHz.
inline std::vector<double> random_frequencies(unsigned seed, int count) {
  std::mt19937 rng(seed);
  std::vector<double> f;
  for (int i = 0; i < count; ++i) f.push_back(std::pow(10.0, -2.0 + 6.0 * static_cast<double>(rng() % 10000) / 1e4));
  return f;
}

// The tensor of `s` at each frequency, one analysis for all.
inline std::vector<tensor::Stiffness> tensor_at(const tensor::Sample& s, const std::vector<double>& freqs,
                                                tensor::Boundary boundary = tensor::Boundary::sealed) {
  engine::Options o;
  o.threads = 1;
  tensor::StiffnessComputation comp(s, engine::make_solver(engine::Backend::own), o, {true, true, boundary});
  std::vector<tensor::Stiffness> out;
  for (double f : freqs) out.push_back(comp.at(f));
  return out;
}

// The reduced sweep over `freqs` (at most `max_full` full solves when
// positive), on the tests of the boundary.
inline tensor::ReducedStiffness sweep(const tensor::Sample& s, const std::vector<double>& freqs, double tolerance,
                                      int max_full = 0, tensor::Boundary boundary = tensor::Boundary::sealed) {
  engine::Options eo;
  eo.threads = 1;
  tensor::StiffnessComputation comp(s, engine::make_solver(engine::Backend::own), eo, {true, true, boundary});
  tensor::SweepOptions so;
  so.tolerance = tolerance;
  so.max_full_solves = max_full;
  const tensor::CellLawTerms terms = tensor::cell_law_terms(s);
  if (boundary == tensor::Boundary::periodic)
    return tensor::reduced_periodic_stiffness(s, terms, *comp.periodic_grid(), comp.solver(), freqs, so);
  return tensor::reduced_stiffness(s, terms, comp.grid(), comp.biaxial(), comp.shear(), {}, comp.solver(), freqs, so);
}

// A component of the tensor, its bound, and whether the bound is relative
// to the largest diagonal modulus (the couplings, which may vanish) rather
// than to the component itself. The first four are those the sealed tests
// measure with their own bounds.
struct Component {
  zcomplex tensor::Stiffness::*value;
  double tensor::StiffnessBounds::*bound;
  bool to_diagonal;
  const char* name;
};
using tensor::Stiffness, tensor::StiffnessBounds;
inline constexpr Component kComponents[] = {
    {&Stiffness::c11, &StiffnessBounds::c11, false, "C11"}, {&Stiffness::c13, &StiffnessBounds::c13, false, "C13"},
    {&Stiffness::c33, &StiffnessBounds::c33, false, "C33"}, {&Stiffness::c55, &StiffnessBounds::c55, false, "C55"},
    {&Stiffness::c31, &StiffnessBounds::c13, false, "C31"}, {&Stiffness::c15, &StiffnessBounds::c15, true, "C15"},
    {&Stiffness::c51, &StiffnessBounds::c15, true, "C51"},  {&Stiffness::c35, &StiffnessBounds::c35, true, "C35"},
    {&Stiffness::c53, &StiffnessBounds::c35, true, "C53"}};
inline std::span<const Component> components(tensor::Boundary b) {
  return {kComponents, b == tensor::Boundary::sealed ? 4u : 9u};
}

inline double diagonal(const Stiffness& c) {
  return std::max({core::cabs(c.c11), core::cabs(c.c33), core::cabs(c.c55)});
}

// The absolute bound a row reports on a component.
inline double absolute_bound(const Stiffness& c, const Component& m) {
  return c.bounds.*m.bound * (m.to_diagonal ? diagonal(c) : core::cabs(c.*m.value));
}

// Two tensors each within its bounds of the exact one, hence of each other;
// the bounds of `a` below `teeth`, so that the comparison means something.
inline void expect_same(const Stiffness& a, const Stiffness& b, const std::string& what, double teeth = 1e-6,
                        tensor::Boundary boundary = tensor::Boundary::sealed) {
  for (const Component& m : components(boundary)) {
    EXPECT_LE(core::cabs(a.*m.value - b.*m.value), absolute_bound(a, m) + absolute_bound(b, m)) << what << " " << m.name;
    EXPECT_LT(a.bounds.*m.bound, teeth) << what << " " << m.name;
  }
}

// The elastic law of one cell of material n (1-based) of s at frequency f.
inline model::ElasticCell law_of(const tensor::Sample& s, int n, double phi, double f) {
  const core::Deck d = tensor::material_deck(s.key_model, s.materials[static_cast<std::size_t>(n - 1)]);
  return model::elastic_cell(d, 1, phi, model::split_fractions(d, 1, phi), kTwoPi * f);
}

// A scratch folder removed however the test ends.
struct Folder {
  std::string dir = (std::filesystem::temp_directory_path() / "tensor_test.XXXXXX").string();
  bool made = ::mkdtemp(dir.data()) != nullptr;
  ~Folder() {
    if (made) std::filesystem::remove_all(dir);
  }
};

inline std::string text_of(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

// tensor_upscale run in process on `input` with -o `dir` --quiet and `more`.
inline int run_program(const std::string& input, const std::vector<std::string>& more, const std::string& dir) {
  std::vector<std::string> args = {"tensor_upscale", input, "-o", dir, "--quiet"};
  args.insert(args.end(), more.begin(), more.end());
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  return tensor::run(tensor::parse_options(static_cast<int>(argv.size()), argv.data()));
}

inline double rel(zcomplex a, zcomplex b) { return std::hypot(a.re - b.re, a.im - b.im) / std::hypot(b.re, b.im); }

// A test's bounds with its functionals solved apart from its loads (the
// program solves them in the loads' sweeps of the factor).
inline void bound_biaxial_alone(const tensor::GridSystem& g, const tensor::TestSetup& test,
                                std::span<const core::CellCoefficients> cells, double omega,
                                const tensor::SolvedLoads& t, engine::SparseSolver& solver, tensor::StiffnessBounds& b) {
  tensor::TestFunctionals f = tensor::test_functionals(g, test, cells, omega, true);
  std::vector<tensor::zcomplex> none;
  tensor::solve_with_bounds(solver, test, {}, none, f);
  tensor::bound_biaxial(g, f, t, solver, b);
}
inline void bound_shear_alone(const tensor::GridSystem& g, const tensor::TestSetup& test, const tensor::SolvedLoads& t,
                              engine::SparseSolver& solver, tensor::StiffnessBounds& b) {
  tensor::TestFunctionals f = tensor::test_functionals(g, test, {}, 0, false);
  std::vector<tensor::zcomplex> none;
  tensor::solve_with_bounds(solver, test, {}, none, f);
  tensor::bound_shear(g, f, t, solver, b);
}

}  // namespace tensor_test
