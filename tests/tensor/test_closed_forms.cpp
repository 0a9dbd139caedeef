// The tensor against what a sample's symmetry or a single material fixes:
// closed forms of a homogeneous sample (also against the shear program's
// tied modulus and Gassmann's relations), the exchange of C11 and C33 under
// a transposed map, and a positive dissipation on any sample.
#include <random>

#include "tensor/io.hpp"
#include "tensor/velocities.hpp"
#include "tests/tensor/support.hpp"

namespace tensor_test {
namespace {

const std::vector<double> kSpread = {1e-3, 1.0, 1e3, 1e5};

// One material fills the grid: both solids share a uniform strain and no
// fluid moves, so C11 = C33 = A + B + 2C, C55 = mu1 + mu3 + mu13 (the tied
// shear modulus of swave_spectrum) and C13 = C11 - 2 C55 (isotropy). The
// grid is not square, so that a width taken for a height shows.
TEST(HomogeneousSample, ClosedFormsAtEveryFrequency) {
  const tensor::Sample s = with_map(ice_materials(), 4, 3, 0.01, [](int64_t, int64_t) { return 2; });
  const double phi = s.materials[1].phi_layer1;
  const std::vector<tensor::Stiffness> c = tensor_at(s, kSpread);
  for (std::size_t i = 0; i < kSpread.size(); ++i) {
    const model::ElasticCell e = law_of(s, 2, phi, kSpread[i]);
    const double p = e.lambda1 + 2 * e.mu1 + e.lambda3 + 2 * e.mu3 + 2 * (e.d3 + e.mu13);
    const double mu = e.mu1 + e.mu3 + e.mu13;
    EXPECT_LT(rel(c[i].c11, {p, 0}), 1e-8) << kSpread[i];
    EXPECT_LT(rel(c[i].c33, {p, 0}), 1e-8) << kSpread[i];
    EXPECT_LT(rel(c[i].c55, {mu, 0}), 1e-8) << kSpread[i];
    EXPECT_LT(rel(c[i].c13, {p - 2 * mu, 0}), 1e-8) << kSpread[i];
    EXPECT_LT(rel(c[i].c31, c[i].c13), 1e-8) << kSpread[i];
  }
}

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

// Im of the normal block [[C11, C13], [C31, C33]] is positive semidefinite
// and Im C55 >= 0: the sample dissipates under any mean strain.
void expect_passive(const tensor::Sample& s, const std::string& what) {
  std::vector<double> f;
  for (double x = 1e-3; x <= 1.1e5; x *= 100) f.push_back(x);
  const std::vector<tensor::Stiffness> c = tensor_at(s, f);
  for (std::size_t i = 0; i < f.size(); ++i) {
    const double scale = 1e-12 * c[i].c11.re;
    const double a = c[i].c11.im, d = c[i].c33.im, b = 0.5 * (c[i].c13.im + c[i].c31.im);
    EXPECT_GE(a, -scale) << what << " " << f[i];
    EXPECT_GE(d, -scale) << what << " " << f[i];
    EXPECT_GE(a * d - b * b, -scale * (std::abs(a) + std::abs(d))) << what << " " << f[i];
    EXPECT_GE(c[i].c55.im, -scale) << what << " " << f[i];
  }
}

TEST(Passivity, LayeredRandomAndImageSamples) {
  const tensor::Sample base = ice_materials();
  expect_passive(with_map(base, 3, 8, 0.01, [](int64_t, int64_t k) { return k <= 3 ? 1 : 2; }), "layered");
  std::mt19937 rng(11);
  expect_passive(with_map(base, 7, 5, 0.01, [&](int64_t, int64_t) { return 1 + static_cast<int>(rng() % 2); }),
                 "random");
  tensor::Sample shale = tensor::read_deck_sample(example("shale_small.deck"));
  expect_passive(with_map(shale, 6, 6, 0.02,
                          [](int64_t j, int64_t k) { return (j - 3) * (j - 3) + (k - 3) * (k - 3) < 5 ? 2 : 1; }),
                 "shaley-sand inclusion");
  // The patchy-ice image, every second pixel of it.
  const tensor::Sample image = tensor::read_sample_file(example("patchy_ice/sample.toml"));
  expect_passive(with_map(image, image.nx / 2, image.ny / 2, 2 * image.h,
                          [&](int64_t j, int64_t k) {
                            return image.material_of_cell[static_cast<std::size_t>((2 * j - 2) + (2 * k - 2) * image.nx)];
                          }),
                 "patchy ice image");
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
