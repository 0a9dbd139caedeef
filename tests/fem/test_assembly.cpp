// Numbering and assembly of the global system in Yale storage, against the
// geometry of the grid and the element blocks summed densely.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "fem/assembly.hpp"
#include "fem/element.hpp"

namespace {

using core::zcomplex;

// Every place of the grid (a vertex with a solid component 0..3, an edge with
// 4 horizontal, 5 vertical, named by its lower-left vertex) gets one number,
// distinct places distinct numbers, and the numbers are exactly 1..n.
TEST(GlobalNumbering, IsABijectionBetweenPlacesAndUnknowns) {
  auto xnod = std::make_unique<fem::XnodTable>();
  for (auto [nx, ny] : {std::pair{1, 1}, {2, 1}, {1, 3}, {4, 3}, {60, 60}}) {
    fem::global_numbering(nx, ny, *xnod);
    std::map<std::tuple<int, int, int>, int> number_of;
    std::set<int> numbers;
    for (int k = 1; k <= ny; ++k)
      for (int j = 1; j <= nx; ++j)
        for (int a = 1; a <= 20; ++a) {
          const int v = (a > 12 ? a - 4 : a) - 1, c = v % 4;
          const auto place = a >= 9 && a <= 12 ? std::tuple{j + (a == 10), k + (a == 12), a <= 10 ? 5 : 4}
                                               : std::tuple{j + (c == 1 || c == 2), k + (c >= 2), v / 4};
          const int g = (*xnod)(fem::cell_serial(j, k, nx), a);
          ASSERT_EQ(number_of.emplace(place, g).first->second, g) << nx << "x" << ny << " cell " << j << "," << k << " local " << a;
          numbers.insert(g);
        }
    const std::size_t n = static_cast<std::size_t>(core::unknowns_of(nx, ny));
    ASSERT_TRUE(number_of.size() == n && numbers.size() == n && *numbers.begin() == 1 && *numbers.rbegin() == int(n));
  }
}

bool same_bits(zcomplex a, zcomplex b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The stored entries and loads are exactly the sums of the cells' element
// blocks, each with its own cell's coefficients, and nothing else is
// stored (254 nx ny + 65 (nx + ny) + 16 entries); the mass coefficients of
// the grid's cells are zeroed, nothing else.
TEST(Assembly, IsTheSumOfTheCellBlocks) {
  constexpr double kOmega = 2 * M_PI * 37.0, kH = 0.02;
  for (core::TestKind kind : {core::TestKind::compressional, core::TestKind::shear})
    for (auto [nx, ny] : {std::pair{1, 1}, {3, 1}, {1, 3}, {4, 3}}) {
      auto fresh = std::make_unique<core::Coefficients>(), used = std::make_unique<core::Coefficients>();
      std::mt19937_64 rng(nx * 10 + ny);
      for (core::RealField* f : {&fresh->lambda1, &fresh->lambda3, &fresh->mu1, &fresh->mu3, &fresh->mu13, &fresh->b1,
                                 &fresh->b2, &fresh->m, &fresh->d3, &fresh->p11, &fresh->p12, &fresh->p13, &fresh->p22,
                                 &fresh->p23, &fresh->p33, &fresh->f11, &fresh->f12, &fresh->f22})
        for (int k = 1; k <= ny + 1; ++k)
          for (int j = 1; j <= nx + 1; ++j) (*f)(j, k) = std::uniform_real_distribution<double>(1e8, 1e10)(rng);
      *used = *fresh;
      auto xnod = std::make_unique<fem::XnodTable>();
      const int n = core::unknowns_of(nx, ny);
      fem::YaleSystem sys(n);
      fem::global_numbering(nx, ny, *xnod);
      fem::global_sist(kind, kOmega, nx, ny, kH, *xnod, *used, sys);
      ASSERT_EQ(sys.ia(n + 1) - 1, 254 * nx * ny + 65 * (nx + ny) + 16);
      for (int k = 1; k <= ny + 1; ++k)
        for (int j = 1; j <= nx + 1; ++j)
          ASSERT_TRUE(used->p23(j, k) == (j <= nx && k <= ny ? 0.0 : fresh->p23(j, k)) && used->f22(j, k) == fresh->f22(j, k));
      std::vector<zcomplex> dense(n * n), rhs(n);
      fem::ElementMatrix ae;
      fem::ElementLoad be;
      for (int j = 1; j <= nx; ++j)
        for (int k = 1; k <= ny; ++k) {
          fem::element_system(kind, {j, k, nx, ny}, fresh->at(j, k), kOmega, kH, ae, be);
          auto at = [&](int a) { return (*xnod)(fem::cell_serial(j, k, nx), a) - 1; };
          for (int r = 1; r <= 20; ++r) {
            rhs[at(r)] += be(r);
            for (int c = 1; c <= 20; ++c) dense[at(r) * n + at(c)] += ae(r, c);
          }
        }
      for (int i = 1; i <= n; ++i) {
        ASSERT_TRUE(same_bits(sys.rhs_m(i), rhs[i - 1])) << "rhs " << i;
        for (int p = sys.ia(i); p < sys.ia(i + 1); ++p) {
          ASSERT_TRUE(same_bits(sys.avec(p), dense[(i - 1) * n + sys.ja(p) - 1])) << i << "," << sys.ja(p);
          dense[(i - 1) * n + sys.ja(p) - 1] = {0, 0};
        }
      }
      for (int e = 0; e < n * n; ++e) ASSERT_EQ(dense[e], (zcomplex{0, 0})) << "unstored entry " << e;
    }
}

}  // namespace
