#include "upscaling/tied_modulus.hpp"

#include <limits>
#include <utility>
#include <vector>

#include "core/backward_error.hpp"
#include "upscaling/cell_strains.hpp"

namespace upscaling {

using core::TestKind;

namespace {

// The strain of solid s in one cell conjugate to the test's traction: minus
// the vertical strain (compressional), the engineering shear strain (shear).
zcomplex work_strain(TestKind kind, const CellSolution& c, SolidComponents s, double h) {
  return kind == TestKind::compressional ? -vertical_strain(c, s, h) : 2.0 * shear_strain(c, s, h);
}

}  // namespace

SolidStrains mean_work_strains(TestKind kind, const SolutionView& u, int nx, int ny, double h) {
  zcomplex s1{0, 0}, s3{0, 0};
  for (int k = 1; k <= ny; ++k) {
    for (int j = 1; j <= nx; ++j) {
      const CellSolution c = u.cell(j, k);
      s1 += work_strain(kind, c, kSolid1, h);
      s3 += work_strain(kind, c, kSolid3, h);
    }
  }
  const double cells = static_cast<double>(nx) * ny;
  return {s1 / cells, s3 / cells};
}

std::vector<zcomplex> mean_work_strain_functional(TestKind kind, SolidComponents s, int nx, int ny, double h,
                                                  const fem::XnodTable& xnod, std::size_t n) {
  std::vector<zcomplex> l(n, zcomplex{0, 0});
  const double cells = static_cast<double>(nx) * ny;
  CellSolution u{};
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j) {
      const int64_t serial = fem::cell_serial(j, k, nx);
      for (int c = 1; c <= 20; ++c) {
        u.v[c - 1] = {1, 0};
        l[static_cast<std::size_t>(xnod(serial, c) - 1)] += work_strain(kind, u, s, h) / cells;
        u.v[c - 1] = {0, 0};
      }
    }
  return l;
}

zcomplex tied_modulus(const SolidCompliance& g) {
  return core::cdiv(g.g11 + g.g33 - g.g13 - g.g31, g.g11 * g.g33 - g.g13 * g.g31);
}

namespace {

// The part of the test's load that acts on solid 1, placed on the solid
// `target` (the same nodal values on its components). Both solids have the
// same prescribed unknowns in either test, so the copy is a load of the
// same tractions on the other solid.
std::vector<zcomplex> solid1_load_on(const SolvedTest& t, SolidComponents target) {
  std::vector<zcomplex> f(t.load.size(), zcomplex{0, 0});
  for (int cell = 1; cell <= t.nx * t.ny; ++cell) {
    for (const fem::Vertex v : {fem::Vertex::lower_left, fem::Vertex::lower_right, fem::Vertex::upper_right,
                                fem::Vertex::upper_left}) {
      f[t.xnod(cell, target.x(v)) - 1] = t.load[t.xnod(cell, fem::s1x(v)) - 1];
      f[t.xnod(cell, target.y(v)) - 1] = t.load[t.xnod(cell, fem::s1y(v)) - 1];
    }
  }
  return f;
}

}  // namespace

TiedDerivatives tied_derivatives(zcomplex g11, zcomplex g13, zcomplex g31, zcomplex g33) {
  using core::kUnitRoundoff;
  const zcomplex d = g11 * g33 - g13 * g31, one{1, 0};
  const zcomplex m = core::cdiv(g11 + g33 - g13 - g31, d);
  using core::cabs;
  const double n_terms = (cabs(g11) + cabs(g33) + cabs(g13) + cabs(g31)) / cabs(g11 + g33 - g13 - g31);
  const double d_terms = (cabs(g11 * g33) + cabs(g13 * g31)) / cabs(d);
  return {m,
          core::cdiv(one - m * g33, d),
          core::cdiv(m * g31 - one, d),
          core::cdiv(m * g13 - one, d),
          core::cdiv(one - m * g11, d),
          4 * kUnitRoundoff * (n_terms + 2 * d_terms + 2)};
}

TiedWorkModuli tied_and_work_moduli(const SolvedTest& t, const SolveAgain& solve_again) {
  const bool compressional = t.kind == TestKind::compressional;
  const auto strains = [&](std::span<const zcomplex> x) {
    return mean_work_strains(t.kind, SolutionView(x.data(), t.xnod, t.nx), t.nx, t.ny, t.h);
  };

  // Work modulus of the test as loaded: t = (1, 1) or (1, 0).
  TiedWorkModuli m{};
  const SolidStrains eps = strains(t.z);
  m.work = compressional ? core::cdiv(core::cplx(4.0), eps.solid1 + eps.solid3) : core::crecip(eps.solid1);

  // The responses z1, z3 to the traction on one solid alone. Compressional:
  // solve for solid 1's share, z3 = z - z1. Shear: z1 = z, solve for the
  // same tractions on solid 3.
  const std::vector<zcomplex> f = solid1_load_on(t, compressional ? kSolid1 : kSolid3);
  std::vector<zcomplex> x(f.size());
  solve_again(f, x);
  std::vector<zcomplex> other(t.z.begin(), t.z.end());
  if (compressional)
    for (std::size_t i = 0; i < other.size(); ++i) other[i] -= x[i];
  const SolidStrains on1 = strains(compressional ? x : other);
  const SolidStrains on3 = strains(compressional ? other : x);
  m.g = {on1.solid1, on3.solid1, on1.solid3, on3.solid3};
  m.tied = tied_modulus(m.g);
  m.second_load = f;
  m.second_solution = std::move(x);
  return m;
}

}  // namespace upscaling
