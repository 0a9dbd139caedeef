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
using fem::YaleSystem;

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
  YaleSystem sys;
  int n;
  Assembled(TestKind kind, int nx, int ny, unsigned seed, bool by_insertion = false)
      : coef(random_coefficients(seed)), sys(core::unknowns_of(nx, ny)), n(core::unknowns_of(nx, ny)) {
    fem::global_numbering(nx, ny, *xnod);
    if (by_insertion) fem::global_sist_by_insertion(kind, kOmega, nx, ny, kH, *xnod, *coef, sys);
    else fem::global_sist(kind, kOmega, nx, ny, kH, *xnod, *coef, sys);
  }
  int stored() const { return sys.ia(n + 1) - 1; }
};

bool same_bits(zcomplex a, zcomplex b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Assembly, LinearBuildEqualsInsertionBitForBit) {
  const int grids[][2] = {{1, 1}, {2, 1}, {1, 3}, {2, 2}, {4, 3}};
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
    }
}

TEST(Assembly, SingleCellHoldsThePermutedElement) {
  Assembled a(TestKind::compressional, 1, 1, 3);
  ASSERT_EQ(a.n, 20);
  for (int i = 1; i <= 21; ++i) EXPECT_EQ(a.sys.ia(i), 20 * (i - 1) + 1);
  for (int i = 1; i <= 20; ++i)
    for (int c = 1; c <= 20; ++c) EXPECT_EQ(a.sys.ja(a.sys.ia(i) + c - 1), c);

  auto coef = random_coefficients(3);
  fem::ElementMatrix ae;
  fem::ElementLoad be;
  auto& k = *coef;
  fem::local_sys(TestKind::compressional, 1, 1, 1, 1, kOmega, kH, k.lambda1(1, 1), k.lambda3(1, 1), k.mu1(1, 1),
                 k.mu3(1, 1), k.mu13(1, 1), k.b1(1, 1), k.b2(1, 1), k.m(1, 1), k.d3(1, 1), k.p11(1, 1),
                 k.p12(1, 1), k.p13(1, 1), k.p22(1, 1), k.p23(1, 1), k.p33(1, 1), k.f11(1, 1), k.f12(1, 1),
                 k.f22(1, 1), ae, be);
  const auto& x = *a.xnod;
  for (int r = 1; r <= 20; ++r)
    for (int c = 1; c <= 20; ++c) EXPECT_EQ(a.sys.avec(a.sys.ia(x(1, r)) + x(1, c) - 1), ae(r, c));
}

// Entry count, row length and structure for grids small and large.
TEST(Assembly, PatternIsTheUnionOfTheCellBlocks) {
  const int grids[][2] = {{1, 1}, {2, 2}, {4, 3}, {1, 5}, {60, 60}};
  for (auto [nx, ny] : grids) {
    SCOPED_TRACE(testing::Message() << nx << "x" << ny);
    Assembled a(TestKind::shear, nx, ny, 5);
    const auto& s = a.sys;
    EXPECT_EQ(a.stored(), 254 * nx * ny + 65 * nx + 65 * ny + 16);
    int longest = 0;
    for (int i = 1; i <= a.n; ++i) {
      longest = std::max(longest, s.ia(i + 1) - s.ia(i));
      bool diagonal = false;
      for (int p = s.ia(i); p < s.ia(i + 1); ++p) {
        if (p > s.ia(i)) {
          ASSERT_LT(s.ja(p - 1), s.ja(p));
        }
        diagonal |= s.ja(p) == i;
      }
      ASSERT_TRUE(diagonal) << "row " << i;
    }
    if (nx >= 2 && ny >= 2) {
      EXPECT_EQ(longest, 48);
    }
    EXPECT_LE(longest, 48);
    for (int p = a.stored() + 1; p <= 50 * a.n; ++p) ASSERT_EQ(s.ja(p), 0);
  }
  EXPECT_EQ(Assembled(TestKind::compressional, 2, 2, 1).stored(), 1292);
}

