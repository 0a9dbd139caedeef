// Blocked right-looking LDL^T of a front's pivot columns on the cblas
// kernels: an unblocked factorisation of each diagonal block, a triangular
// solve for the rows below it, a product for the columns to its right; the
// update matrix by symmetric rank-k updates (zsyrk does not conjugate).
#include "engine/front_kernel.hpp"

#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <complex>

namespace engine::detail {

namespace {

const zcomplex kOne{1, 0}, kMinusOne{-1, 0};

zcomplex guarded(zcomplex d, Index pivot, PivotGuard& g) {
  const double r = std::hypot(d.re, d.im);
  if (r >= g.tiny) return d;
  const zcomplex to = r == 0 ? zcomplex{g.tiny, 0} : zcomplex{d.re * (g.tiny / r), d.im * (g.tiny / r)};
  g.changes.push_back({pivot, to - d});
  return to;
}

// Unblocked LDL^T of the jb x jb lower triangle at a (leading dimension ld).
void factor_diagonal(zcomplex* a, Index ld, Index jb, Index first, PivotGuard& g) {
  for (Index j = 0; j < jb; ++j) {
    zcomplex* cj = a + j * ld;
    const zcomplex d = guarded(cj[j], first + j, g);
    cj[j] = d;
    const zcomplex inv = core::cdiv(kOne, d);
    for (Index i = j + 1; i < jb; ++i) cj[i] = cj[i] * inv;
    for (Index k = j + 1; k < jb; ++k) {
      const zcomplex w = d * cj[k];
      zcomplex* ck = a + k * ld;
      for (Index i = k; i < jb; ++i) ck[i] -= cj[i] * w;
    }
  }
}

}  // namespace

void factor_panel(zcomplex* L, Index m, Index nc, PivotGuard& g, std::vector<zcomplex>& scratch) {
  const auto bm = static_cast<blasint>(m);
  for (Index j0 = 0; j0 < nc; j0 += kPanelBlock) {
    const Index jb = std::min(kPanelBlock, nc - j0), r0 = j0 + jb;
    zcomplex* diag = L + j0 + j0 * m;
    factor_diagonal(diag, m, jb, g.first + j0, g);
    if (r0 == m) break;
    // Rows below: L21 = A21 L11^-T D^-1.
    cblas_ztrsm(CblasColMajor, CblasRight, CblasLower, CblasTrans, CblasUnit, static_cast<blasint>(m - r0),
                static_cast<blasint>(jb), &kOne, diag, bm, L + r0 + j0 * m, bm);
    for (Index j = 0; j < jb; ++j) {
      const zcomplex inv = core::cdiv(kOne, diag[j + j * m]);
      zcomplex* c = L + r0 + (j0 + j) * m;
      for (Index i = 0; i < m - r0; ++i) c[i] = c[i] * inv;
    }
    // Pivot columns to the right, a block at a time from its diagonal down.
    for (Index k0 = r0; k0 < nc; k0 += kPanelBlock) {
      const Index kw = std::min(kPanelBlock, nc - k0);
      scratch.resize(static_cast<std::size_t>(kw * jb));
      for (Index j = 0; j < jb; ++j)
        for (Index k = 0; k < kw; ++k) scratch[k + j * kw] = L[k0 + k + (j0 + j) * m] * diag[j + j * m];
      cblas_zgemm(CblasColMajor, CblasNoTrans, CblasTrans, static_cast<blasint>(m - k0), static_cast<blasint>(kw),
                  static_cast<blasint>(jb), &kMinusOne, L + k0 + j0 * m, bm, scratch.data(), static_cast<blasint>(kw),
                  &kOne, L + k0 + k0 * m, bm);
    }
  }
}

void update_matrix(const zcomplex* L, Index m, Index nc, zcomplex* update, std::vector<zcomplex>& scratch) {
  const Index mc = m - nc;
  if (mc == 0) return;
  // L2 D L2^T = S S^T with S = L2 D^(1/2): any square root of each pivot will do.
  for (Index k0 = 0; k0 < nc; k0 += kUpdateChunk) {
    const Index kw = std::min(kUpdateChunk, nc - k0);
    scratch.resize(static_cast<std::size_t>(mc * kw));
    for (Index k = 0; k < kw; ++k) {
      const zcomplex d = L[(k0 + k) + (k0 + k) * m];
      const std::complex<double> root = std::sqrt(std::complex<double>(d.re, d.im));
      const zcomplex s{root.real(), root.imag()};
      const zcomplex* c = L + nc + (k0 + k) * m;
      zcomplex* out = scratch.data() + k * mc;
      for (Index i = 0; i < mc; ++i) out[i] = c[i] * s;
    }
    cblas_zsyrk(CblasColMajor, CblasLower, CblasNoTrans, static_cast<blasint>(mc), static_cast<blasint>(kw), &kMinusOne,
                scratch.data(), static_cast<blasint>(mc), &kOne, update, static_cast<blasint>(mc));
  }
}

void extend_add(const zcomplex* child, Index mc, const std::int32_t* up, zcomplex* panel, Index m, Index nc,
                zcomplex* update) {
  const Index mu = m - nc;
  for (Index j = 0; j < mc; ++j) {
    const Index pj = up[j];
    const bool in_panel = pj < nc;
    zcomplex* dst = in_panel ? panel + pj * m : update + (pj - nc) * mu;
    const Index shift = in_panel ? 0 : nc;
    const zcomplex* src = child + j * mc;
    for (Index i = j; i < mc; ++i) dst[up[i] - shift] += src[i];
  }
}

}  // namespace engine::detail
