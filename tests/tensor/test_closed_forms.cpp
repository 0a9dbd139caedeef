// The tensor against what a sample's symmetry or a single material fixes:
// Gassmann's relations for a homogeneous sample and the exchange of C11 and
// C33 under a transposed map (the closed forms of one material and the
// dissipation are checked with the periodic test, for both boundaries).
#include <random>

#include "tensor/io.hpp"
#include "tensor/velocities.hpp"
#include "tests/tensor/support.hpp"

namespace tensor_test {
namespace {


// With the 3D Lame relations a homogeneous cell with (almost) no solid 3
// is a two-phase Biot medium: its P modulus is Gassmann's undrained bulk
// modulus plus 4/3 of the frame's shear modulus, at low frequency where
// the viscous shear term has vanished.
TEST(HomogeneousSample, ThreeDimensionalLameGivesGassmann) {
  tensor::Sample s = tensor::read_deck_sample(example("shale_small.deck"));
  s = with_map(s, 2, 2, 0.01, [](int64_t, int64_t) { return 1; });
  s.lame = tensor::LameRelations::three_d;
  tensor::Material& m = s.materials[0];
  m.s3 = 1e-13;
  const double phi = m.phi_layer1, ks = m.ak_s1, kf = m.akf;
  const double e = std::pow(1 - phi, 1 + 2 / (1 - phi));  // Krief's frame factor
  const double kdry = ks * e, mudry = kdry * m.xmu_s1 / ks;
  const double a = 1 - kdry / ks;
  const double ksat = kdry + a * a / (phi / kf + (1 - phi) / ks - kdry / (ks * ks));
  const double rho = phi * m.ro2 + (1 - phi) * m.ro1;
  const tensor::Stiffness c = tensor_at(s, {1e-3})[0];
  const double vp = tensor::wave_of(c.c33, tensor::mean_density(s)).velocity;
  EXPECT_NEAR(vp / std::sqrt((ksat + 4 * mudry / 3) / rho), 1.0, 1e-6);
}

// A random two-material map and its transpose: x and z exchange, so C11
// and C33 exchange and C13 stays.
TEST(RotatedSample, TransposedMapExchangesC11AndC33) {
  std::mt19937 rng(7);
  std::vector<int32_t> map(36);
  for (int32_t& m : map) m = 1 + static_cast<int32_t>(rng() % 2);
  const tensor::Sample base = ice_materials();
  const tensor::Sample a = with_map(base, 6, 6, 0.01, [&](int64_t j, int64_t k) { return map[(j - 1) + 6 * (k - 1)]; });
  const tensor::Sample b = with_map(base, 6, 6, 0.01, [&](int64_t j, int64_t k) { return map[(k - 1) + 6 * (j - 1)]; });
  const std::vector<double> f = {0.1, 30.0};
  const std::vector<tensor::Stiffness> ca = tensor_at(a, f), cb = tensor_at(b, f);
  for (std::size_t i = 0; i < f.size(); ++i) {
    EXPECT_LT(rel(ca[i].c11, cb[i].c33), 1e-9);
    EXPECT_LT(rel(ca[i].c33, cb[i].c11), 1e-9);
    EXPECT_LT(rel(ca[i].c13, cb[i].c13), 1e-9);
    EXPECT_GT(rel(ca[i].c11, ca[i].c33), 1e-6);  // the map is not symmetric itself
  }
}

}  // namespace
}  // namespace tensor_test

// An isotropic, lossy stiffness (C13 = C11 - 2 C55) has the same two waves
// in every direction: moduli C11 and C55.
TEST(Christoffel, IsotropicStiffnessGivesTheSameWavesAtEveryAngle) {
  const core::zcomplex c11{3e10, 2e8}, c55{1e10, 5e7}, c13 = c11 - 2.0 * c55;
  for (const double theta : {0.0, 30.0, 45.0, 71.0}) {
    const tensor::PSVWaves w = tensor::christoffel({c11, c13, c13, c11, c55, 0, {}}, theta);
    EXPECT_LT(core::cabs(w.p - c11) + core::cabs(w.sv - c55), 1e-6 * core::cabs(c11)) << theta;
  }
}
