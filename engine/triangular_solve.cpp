// Forward and backward substitution with the supernodal factor, a block of
// right-hand sides at a time: within a supernode a triangular solve with its
// diagonal block and a product with the rows below. One pass over the
// factor blocks forwards (with the pivots' division, once a supernode's
// rows are final) and one backwards, so that factors on disk are read
// twice per solve, in order.
#include <cblas.h>

#include <vector>

#include "engine/numeric.hpp"

namespace engine::detail {

namespace {

const zcomplex kOne{1, 0}, kMinusOne{-1, 0}, kZero{0, 0};

// y of the supernode's pivots divided by the pivots.
void divide(const zcomplex* L, Index m, Index nc, zcomplex* x, Index n, Index nrhs) {
  for (Index j = 0; j < nc; ++j) {
    const zcomplex inv = core::cdiv(zcomplex{1, 0}, L[j + j * m]);
    for (Index r = 0; r < nrhs; ++r) {
      zcomplex& v = x[j + r * n];
      v = v * inv;
    }
  }
}

void forward(const Fronts& f, FactorBlocks& blocks, zcomplex* y, Index nrhs, std::vector<zcomplex>& t) {
  const Index n = f.n;
  for (Index s = 0; s < f.nsuper; ++s) {
    const Index m = f.m(s), nc = f.nc(s), mc = m - nc;
    const zcomplex* L = blocks.ascending(s);
    zcomplex* x = y + f.first[s];
    cblas_ztrsm(CblasColMajor, CblasLeft, CblasLower, CblasNoTrans, CblasUnit, static_cast<blasint>(nc),
                static_cast<blasint>(nrhs), &kOne, L, static_cast<blasint>(m), x, static_cast<blasint>(n));
    if (mc == 0) {
      divide(L, m, nc, x, n, nrhs);
      continue;
    }
    t.resize(static_cast<std::size_t>(mc * nrhs));
    cblas_zgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, static_cast<blasint>(mc), static_cast<blasint>(nrhs),
                static_cast<blasint>(nc), &kOne, L + nc, static_cast<blasint>(m), x, static_cast<blasint>(n), &kZero,
                t.data(), static_cast<blasint>(mc));
    const Index* below = f.rows.data() + f.rows_ptr[s] + nc;
    for (Index r = 0; r < nrhs; ++r)
      for (Index i = 0; i < mc; ++i) y[below[i] + r * n] -= t[i + r * mc];
    divide(L, m, nc, x, n, nrhs);
  }
}

void backward(const Fronts& f, FactorBlocks& blocks, zcomplex* y, Index nrhs, std::vector<zcomplex>& t) {
  const Index n = f.n;
  for (Index s = f.nsuper - 1; s >= 0; --s) {
    const Index m = f.m(s), nc = f.nc(s), mc = m - nc;
    const zcomplex* L = blocks.descending(s);
    zcomplex* x = y + f.first[s];
    if (mc > 0) {
      t.resize(static_cast<std::size_t>(mc * nrhs));
      const Index* below = f.rows.data() + f.rows_ptr[s] + nc;
      for (Index r = 0; r < nrhs; ++r)
        for (Index i = 0; i < mc; ++i) t[i + r * mc] = y[below[i] + r * n];
      cblas_zgemm(CblasColMajor, CblasTrans, CblasNoTrans, static_cast<blasint>(nc), static_cast<blasint>(nrhs),
                  static_cast<blasint>(mc), &kMinusOne, L + nc, static_cast<blasint>(m), t.data(),
                  static_cast<blasint>(mc), &kOne, x, static_cast<blasint>(n));
    }
    cblas_ztrsm(CblasColMajor, CblasLeft, CblasLower, CblasTrans, CblasUnit, static_cast<blasint>(nc),
                static_cast<blasint>(nrhs), &kOne, L, static_cast<blasint>(m), x, static_cast<blasint>(n));
  }
}

}  // namespace

void solve_fronts(const Fronts& f, FactorBlocks& blocks, zcomplex* y, Index nrhs) {
  // Small products, bound by memory traffic: threads would only wait.
  BlasThreads one(1);
  std::vector<zcomplex> t;
  forward(f, blocks, y, nrhs, t);
  backward(f, blocks, y, nrhs, t);
}

}  // namespace engine::detail
