// Boundary conditions and loads of the oscillatory tests, side by side of
// the sample. Every assembly of a test reads them from here: the element
// routine of the three programs (element.cpp) and the grid-sized systems of
// tensor_upscale (tensor/grid_system.cpp).
//
// A side's rule names local unknowns (local_unknowns.hpp) of each cell
// along that side: those held at zero, those moved with the side's rigid
// plate, and those loaded by a unit traction. A traction of 1 Pa on a side
// gives each of a cell's two vertices on it half the side, sign * h/2.
// A cell at a corner obeys the rules of both its sides.
#pragma once

#include <cstdint>

#include "core/test_kind.hpp"
#include "fem/local_unknowns.hpp"

namespace fem {

struct Traction {
  int8_t entry;  // local unknown, 0 ends the list
  int8_t sign;   // direction of the unit traction on that component
};

struct SideRule {
  int8_t held[10];   // local unknowns prescribed zero; 0 ends the list
  int8_t plate[4];   // local unknowns moved with the side's rigid plate
  Traction load[4];  // each loaded unknown receives sign * h/2
};

enum class Side : uint8_t { left, right, bottom, top };

struct TestConditions {
  SideRule left, right, bottom, top;
};

namespace conditions {
using enum Vertex;
using enum Edge;

// Compressibility test: confined laterally (no normal solid motion on the
// left and right sides), resting on the base, sealed all round; pushed down
// on both solids along the top.
inline constexpr TestConditions kCompressional{
    .left = {{s1x(lower_left), s1x(upper_left), fluid(left), s3x(lower_left), s3x(upper_left)}, {}, {}},
    .right = {{s1x(lower_right), s1x(upper_right), fluid(right), s3x(lower_right), s3x(upper_right)}, {}, {}},
    .bottom = {{s1y(lower_left), s1y(lower_right), fluid(bottom), s3y(lower_left), s3y(lower_right)}, {}, {}},
    .top = {{fluid(top)},
            {},
            {{s1y(upper_right), -1}, {s1y(upper_left), -1}, {s3y(upper_right), -1}, {s3y(upper_left), -1}}},
};

// Shear test: base clamped and sealed, other sides sealed; solid 1 sheared
// by tangential tractions down the left, up the right and along +x on the
// top.
inline constexpr TestConditions kShear{
    .left = {{fluid(left)}, {}, {{s1y(lower_left), -1}, {s1y(upper_left), -1}}},
    .right = {{fluid(right)}, {}, {{s1y(lower_right), +1}, {s1y(upper_right), +1}}},
    .bottom = {{s1x(lower_left), s1x(lower_right), s1y(lower_left), s1y(lower_right), fluid(bottom), s3x(lower_left),
                s3x(lower_right), s3y(lower_left), s3y(lower_right)},
               {},
               {}},
    .top = {{fluid(top)}, {}, {{s1x(upper_right), +1}, {s1x(upper_left), +1}}},
};

// Biaxial relaxation test: rollers on the left and the base, sealed all
// round, rigid plates bonded to both solids on the right (moving along x)
// and on the top (moving along y).
inline constexpr TestConditions kBiaxial{
    .left = {{s1x(lower_left), s1x(upper_left), s3x(lower_left), s3x(upper_left), fluid(left)}, {}, {}},
    .right = {{fluid(right)}, {s1x(lower_right), s1x(upper_right), s3x(lower_right), s3x(upper_right)}, {}},
    .bottom = {{s1y(lower_left), s1y(lower_right), s3y(lower_left), s3y(lower_right), fluid(bottom)}, {}, {}},
    .top = {{fluid(top)}, {s1y(upper_left), s1y(upper_right), s3y(upper_left), s3y(upper_right)}, {}},
};

}  // namespace conditions

// The conditions of the test a program of the three runs.
constexpr const TestConditions& conditions_of(core::TestKind kind) {
  return kind == core::TestKind::compressional ? conditions::kCompressional : conditions::kShear;
}

// The unknown of solid 3 at the place of solid 1's unknown a (a load of the
// same tractions on the other solid).
constexpr int on_solid3(int a) { return a + (s3x(Vertex::lower_left) - s1x(Vertex::lower_left)); }
static_assert(on_solid3(s1y(Vertex::upper_left)) == s3y(Vertex::upper_left));

// Visits, in the order left, right, bottom, top, the sides of the nx x ny
// sample that cell (j, k) lies on: visit(Side, const SideRule&).
template <class Visit>
void for_boundary_sides(const TestConditions& t, int64_t j, int64_t k, int64_t nx, int64_t ny, Visit&& visit) {
  if (j == 1) visit(Side::left, t.left);
  if (j == nx) visit(Side::right, t.right);
  if (k == 1) visit(Side::bottom, t.bottom);
  if (k == ny) visit(Side::top, t.top);
}

}  // namespace fem
