// Shared fixtures of the model tests: a scratch working directory and the
// example materials laid out in two halves.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "core/coefficients.hpp"
#include "core/text_out.hpp"
#include "model/e_modulus.hpp"
#include "model/mass_visco_coef.hpp"
#include "upscaling/readata.hpp"
#include "run_program.hpp"

namespace model_test {

// Each test runs in a fresh directory of its own, where the routines'
// files land (the routines throw their stops: the process goes on).
struct InTempDir : ::testing::Test {
  const support::ScratchDir dir_{"model_test"};
  const std::filesystem::path old_ = std::filesystem::current_path();
  void SetUp() override { std::filesystem::current_path(dir_ / "."); }
  void TearDown() override { std::filesystem::current_path(old_); }
};

// An example deck as the programs read it (echoed once), on an nx x ny grid
// with the two layer materials in halves.
inline core::Deck example_deck(const std::string& name, int nx, int ny) {
  static std::map<std::string, core::Deck> read;
  if (!read.count(name)) {
    std::string text = support::join(support::deck_lines(name));
    std::FILE* f = fmemopen(text.data(), text.size(), "r");
    core::RecordSource in(f, name);
    upscaling::readata(in, read[name]);
    std::fclose(f);
  }
  core::Deck d = read[name];
  d.nx = nx, d.ny = ny, d.nl(1) = d.nl(2) = ny / 2;
  return d;
}

// Permafrost: quartz grains, ice, water at 0 C; water proportions 0.1 and
// 0.3, absolute porosity 0.4.
inline core::Deck ice_deck(int nx, int ny) { return example_deck("ice.deck", nx, ny); }
// Shaley sand: quartz grains and clay; shale proportions 0.1 and 0.3, water
// proportions 0.25 and 0.2.
inline core::Deck shale_deck(int nx, int ny) { return example_deck("shale.deck", nx, ny); }

// Lower half material 1, upper half material 2, each with its layer's water
// proportion, or, given `phi`, material 1 everywhere with water proportion
// phi(j, k); and the coefficient fields.
struct Sample {
  core::Deck deck;
  core::IntField matnum{};
  core::RealField phiw{};
  core::Coefficients c{};
  explicit Sample(const core::Deck& d, const std::function<double(int, int)>& phi = nullptr) : deck(d) {
    for (int k = 1; k <= d.ny; ++k)
      for (int j = 1; j <= d.nx; ++j)
        phiw(j, k) = phi ? (matnum(j, k) = 1, phi(j, k)) : deck.phi_layer1(matnum(j, k) = k <= d.ny / 2 ? 1 : 2);
  }
  // Both coefficient routines at angular frequency omega (cycle 2: no plotting files).
  void coefficients(core::TestKind kind, double omega, core::TextOut& out) {
    model::e_modulus(kind, deck, matnum, phiw, omega, 2, c, out);
    model::mass_visco_coef(kind, deck, matnum, phiw, 2, c, out);
  }
};

// The compressional coefficients of an nx x ny grid of material 1 with water
// proportion phi(j, k) at angular frequency omega, the report going nowhere.
inline std::unique_ptr<Sample> material_one(core::Deck d, int nx, int ny, double omega,
                                            const std::function<double(int, int)>& phi) {
  static core::TextOut quiet("/dev/null");
  d.nx = nx, d.ny = ny;
  auto s = std::make_unique<Sample>(d, phi);
  s->coefficients(core::TestKind::compressional, omega, quiet);
  return s;
}

// Runs `body(out)` with `out` a report file, and returns what it wrote.
template <class F>
std::string report_of(F body) {
  core::TextOut out("report.txt");
  body(out);
  out.close();
  return support::slurp("report.txt");
}

}  // namespace model_test