TEST(Assembly, ZeroesMassOfTheGridCellsOnly) {
  Assembled a(TestKind::compressional, 4, 3, 21);
  const auto fresh = random_coefficients(21);
  for (int k = 1; k <= 4; ++k)
    for (int j = 1; j <= 5; ++j) {
      const bool inside = j <= 4 && k <= 3;
      for (auto f : {&core::Coefficients::p11, &core::Coefficients::p12, &core::Coefficients::p13,
                     &core::Coefficients::p22, &core::Coefficients::p23, &core::Coefficients::p33})
        EXPECT_EQ(((*a.coef).*f)(j, k), inside ? 0.0 : ((*fresh).*f)(j, k));
      EXPECT_EQ(a.coef->lambda1(j, k), fresh->lambda1(j, k));
    }
}

// Global number of a solid component (1: solid-1 x, 2: solid-1 y, 3: solid-3
// x, 4: solid-3 y) at vertex (j, k), from the band layout.
int vertex_unknown(int nx, int j, int k, int component) { return (k - 1) * (6 * nx + 5) + 5 * (j - 1) + component; }

// The loads: compressional, unit pressure down on both solids of the top
// row; shear, unit tractions on solid 1, downward on the left side, upward
// on the right side, +x on the top. Each boundary segment gives half its
// length to each end; the clamped bottom vertices receive nothing.
TEST(Assembly, RightHandSides) {
  const int grids[][2] = {{1, 1}, {4, 3}, {1, 3}, {3, 1}, {2, 2}};
  for (TestKind kind : {TestKind::compressional, TestKind::shear})
    for (auto [nx, ny] : grids) {
      SCOPED_TRACE(testing::Message() << nx << "x" << ny << (kind == TestKind::shear ? " shear" : " compressional"));
      Assembled a(kind, nx, ny, 4);
      std::vector<double> expected(a.n + 1, 0.0);
      auto segment = [&](int j1, int k1, int j2, int k2, int component, double traction) {
        for (auto [j, k] : {std::pair{j1, k1}, std::pair{j2, k2}})
          if (k > 1) expected[vertex_unknown(nx, j, k, component)] += traction * kH / 2;
      };
      for (int j = 1; j <= nx; ++j)
        if (kind == TestKind::shear) {
          segment(j, ny + 1, j + 1, ny + 1, 1, +1.0);
        } else {
          segment(j, ny + 1, j + 1, ny + 1, 2, -1.0);
          segment(j, ny + 1, j + 1, ny + 1, 4, -1.0);
        }
      for (int k = 1; k <= ny && kind == TestKind::shear; ++k) {
        segment(1, k, 1, k + 1, 2, -1.0);
        segment(nx + 1, k, nx + 1, k + 1, 2, +1.0);
      }
      for (int i = 1; i <= a.n; ++i) EXPECT_EQ(a.sys.rhs_m(i), (zcomplex{expected[i], 0})) << "rhs_m(" << i << ")";
    }
}

TEST(ContribucionYale, InsertsInColumnOrderAndSumsRepeats) {
  YaleSystem s(4);
  const int n = 4;
  for (int i = 1; i <= n + 1; ++i) s.ia(i) = 1;
  fem::contribucion_yale(3, 2, {1.0, 2.0}, n, s);   // into an empty row
  EXPECT_EQ(s.ia(2), 1);
  EXPECT_EQ(s.ja(1), 3);
  for (int i = 3; i <= 5; ++i) EXPECT_EQ(s.ia(i), 2);
  fem::contribucion_yale(1, 4, {5.0, 0.0}, n, s);
  fem::contribucion_yale(1, 2, {-1.0, 0.5}, n, s);  // before the stored column
  fem::contribucion_yale(3, 2, {0.25, 0.0}, n, s);  // repeat: summed in place
  fem::contribucion_yale(2, 1, {7.0, 0.0}, n, s);   // row 1: everything after moves up
  const int ia[] = {1, 2, 4, 4, 5};
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(s.ia(i), ia[i - 1]);
  const int ja[] = {2, 1, 3, 1};
  const zcomplex av[] = {{7.0, 0.0}, {-1.0, 0.5}, {1.25, 2.0}, {5.0, 0.0}};
  for (int p = 1; p <= 4; ++p) {
    EXPECT_EQ(s.ja(p), ja[p - 1]);
    EXPECT_EQ(s.avec(p), av[p - 1]);
  }
}

}  // namespace
