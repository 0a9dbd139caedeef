// The fluid pressure of a cell, p = -(b1 div u1 + b2 div u3 + m div w), is
// minus the derivative of the cell's strain energy by the fluid's
// divergence. The element matrix gives that derivative another way: with no
// friction (omega = 0), its row of fluid edge e applied to displacements of
// uniform divergence is the integral of (b1 div u1 + b2 div u3 + m div w)
// div psi_e over the cell, -p sigma_e h, sigma_e the sign of the edge's
// outward flux (-1, +1, -1, +1 for the left, right, bottom and top edge).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/coefficients.hpp"
#include "fem/element.hpp"
#include "fem/local_unknowns.hpp"
#include "upscaling/cell_strains.hpp"

namespace {

using core::zcomplex;
using enum fem::Vertex;
using enum fem::Edge;

TEST(CellPressure, IsMinusTheEnergysDerivativeByTheFluidDivergence) {
  const double h = 0.02;
  const core::CellCoefficients c{8e9, 3e9, 6e9, 2e9, 1e9, 1.2e9, 0.7e9, 2.5e9, 0.4e9, 0, 0, 0, 0, 0, 0, 1e7, 2e7, 3e7};
  // Linear solids (a x, b y) and (d x, e y): divergences a + b and d + e;
  // fluxes through the left, right, bottom and top edges.
  const double a = 1e-6, b = -3e-6, d = 2.5e-6, e = 0.5e-6, flux[4] = {0.3e-8, 0.7e-8, -0.2e-8, 0.1e-8};
  upscaling::CellSolution u{};
  const fem::Vertex corners[4] = {lower_left, lower_right, upper_right, upper_left};
  for (int v = 0; v < 4; ++v) {
    const double x = v == 1 || v == 2 ? h : 0, y = v >= 2 ? h : 0;
    u.v[fem::s1x(corners[v]) - 1] = {a * x, 0}, u.v[fem::s1y(corners[v]) - 1] = {b * y, 0};
    u.v[fem::s3x(corners[v]) - 1] = {d * x, 0}, u.v[fem::s3y(corners[v]) - 1] = {e * y, 0};
    u.v[fem::fluid(static_cast<fem::Edge>(v + 1)) - 1] = {flux[v], 0};
  }
  const zcomplex p = upscaling::fluid_pressure(c.b1, c.b2, c.m, upscaling::solid_divergence(u, upscaling::kSolid1, h),
                                             upscaling::solid_divergence(u, upscaling::kSolid3, h),
                                             upscaling::fluid_divergence(u, h));
  EXPECT_EQ(p.im, 0.0);
  fem::ElementMatrix ae;
  fem::regular_element_matrix(c, 0.0, h, ae);
  for (const fem::Edge edge : {left, right, bottom, top}) {
    const int r = fem::fluid(edge);
    zcomplex row{0, 0};
    double scale = 0;  // sum of |ae| |u| over the row: what rounding is relative to
    for (int col = 1; col <= fem::kLocalUnknowns; ++col) row += ae(r, col) * u(col), scale += core::cabs(ae(r, col)) * core::cabs(u(col));
    const double sigma = edge == left || edge == bottom ? -1 : 1;
    EXPECT_NEAR(row.re, -p.re * sigma * h, 64 * std::numeric_limits<double>::epsilon() * scale) << "edge " << r;
    EXPECT_EQ(row.im, 0.0);
  }
}

}  // namespace
