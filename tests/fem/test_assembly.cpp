// Assembly of the global system in Yale storage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "core/capacities.hpp"
#include "core/coefficients.hpp"
#include "core/complex.hpp"
#include "core/test_kind.hpp"
#include "fem/assembly.hpp"
#include "fem/element.hpp"
#include "fem/numbering.hpp"
#include "fem/yale_system.hpp"

namespace {

using core::TestKind;
using core::zcomplex;

constexpr double kOmega = 2 * M_PI * 37.0;
constexpr double kH = 0.02;

// Distinct random coefficients in every cell of the whole 60 x 60 field.
std::unique_ptr<core::Coefficients> random_coefficients(unsigned seed) {
  auto c = std::make_unique<core::Coefficients>();
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.5, 1.5);
  core::RealField* fields[] = {&c->lambda1, &c->lambda3, &c->mu1, &c->mu3, &c->mu13, &c->b1,
                               &c->b2,      &c->m,       &c->d3,  &c->p11, &c->p12,  &c->p13,
                               &c->p22,     &c->p23,     &c->p33, &c->f11, &c->f12,  &c->f22};
  const double scale[] = {1e10, 2e9, 5e9, 1e9, 3e8, 4e9, 6e8, 8e9, 2e8,
                          2650, -20, 10, 1000, -5, 920, 1e11, 7e10, 2e11};
  for (int f = 0; f < 18; ++f)
    for (int k = 1; k <= core::kMaxCellsPerSide; ++k)
      for (int j = 1; j <= core::kMaxCellsPerSide; ++j) (*fields[f])(j, k) = scale[f] * u(rng);
  return c;
}

struct Assembled {
  std::unique_ptr<fem::XnodTable> xnod = std::make_unique<fem::XnodTable>();
  std::unique_ptr<core::Coefficients> coef;
  fem::YaleSystem sys;
  int n;
  Assembled(TestKind kind, int nx, int ny, unsigned seed, bool by_insertion = false)
      : coef(random_coefficients(seed)), sys(core::unknowns_of(nx, ny)), n(core::unknowns_of(nx, ny)) {
    fem::global_numbering(nx, ny, *xnod);
    if (by_insertion) fem::global_sist_by_insertion(kind, kOmega, nx, ny, kH, *xnod, *coef, sys);
    else fem::global_sist(kind, kOmega, nx, ny, kH, *xnod, *coef, sys);
  }
};

