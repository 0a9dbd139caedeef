// The residual b - A x of a complex sparse system in doubled double
// precision, without an extended type: every product a_ij x_j split exactly
// into its rounded value and its rounding error (a fused multiply-add, or
// the library's exact fma), the rounded values summed by error-free
// additions (Knuth's TwoSum) and the errors of both collected in a second
// double: the compensated dot product Dot2 of Ogita, Rump and Oishi
// (SIAM J. Sci. Comput. 26, 2005), once for the real and once for the
// imaginary part of each row.
//
// Its accuracy (their error bound of Dot2): a part of a row with K
// real terms (two per complex entry and the right-hand side), rounded once
// to double, satisfies
//
//   |r~ - r| <= u |r| + gamma_K^2 S,   gamma_K = K u / (1 - K u),
//
// S the sum of the terms' magnitudes, u the unit roundoff of double. The
// sum S of both parts is the row's (|A| |x| + |b|)_i in the magnitude
// |re| + |im|, which the row keeps as well. The products are exact (no
// overflow of a product assumed) and every path (fused multiply-add or the
// library's fma; one or two halves of the columns) does the same operations
// on each part, so the results do not depend on the instruction set.
#pragma once

#include <cstdint>
#include <span>

#include "core/complex.hpp"
#include "core/dense_kernel.hpp"

namespace core {

// One row's sums: per part (0 real, 1 imaginary) the running sum and the
// correction that holds its rounding errors.
struct CompensatedRow {
  double sum[2] = {0, 0};
  double correction[2] = {0, 0};
  double scale = 0;              // (|A| |x| + |b|)_i, magnitudes |re| + |im|
  std::int64_t entries = 0;      // complex entries taken

  static CompensatedRow start(zcomplex b);
  // The sums of another part of the same row (its right-hand side zero).
  void absorb(const CompensatedRow& part);
  // The residual rounded to double.
  zcomplex value() const;
};

// gamma such that |r~ - r| <= u |r| + gamma S for each part of a row of
// `entries` entries, with room for the rounding of the computed scale.
double compensated_gamma(std::int64_t entries);

// A symmetric matrix's lower triangle by columns (0-based; column j holds
// rows row[ptr[j]] .. row[ptr[j+1]-1], each entry (i, j), i > j, standing
// also for (j, i)) with its values.
struct LowerColumns {
  const std::int64_t* ptr;
  const std::int64_t* row;
  const zcomplex* values;
};

// Subtracts the entries of columns lo .. hi-1 times x from their rows: rows
// from `cut` on go to below[i - cut] when `below` is given, to rows[i]
// otherwise (so that two halves of the columns can touch disjoint rows).
void subtract_lower_columns(const LowerColumns& a, const zcomplex* x, std::int64_t lo, std::int64_t hi,
                            std::int64_t cut, CompensatedRow* rows, CompensatedRow* below);
void subtract_lower_columns(KernelIsa isa, const LowerColumns& a, const zcomplex* x, std::int64_t lo, std::int64_t hi,
                            std::int64_t cut, CompensatedRow* rows, CompensatedRow* below);

// The same for coordinate entries (0-based); with `mirrored` an entry
// (i, j), i != j, also stands for (j, i).
void subtract_entries(std::span<const std::int64_t> row, std::span<const std::int64_t> col,
                      std::span<const zcomplex> a, bool mirrored, const zcomplex* x, CompensatedRow* rows);
void subtract_entries(KernelIsa isa, std::span<const std::int64_t> row, std::span<const std::int64_t> col,
                      std::span<const zcomplex> a, bool mirrored, const zcomplex* x, CompensatedRow* rows);

}  // namespace core
