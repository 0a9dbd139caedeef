#include "fem/element.hpp"

#include <array>

#include "fem/local_unknowns.hpp"
#include "fem/test_conditions.hpp"

namespace fem {
namespace {

using core::zcomplex;

// ---------------------------------------------------------------------------
// Reference integrals on the unit square. Vertices a, b = 1..4 counter-
// clockwise from the bottom-left; edges e, f = 1..4 are L, R, B, T.
// phi1 = (1-s)(1-t), phi2 = s(1-t), phi3 = st, phi4 = (1-s)t;
// psiL = (1-s, 0), psiR = (s, 0), psiB = (0, 1-t), psiT = (0, t).

struct Table4 {
  double v[4][4];
  constexpr double operator()(int a, int b) const { return v[a - 1][b - 1]; }
};
struct Row4 {
  double v[4];
  constexpr double operator()(int a) const { return v[a - 1]; }
};

constexpr double k3 = 1.0 / 3.0, k4 = 1.0 / 4.0, k6 = 1.0 / 6.0, k9 = 1.0 / 9.0, k12 = 1.0 / 12.0,
                 k18 = 1.0 / 18.0, k36 = 1.0 / 36.0;

// Gradient products (h cancels): Kxx = int dx phi_a dx phi_b, Kyy likewise,
// Kxy = int dx phi_a dy phi_b.
constexpr Table4 Kxx{{{k3, -k3, -k6, k6}, {-k3, k3, k6, -k6}, {-k6, k6, k3, -k3}, {k6, -k6, -k3, k3}}};
constexpr Table4 Kyy{{{k3, k6, -k6, -k3}, {k6, k3, -k3, -k6}, {-k6, -k3, k3, k6}, {-k3, -k6, k6, k3}}};
constexpr Table4 Kxy{{{k4, k4, -k4, -k4}, {-k4, -k4, k4, k4}, {-k4, -k4, k4, k4}, {k4, k4, -k4, -k4}}};
// Vertex mass, int phi_a phi_b = h^2 G(a, b).
constexpr Table4 G{{{k9, k18, k36, k18}, {k18, k9, k18, k36}, {k36, k18, k9, k18}, {k18, k36, k18, k9}}};
// int dx phi_a = h Dx(a), int dy phi_a = h Dy(a).
constexpr Row4 Dx{{-0.5, 0.5, 0.5, -0.5}};
constexpr Row4 Dy{{-0.5, -0.5, 0.5, 0.5}};
// Solid-fluid mass, int phi_a (psi_e)_normal = h^2 N(a, e).
constexpr Table4 N{{{k6, k12, k6, k12}, {k12, k6, k6, k12}, {k12, k6, k12, k6}, {k6, k12, k12, k6}}};
// Fluid mass, int psi_e . psi_f = h^2 Q(e, f).
constexpr Table4 Q{{{k3, k6, 0, 0}, {k6, k3, 0, 0}, {0, 0, k3, k6}, {0, 0, k6, k3}}};
// Sign of div psi_e times h.
constexpr Row4 sigma{{-1.0, 1.0, -1.0, 1.0}};
// Whether edge e carries an x-directed field (L, R) or a y-directed one (B, T).
constexpr bool edge_is_vertical(int e) { return e <= 2; }

// ---------------------------------------------------------------------------
// What each local unknown is.

enum class Kind : uint8_t { solid_x, solid_y, fluid };
struct Dof {
  Kind kind;
  uint8_t phase;  // 1 or 3 for a solid, 2 for the fluid
  uint8_t index;  // vertex 1..4 or edge 1..4 (L, R, B, T)
};

constexpr std::array<Dof, kLocalUnknowns> kDofs = [] {
  std::array<Dof, kLocalUnknowns> d{};
  for (uint8_t a = 1; a <= 4; ++a) {
    const Vertex v{a};
    d[s1x(v) - 1] = {Kind::solid_x, 1, a};
    d[s1y(v) - 1] = {Kind::solid_y, 1, a};
    d[fluid(Edge{a}) - 1] = {Kind::fluid, 2, a};
    d[s3x(v) - 1] = {Kind::solid_x, 3, a};
    d[s3y(v) - 1] = {Kind::solid_y, 3, a};
  }
  return d;
}();

// The cell's coefficients as the bilinear form uses them; the dissipation
// coefficients already carry omega h^2.
struct CellForm {
  double lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;
  double wf11, wf12, wf22;
};

// Solid-solid entry between vertex a (row) and vertex b (column). The pair
// (lambda, mu) is the block's: (lambda1, mu1) and (lambda3, mu3) on the
// diagonal blocks, (d3, mu13/2) on the coupling blocks; eps is the sign of
// the friction term of (u1 - u3).(zeta1 - zeta3).
zcomplex solid_solid(Kind row, Kind col, int a, int b, double lambda, double mu, double eps, double wf11) {
  if (row == Kind::solid_x && col == Kind::solid_x)
    return {(lambda + 2 * mu) * Kxx(a, b) + mu * Kyy(a, b), eps * wf11 * G(a, b)};
  if (row == Kind::solid_y && col == Kind::solid_y)
    return {(lambda + 2 * mu) * Kyy(a, b) + mu * Kxx(a, b), eps * wf11 * G(a, b)};
  if (row == Kind::solid_x)  // x row, y column
    return {lambda * Kxy(a, b) + mu * Kxy(b, a), 0.0};
  return {lambda * Kxy(b, a) + mu * Kxy(a, b), 0.0};  // y row, x column
}

// Solid-fluid entry between solid unknown s (vertex a) and fluid edge e; the
// form is symmetric, so it serves both the solid row and the fluid row.
zcomplex solid_fluid(const CellForm& f, Dof s, int e) {
  const int a = s.index;
  const double beta = s.phase == 1 ? f.b1 : f.b2;
  const double kappa = s.phase == 1 ? -1.0 : 1.0;
  const bool along_x = s.kind == Kind::solid_x;
  const double re = beta * sigma(e) * (along_x ? Dx(a) : Dy(a));
  const bool same_direction = along_x == edge_is_vertical(e);
  return {re, same_direction ? kappa * f.wf12 * N(a, e) : 0.0};
}

// Regular (unreduced, symmetric) entry of row unknown r and column unknown c:
// the form B of element.hpp with z, v the basis function of r and u, w that
// of c, integrated exactly by the tables above.
zcomplex regular_entry(const CellForm& f, Dof r, Dof c) {
  const bool r_fluid = r.kind == Kind::fluid, c_fluid = c.kind == Kind::fluid;
  if (r_fluid && c_fluid)
    return {f.m * sigma(r.index) * sigma(c.index), f.wf22 * Q(r.index, c.index)};
  if (c_fluid) return solid_fluid(f, r, c.index);
  if (r_fluid) return solid_fluid(f, c, r.index);
  if (r.phase == 1 && c.phase == 1) return solid_solid(r.kind, c.kind, r.index, c.index, f.lambda1, f.mu1, 1.0, f.wf11);
  if (r.phase == 3 && c.phase == 3) return solid_solid(r.kind, c.kind, r.index, c.index, f.lambda3, f.mu3, 1.0, f.wf11);
  return solid_solid(r.kind, c.kind, r.index, c.index, f.d3, 0.5 * f.mu13, -1.0, f.wf11);
}

}  // namespace

void element_system(core::TestKind kind, CellPlace place, const core::CellCoefficients& c, double omega, double h,
                    ElementMatrix& ae, ElementLoad& be) {
  for (int a = 1; a <= kLocalUnknowns; ++a) be(a) = {0.0, 0.0};

  bool prescribed[kLocalUnknowns + 1] = {};
  const TestConditions& bc = conditions_of(kind);
  auto mark = [&](Side, const SideRule& rule) {
    for (int8_t a : rule.held)
      if (a != 0) prescribed[a] = true;
    for (int8_t a : rule.plate)
      if (a != 0) prescribed[a] = true;
  };
  for_boundary_sides(bc, place.j, place.k, place.nx, place.ny, mark);

  // The regular matrix, reduced: a prescribed row keeps its diagonal only,
  // and its column is zero below the diagonal (the rows after it copied
  // their lower part from the rows above as these stood after reduction).
  regular_element_matrix(c, omega, h, ae);
  for (int p = 1; p <= kLocalUnknowns; ++p) {
    if (!prescribed[p]) continue;
    for (int col = 1; col <= kLocalUnknowns; ++col)
      if (col != p) ae(p, col) = {0.0, 0.0};
    for (int r = p + 1; r <= kLocalUnknowns; ++r) ae(r, p) = {0.0, 0.0};
  }

  // Unit tractions: each of the side's two vertices receives half the side.
  auto load = [&](Side, const SideRule& rule) {
    for (Traction t : rule.load)
      if (t.entry != 0 && !prescribed[t.entry]) be(t.entry).re += t.sign * (0.5 * h);
  };
  for_boundary_sides(bc, place.j, place.k, place.nx, place.ny, load);
}

void regular_element_matrix(const core::CellCoefficients& c, double omega, double h, ElementMatrix& ae) {
  const double h2 = h * h;
  const CellForm form{c.lambda1, c.lambda3, c.mu1, c.mu3, c.mu13, c.b1, c.b2, c.m, c.d3,
                      omega * c.f11 * h2, omega * c.f12 * h2, omega * c.f22 * h2};
  for (int r = 1; r <= kLocalUnknowns; ++r) {
    for (int col = 1; col < r; ++col) ae(r, col) = ae(col, r);
    for (int col = r; col <= kLocalUnknowns; ++col) ae(r, col) = regular_entry(form, kDofs[r - 1], kDofs[col - 1]);
  }
}

void local_sys(core::TestKind kind, int32_t j, int32_t k, int32_t nx, int32_t ny, double omega, double h,
               double& lambda1, double& lambda3, double& mu1, double& mu3, double& mu13, double& b1, double& b2,
               double& m, double& d3, double& p11, double& p12, double& p13, double& p22, double& p23, double& p33,
               double& f11, double& f12, double& f22, ElementMatrix& ae, ElementLoad& be) {
  p11 = p12 = p13 = p22 = p23 = p33 = 0.0;
  const core::CellCoefficients c{lambda1, lambda3, mu1, mu3, mu13, b1,  b2,  m,   d3,
                                 p11,     p12,     p13, p22, p23,  p33, f11, f12, f22};
  element_system(kind, {j, k, nx, ny}, c, omega, h, ae, be);
}

}  // namespace fem
