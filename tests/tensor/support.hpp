// Samples built in code from the example decks' materials, and the tensor
// of a sample computed by the program's own engine.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/sparse_solver.hpp"
#include "model/e_modulus.hpp"
#include "model/fractions.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/deck_sample.hpp"
#include "tensor/options.hpp"
#include "tensor/run.hpp"
#include "tensor/stiffness.hpp"

namespace tensor_test {

using core::zcomplex;

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

// The elastic law of one cell of material n (1-based) of s at frequency f.
inline model::ElasticCell law_of(const tensor::Sample& s, int n, double phi, double f) {
  const core::Deck d = tensor::material_deck(s.key_model, s.materials[static_cast<std::size_t>(n - 1)]);
  return model::elastic_cell(d, 1, phi, model::split_fractions(d, 1, phi), 6.283185307179586 * f);
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

}  // namespace tensor_test
