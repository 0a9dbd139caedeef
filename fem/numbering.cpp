#include "fem/numbering.hpp"

namespace fem {

void global_numbering(int32_t nx, int32_t ny, XnodTable& xnod) {
  const int32_t r = 6 * nx + 5;  // unknowns of one band (vertex row + vertical edges above it)
  for (int32_t j = 1; j <= nx; ++j) {
    for (int32_t k = 1; k <= ny; ++k) {
      const int64_t cell = cell_serial(j, k, nx);
      const int32_t b = (k - 1) * r + 5 * (j - 1);  // base of the bottom-left vertex
      const int32_t t = k * r + 5 * (j - 1);        // base of the top-left vertex
      const int32_t v = (k - 1) * r + 5 * nx + 4;   // just before the cell row's vertical edges
      // Vertex a of the cell has base b (1), b+5 (2), t+5 (3), t (4); offsets
      // 1..4 within a vertex are solid-1 x, solid-1 y, solid-3 x, solid-3 y;
      // offset 5 of a vertex base is the horizontal edge to its right.
      const int32_t vertex_base[4] = {b, b + 5, t + 5, t};
      for (int a = 1; a <= 4; ++a) {
        xnod(cell, a) = vertex_base[a - 1] + 1;       // xs1_1
        xnod(cell, 4 + a) = vertex_base[a - 1] + 2;   // xs1_2
        xnod(cell, 12 + a) = vertex_base[a - 1] + 3;  // xs2_1
        xnod(cell, 16 + a) = vertex_base[a - 1] + 4;  // xs2_2
      }
      xnod(cell, 9) = v + j;       // xf_L
      xnod(cell, 10) = v + j + 1;  // xf_R
      xnod(cell, 11) = b + 5;      // xf_B
      xnod(cell, 12) = t + 5;      // xf_T
    }
  }
}

}  // namespace fem
