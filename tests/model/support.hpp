// Shared fixtures of the model tests: a scratch working directory and the
// example materials laid out in two halves.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "core/cell_array.hpp"
#include "core/coefficients.hpp"
#include "core/deck.hpp"
#include "core/text_out.hpp"

namespace model_test {

// Each test runs in a fresh temporary directory, where the routines' files land.
class InTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (std::filesystem::temp_directory_path() / "model_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(t.data()), nullptr);
    std::filesystem::current_path(dir_ = t);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path old_ = std::filesystem::current_path(), dir_;
};

inline std::string slurp(const std::string& name) {
  std::stringstream s;
  s << std::ifstream(name).rdbuf();
  return s.str();
}

// Both layer materials of the permafrost example: quartz grains, ice, water
// at 0 C; water proportions 0.1 and 0.3, absolute porosity 0.4.
inline core::Deck ice_deck(int nx, int ny) {
  core::Deck d;
  d.freq = 10, d.nx = nx, d.ny = ny, d.key_model = 0, d.nlayers = 2;
  for (int n = 1; n <= 2; ++n) {
    d.nl(n) = ny / 2;
    d.akf(n) = 2.25e9, d.ro2(n) = 1000, d.eta(n) = 1.798e-3, d.ro1(n) = 2650, d.ro3(n) = 920;
    d.phi_a(n) = 0.4, d.capa_1_0(n) = 1e-12, d.capa_3_0(n) = 5e-13, d.rs1(n) = 5e-5, d.rs3(n) = 1e-6;
    d.coef_b13(n) = 1e8, d.ak_air(n) = 1.42e5, d.xmu_air(n) = 1e3;
    d.ak_s1(n) = 3.6e10, d.xmu_s1(n) = 4.4e10, d.ak_s3(n) = 8.58e9, d.xmu_s3(n) = 3.32e9;
  }
  d.phi_layer1(1) = 0.1, d.phi_layer1(2) = 0.3;
  return d;
}

// Both layer materials of the shaley-sand example: quartz grains and clay.
inline core::Deck shale_deck(int nx, int ny) {
  core::Deck d = ice_deck(nx, ny);
  d.key_model = 1;
  for (int n = 1; n <= 2; ++n)
    d.eta(n) = 1e-3, d.ro3(n) = 2580, d.ak_s1(n) = 3.7e10, d.ak_s3(n) = 2.09e10, d.xmu_s3(n) = 6.85e9;
  d.s3(1) = 0.1, d.s3(2) = 0.3;
  d.phi_layer1(1) = 0.25, d.phi_layer1(2) = 0.2;
  return d;
}

// Lower half material 1, upper half material 2, each with its layer's water
// proportion; and the coefficient fields.
struct Sample {
  core::Deck deck;
  core::IntField matnum{};
  core::RealField phiw{};
  core::Coefficients c{};
  explicit Sample(const core::Deck& d) : deck(d) {
    for (int k = 1; k <= d.ny; ++k)
      for (int j = 1; j <= d.nx; ++j) phiw(j, k) = deck.phi_layer1(matnum(j, k) = k <= d.ny / 2 ? 1 : 2);
  }
};

inline std::unique_ptr<Sample> make_sample(const core::Deck& d) { return std::make_unique<Sample>(d); }

// Runs `body(out)` with `out` a report file, and returns what it wrote.
template <class F>
std::string report_of(F body) {
  {
    core::TextOut out("report.txt");
    body(out);
    out.close();
  }
  return slurp("report.txt");
}

}  // namespace model_test
