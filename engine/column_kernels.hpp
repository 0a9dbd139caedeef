// The two vector operations of the solves with the factor, on one column of
// a factor block: the product of a column with a vector (backwards) and the
// subtraction of a multiple of a column (forwards).
//
// Every instruction set computes the same bits: the products and sums are
// the same operations in the same order (no fused multiply-add); the wider
// kernels only do four of them at once. The dot product keeps, for each of
// the four lanes i mod 4, the sums of re*re, im*im, re*im and im*re apart and
// adds them up at the end in a fixed order.
#pragma once

#include "core/complex.hpp"
#include "core/dense_kernel.hpp"
#include "engine/sparse_solver.hpp"

namespace engine::detail {

// sum_i a[i] v[i], i < len.
zcomplex column_dot(const zcomplex* a, const zcomplex* v, Index len);

// v[i] -= a[i] c, i < len.
void column_axpy(const zcomplex* a, zcomplex c, zcomplex* v, Index len);

// out = {column_dot(a, v, len), column_dot(a, w, len)}, the same bits, in
// one pass over the column.
void column_dot_pair(const zcomplex* a, const zcomplex* v, const zcomplex* w, Index len, zcomplex out[2]);

// The same on a named instruction set (which the processor must run), for
// the tests.
zcomplex column_dot(core::KernelIsa isa, const zcomplex* a, const zcomplex* v, Index len);
void column_axpy(core::KernelIsa isa, const zcomplex* a, zcomplex c, zcomplex* v, Index len);
void column_dot_pair(core::KernelIsa isa, const zcomplex* a, const zcomplex* v, const zcomplex* w, Index len,
                     zcomplex out[2]);

}  // namespace engine::detail