bool same_bits(zcomplex a, zcomplex b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// On small grids of both tests: the linear build is bit for bit the build by
// insertion; the right-hand side holds the loads (compressional, unit pressure
// down on both solids of the top row; shear, unit tractions on solid 1,
// downward on the left side, upward on the right side, +x on the top; each
// boundary segment gives half its length to each end, the clamped bottom
// vertices nothing), solid component c (1: solid-1 x, 2: solid-1 y, 3: solid-3
// x, 4: solid-3 y) of vertex (j, k) being unknown (k - 1)(6 nx + 5) + 5 (j - 1) + c;
// the six mass coefficients of the grid's cells are zeroed, nothing else; and
// the stored entries are exactly the sums of the cells' element blocks, each
// with its own cell's coefficients, at the numbers of their unknowns.
TEST(Assembly, SmallGridsOfBothTests) {
  const int grids[][2] = {{1, 1}, {2, 1}, {3, 1}, {1, 3}, {2, 2}, {4, 3}};
  unsigned seed = 11;
  for (TestKind kind : {TestKind::compressional, TestKind::shear})
    for (auto [nx, ny] : grids) {
      SCOPED_TRACE(testing::Message() << nx << "x" << ny << (kind == TestKind::shear ? " shear" : " compressional"));
      ++seed;
      Assembled fast(kind, nx, ny, seed), ref(kind, nx, ny, seed, true);
      const int n = fast.n;
      for (int i = 1; i <= n + 1; ++i) ASSERT_EQ(fast.sys.ia(i), ref.sys.ia(i)) << "ia(" << i << ")";
      for (int p = 1; p <= 50 * n; ++p) {
        ASSERT_EQ(fast.sys.ja(p), ref.sys.ja(p)) << "ja(" << p << ")";
        ASSERT_TRUE(same_bits(fast.sys.avec(p), ref.sys.avec(p))) << "avec(" << p << ")";
      }
      for (int i = 1; i <= n; ++i) ASSERT_TRUE(same_bits(fast.sys.rhs_m(i), ref.sys.rhs_m(i))) << "rhs_m(" << i << ")";

      std::vector<double> load(n + 1, 0.0);
      auto segment = [&](int j1, int k1, int j2, int k2, int c, double traction) {
        for (auto [j, k] : {std::pair{j1, k1}, std::pair{j2, k2}})
          if (k > 1) load[(k - 1) * (6 * nx + 5) + 5 * (j - 1) + c] += traction * kH / 2;
      };
      for (int j = 1; j <= nx; ++j)
        for (int c : kind == TestKind::shear ? std::vector{1} : std::vector{2, 4})
          segment(j, ny + 1, j + 1, ny + 1, c, kind == TestKind::shear ? 1.0 : -1.0);
      for (int k = 1; k <= ny && kind == TestKind::shear; ++k) {
        segment(1, k, 1, k + 1, 2, -1.0);
        segment(nx + 1, k, nx + 1, k + 1, 2, +1.0);
      }
      for (int i = 1; i <= n; ++i) EXPECT_EQ(fast.sys.rhs_m(i), (zcomplex{load[i], 0})) << "rhs_m(" << i << ")";

      const auto fresh = random_coefficients(seed);
      using C = core::Coefficients;
      for (int k = 1; k <= ny + 1; ++k)
        for (int j = 1; j <= nx + 1; ++j) {
          for (auto f : {&C::p11, &C::p12, &C::p13, &C::p22, &C::p23, &C::p33})
            EXPECT_EQ(((*fast.coef).*f)(j, k), j <= nx && k <= ny ? 0.0 : ((*fresh).*f)(j, k)) << j << "," << k;
          EXPECT_EQ(fast.coef->lambda1(j, k), fresh->lambda1(j, k));
        }

      // Every cell's element block summed in the same order into a dense matrix.
      std::vector<zcomplex> dense(n * n);
      fem::ElementMatrix ae;
      fem::ElementLoad be;
      auto& f = *fresh;
      for (int j = 1; j <= nx; ++j)
        for (int k = 1; k <= ny; ++k) {
          fem::local_sys(kind, j, k, nx, ny, kOmega, kH, f.lambda1(j, k), f.lambda3(j, k), f.mu1(j, k), f.mu3(j, k),
                         f.mu13(j, k), f.b1(j, k), f.b2(j, k), f.m(j, k), f.d3(j, k), f.p11(j, k), f.p12(j, k),
                         f.p13(j, k), f.p22(j, k), f.p23(j, k), f.p33(j, k), f.f11(j, k), f.f12(j, k), f.f22(j, k),
                         ae, be);
          const int cell = fem::cell_serial(j, k, nx);
          for (int r = 1; r <= 20; ++r)
            for (int c = 1; c <= 20; ++c) dense[((*fast.xnod)(cell, r) - 1) * n + (*fast.xnod)(cell, c) - 1] += ae(r, c);
        }
      for (int i = 1; i <= n; ++i)
        for (int p = fast.sys.ia(i); p < fast.sys.ia(i + 1); ++p) {
          zcomplex& d = dense[(i - 1) * n + fast.sys.ja(p) - 1];
          ASSERT_TRUE(same_bits(fast.sys.avec(p), d)) << "row " << i << " column " << fast.sys.ja(p);
          d = {0, 0};
        }
      for (int e = 0; e < n * n; ++e) ASSERT_EQ(dense[e], (zcomplex{0, 0})) << "unstored entry " << e;
    }
}

// Stored entries and the longest row, for grids small and large.
TEST(Assembly, PatternIsTheUnionOfTheCellBlocks) {
  const int grids[][2] = {{1, 1}, {2, 2}, {4, 3}, {1, 5}, {60, 60}};
  for (TestKind kind : {TestKind::compressional, TestKind::shear})
    for (auto [nx, ny] : grids) {
      SCOPED_TRACE(testing::Message() << nx << "x" << ny);
      const Assembled a(kind, nx, ny, 5);
      EXPECT_EQ(a.sys.ia(a.n + 1) - 1, 254 * nx * ny + 65 * nx + 65 * ny + 16);
      int longest = 0;
      for (int i = 1; i <= a.n; ++i) longest = std::max(longest, a.sys.ia(i + 1) - a.sys.ia(i));
      EXPECT_TRUE(nx >= 2 && ny >= 2 ? longest == 48 : longest <= 48) << longest;
    }
}

}  // namespace
