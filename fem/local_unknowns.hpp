// Names of the 20 local unknowns of a cell, in the local order of the
// element (see numbering.hpp):
//    1.. 4  solid 1, x component, at vertices 1..4
//    5.. 8  solid 1, y component, at vertices 1..4
//    9..12  fluid, on the left, right, bottom and top edge
//   13..16  solid 3, x component, at vertices 1..4
//   17..20  solid 3, y component, at vertices 1..4
// Vertices run counter-clockwise from the lower-left one. With
// `using enum fem::Vertex;` a local position reads as s1y(upper_right).
#pragma once

namespace fem {

enum class Vertex : int { lower_left = 1, lower_right = 2, upper_right = 3, upper_left = 4 };
enum class Edge : int { left = 1, right = 2, bottom = 3, top = 4 };

constexpr int s1x(Vertex v) { return static_cast<int>(v); }
constexpr int s1y(Vertex v) { return 4 + static_cast<int>(v); }
constexpr int fluid(Edge e) { return 8 + static_cast<int>(e); }
constexpr int s3x(Vertex v) { return 12 + static_cast<int>(v); }
constexpr int s3y(Vertex v) { return 16 + static_cast<int>(v); }

static_assert(s1y(Vertex::upper_right) == 7 && s3y(Vertex::upper_right) == 19);
static_assert(fluid(Edge::top) == 12 && s3x(Vertex::lower_left) == 13);

}  // namespace fem
