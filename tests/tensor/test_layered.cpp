// A horizontally layered sample: its tensor at the frequency extremes
// against the relaxed and unrelaxed averages of the layers (derived in
// doc/tensor.md), on a grid fine enough to resolve the fluid's diffusion
// length; and C33 against the tied modulus that pwave_upscale prints for the
// same deck.
#include <array>
#include <cstdio>

#include "tests/support/run_program.hpp"
#include "tests/tensor/support.hpp"

namespace tensor_test {
namespace {

using M3 = std::array<std::array<double, 3>, 3>;
using V3 = std::array<double, 3>;

M3 inverse(const M3& a) {
  M3 c;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      c[j][i] = a[i1][j1] * a[i2][j2] - a[i1][j2] * a[i2][j1];  // cofactor, transposed
    }
  const double det = a[0][0] * c[0][0] + a[0][1] * c[1][0] + a[0][2] * c[2][0];
  for (auto& row : c)
    for (double& x : row) x /= det;
  return c;
}
V3 times(const M3& a, const V3& v) {
  V3 r{};
  for (int i = 0; i < 3; ++i) r[i] = a[i][0] * v[0] + a[i][1] * v[1] + a[i][2] * v[2];
  return r;
}
double dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

struct Normal {
  double c11, c13, c33;
};

// Relaxed: each solid's vertical stress and the fluid pressure uniform,
// <strain of each solid> = eps_zz, no net fluid flux. Unrelaxed: the
// solids locked together, no relative fluid flow, total stress uniform.
void layered_limits(const std::vector<model::ElasticCell>& layers, Normal& relaxed, Normal& unrelaxed) {
  M3 mean_inv{};
  V3 mean_inv_f{};
  double mean_g_relaxed = 0, inv_g = 0, l_over_g = 0, mean_g_unrelaxed = 0;
  const double w = 1.0 / static_cast<double>(layers.size());
  for (const model::ElasticCell& e : layers) {
    const double a = e.lambda1 + 2 * e.mu1, b = e.lambda3 + 2 * e.mu3, c = e.d3 + e.mu13, g = a + b + 2 * c;
    const M3 E{{{a, c, e.B1}, {c, b, e.B2}, {e.B1, e.B2, e.M}}};
    const V3 f{e.lambda1 + e.d3, e.lambda3 + e.d3, e.B1 + e.B2};
    const M3 inv = inverse(E);
    const V3 inv_f = times(inv, f);
    for (int i = 0; i < 3; ++i) {
      mean_inv_f[i] += w * inv_f[i];
      for (int j = 0; j < 3; ++j) mean_inv[i][j] += w * inv[i][j];
    }
    mean_g_relaxed += w * (g - dot(f, inv_f));
    const double l = f[0] + f[1];
    inv_g += w / g, l_over_g += w * l / g, mean_g_unrelaxed += w * (g - l * l / g);
  }
  const M3 p = inverse(mean_inv);
  const V3 e{1, 1, 0}, pe = times(p, e);
  relaxed = {mean_g_relaxed + dot(mean_inv_f, times(p, mean_inv_f)), dot(mean_inv_f, pe), dot(e, pe)};
  unrelaxed = {mean_g_unrelaxed + l_over_g * l_over_g / inv_g, l_over_g / inv_g, 1 / inv_g};
}

// Two layers of 0.1 m of the ice deck's materials, one column of ny cells.
tensor::Sample two_layers(int64_t ny) {
  return with_map(ice_materials(), 1, ny, 0.2 / static_cast<double>(ny),
                  [ny](int64_t, int64_t k) { return 2 * k <= ny ? 1 : 2; });
}

Normal limit_at(const tensor::Sample& s, double f, bool relaxed) {
  const std::vector<model::ElasticCell> laws = {law_of(s, 1, s.materials[0].phi_layer1, f),
                                                law_of(s, 2, s.materials[1].phi_layer1, f)};
  Normal r, u;
  layered_limits(laws, r, u);
  EXPECT_GT(std::abs(u.c33 - r.c33), 1e-2 * u.c33);  // the two limits lie far apart
  return relaxed ? r : u;
}

// At 0.1 mHz the fluid diffusion length dwarfs the layers: the relaxed
// average, reached by the grid to 1e-6 of the relaxation span. At high
// frequency only a boundary layer of the diffusion length L ~ f^(-1/2) next
// to each interface relaxes: the distance to the unrelaxed average is
// O(L / layer) and falls by sqrt(10) per decade. The grid (h = 0.5 mm)
// resolves L: halving h moves the tensor far less than that distance, so
// the approach is the physics, not grid error. Under periodic boundaries the
// deck repeated without end has two interfaces per period where the sealed
// sample has one, so near the unrelaxed end its distance doubles; both
// limits stay those of the layers.
TEST(LayeredSample, RelaxedAndUnrelaxedLimitsAtTheFrequencyExtremes) {
  const tensor::Sample s = two_layers(40), dense = two_layers(400), fine = two_layers(800);
  const Normal r = limit_at(s, 1e-4, true), u = limit_at(s, 1e-4, false);
  const Normal u4 = limit_at(s, 1e4, false), u5 = limit_at(s, 1e5, false), r5 = limit_at(s, 1e5, true);
  const double span = std::abs(u.c33 - r.c33), span5 = std::abs(u5.c33 - r5.c33);
  const auto normal = [](const tensor::Stiffness& c) { return Normal{c.c11.re, c.c13.re, c.c33.re}; };
  for (const tensor::Boundary b : {tensor::Boundary::sealed, tensor::Boundary::periodic}) {
    const bool sealed = b == tensor::Boundary::sealed;
    const Normal got = normal(tensor_at(s, {1e-4}, b)[0]);
    const std::vector<tensor::Stiffness> high = tensor_at(dense, {1e4, 1e5}, b);
    const Normal got4 = normal(high[0]), got5 = normal(high[1]);
    const Normal got_fine = sealed ? normal(tensor_at(fine, {1e5})[0]) : got5;
    for (auto m : {&Normal::c11, &Normal::c13, &Normal::c33}) {
      EXPECT_LT(std::abs(got.*m - r.*m), 1e-6 * span) << sealed;
      const double d4 = std::abs(got4.*m - u4.*m), d5 = std::abs(got5.*m - u5.*m);
      EXPECT_LT(d5, (sealed ? 2e-2 : 4e-2) * span5) << sealed;
      EXPECT_GT(d4 / d5, 2.6) << sealed;
      EXPECT_LT(d4 / d5, 3.8) << sealed;
      EXPECT_LT(std::abs(got5.*m - got_fine.*m), 0.05 * d5) << sealed;
    }
  }
}

// The biaxial test's C33 of a horizontally layered deck is the tied
// modulus M_T of the compressional test on the same grid: both tie the two
// solids' mean vertical strains, and the layered solution does not depend
// on x. pwave_upscale itself runs at each frequency.
TEST(LayeredSample, C33IsTheCompressionalTiedModulus) {
  const std::string deck = text_of(example("ice_small.deck")), rest = deck.substr(deck.find('\n'));
  const tensor::Sample s = tensor::read_deck_sample(example("ice_small.deck"));
  const std::vector<double> f = {1e-3, 0.3, 10, 1e3, 1e5};
  const std::vector<tensor::Stiffness> c = tensor_at(s, f);
  for (std::size_t i = 0; i < f.size(); ++i) {
    char first[64];
    std::snprintf(first, sizeof first, "%.17g   freq (Hz)", f[i]);
    const support::Outcome run = support::run("pwave_upscale", first + rest);
    EXPECT_EQ(run.status, 40) << run.describe();
    const std::vector<double> mt = run.values("tied modulus M_T (Pa) =");
    ASSERT_EQ(mt.size(), 2u) << run.describe();
    EXPECT_LT(rel(c[i].c33, {mt[0], mt[1]}), 1e-8) << f[i];
  }
}

}  // namespace
}  // namespace tensor_test
