// Strains and divergences of one cell from its twenty local values: the
// bilinear displacement of a solid differentiated over the square cell of
// side h, and the edge fluxes of the relative fluid displacement. Each value
// is the exact mean over the cell of the field it names.
#pragma once

#include "upscaling/solution_view.hpp"
#include "fem/local_unknowns.hpp"

namespace upscaling {

// The local positions of one solid's two displacement components.
struct SolidComponents {
  int (*x)(fem::Vertex);
  int (*y)(fem::Vertex);
};
inline constexpr SolidComponents kSolid1{fem::s1x, fem::s1y};
inline constexpr SolidComponents kSolid3{fem::s3x, fem::s3y};

// Vertical normal strain: the mean of the two vertical differences over h.
inline zcomplex vertical_strain(const CellSolution& u, SolidComponents s, double h) {
  using enum fem::Vertex;
  return (u(s.y(upper_right)) - u(s.y(lower_right)) + u(s.y(upper_left)) - u(s.y(lower_left))) / (2 * h);
}

// Tensor shear strain: half the sum of the vertical derivative of the
// horizontal and the horizontal derivative of the vertical displacement.
inline zcomplex shear_strain(const CellSolution& u, SolidComponents s, double h) {
  using enum fem::Vertex;
  return 0.5 * ((u(s.x(upper_left)) - u(s.x(lower_left)) + u(s.x(upper_right)) - u(s.x(lower_right))) / (2 * h) +
                (u(s.y(upper_right)) - u(s.y(upper_left)) + u(s.y(lower_right)) - u(s.y(lower_left))) / (2 * h));
}

// Divergence of a solid's displacement.
inline zcomplex solid_divergence(const CellSolution& u, SolidComponents s, double h) {
  using enum fem::Vertex;
  return (u(s.x(lower_right)) - u(s.x(lower_left)) + u(s.x(upper_right)) - u(s.x(upper_left)) -
          u(s.y(lower_left)) - u(s.y(lower_right)) + u(s.y(upper_right)) + u(s.y(upper_left))) /
         (2 * h);
}

// Divergence of the relative fluid displacement: net outward edge flux over h.
inline zcomplex fluid_divergence(const CellSolution& u, double h) {
  using enum fem::Edge;
  return (u(fem::fluid(right)) - u(fem::fluid(left)) + u(fem::fluid(top)) - u(fem::fluid(bottom))) / h;
}

// Fluid pressure of a cell from its law (b1, b2, m) and the divergences of
// solid 1 (theta1), solid 3 (theta3) and the relative fluid displacement
// (zeta): p = -(b1 theta1 + b2 theta3 + m zeta).
inline zcomplex fluid_pressure(double b1, double b2, double m, zcomplex theta1, zcomplex theta3, zcomplex zeta) {
  return -(b1 * theta1 + b2 * theta3 + m * zeta);
}

}  // namespace upscaling
