// The inner update of the numeric factorisation, where nearly all of its
// time goes: g rows of U that share their tail of columns are subtracted
// from the accumulated row at once,
//
//   acc(cols[m]) -= x[0] u[0][m] + x[1] u[1][m] + ... + x[g-1] u[g-1][m],
//   m = 0 .. count-1,
//
// a dense (g x count) block times a vector of g multipliers, scattered into
// the accumulator through the shared column list.  Each accumulator entry is
// read and written once per block instead of once per row of U.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "core/complex.hpp"

namespace yale {

// Rows of U eliminated as one block at most.
inline constexpr int kMaxBlockRows = 16;

// Any value type, plain arithmetic in the order written (acc is 1-based by
// column: acc[c - 1] is column c).
template <class V>
inline void subtract_block(V* acc, const int32_t* cols, int32_t count, int g, const V* const* u, const V* x) {
  for (int32_t m = 0; m < count; ++m) {
    V v = acc[cols[m] - 1];
    for (int a = 0; a < g; ++a) v = v - x[a] * u[a][m];
    acc[cols[m] - 1] = v;
  }
}

// Double complex: fused multiply-adds on the widest vectors the processor
// offers (512, 256 bits, else plain arithmetic), chosen once at run time.
// The real and imaginary parts of the multipliers are applied separately,
//   P = acc - sum Re(x) u,  Q = sum Im(x) u,  result = P - i Q,
// so that no lane shuffle sits in the inner loop.  1 <= g <= kMaxBlockRows.
void subtract_block(core::zcomplex* acc, const int32_t* cols, int32_t count, int g, const core::zcomplex* const* u,
                    const core::zcomplex* x);

// The same update for kPanelRows target rows at once, whose accumulators
// are interleaved by column (panel[(c-1)*kPanelRows + r] is column c of
// target row r):
//
//   panel(cols[m], r) -= x[0][r] u[0][m] + ... + x[g-1][r] u[g-1][m],
//
// a (kPanelRows x g) by (g x count) product: every value of U read serves
// all the target rows.  1 <= g <= kMaxBlockRows.
inline constexpr int kPanelRows = 4;

template <class V>
inline void subtract_block_from_panel(V* panel, const int32_t* cols, int32_t count, int g, const V* const* u,
                                      const V (*x)[kPanelRows]) {
  for (int32_t m = 0; m < count; ++m) {
    V* t = panel + static_cast<std::size_t>(cols[m] - 1) * kPanelRows;
    for (int r = 0; r < kPanelRows; ++r) {
      V v = t[r];
      for (int a = 0; a < g; ++a) v = v - x[a][r] * u[a][m];
      t[r] = v;
    }
  }
}

void subtract_block_from_panel(core::zcomplex* panel, const int32_t* cols, int32_t count, int g,
                               const core::zcomplex* const* u, const core::zcomplex (*x)[kPanelRows]);

// Which of the above the processor runs: "avx512", "avx2" or "plain".
const char* block_kernel_name();

// Makes the double-complex updates run the named kernel ("best": the
// process's kernel, the default: the one UPSCALE_KERNEL names, else the
// widest the processor offers), so that each path can be checked on
// any machine that has it. False, and nothing changes, for a name that is
// unknown or an instruction set the processor lacks. Not for use while a
// factorisation runs.
bool use_block_kernel(std::string_view name);

// Whether the panel pays for its wasted lanes: only the vector kernels of
// double complex do; everything else eliminates target rows one at a time.
template <class V>
bool panel_pays() {
  return std::is_same_v<V, core::zcomplex> && std::string_view(block_kernel_name()) != "plain";
}

}  // namespace yale
