// The two drivers: they check the job and the workspace, carve the
// workspace (yale/partition.hpp) and call the steps.
#include <algorithm>

#include "yale/elimination_kernel.hpp"
#include "yale/stored_factors.hpp"
#include "yale/yale.hpp"

namespace yale {

namespace {

// What both drivers check first: a job they know (else 11n+1), and a
// workspace at least as large as the nwork it is announced with (else
// 10n+1).
template <class V>
bool driver_arguments_refused(int32_t n, int32_t job, int32_t nwork, const BasicWorkspace<V>& ws, int32_t& flag) {
  if (job < 1 || job > 5) {
    flag = 11 * n + 1;
    return true;
  }
  if (nwork > ws.nwork()) {
    flag = 10 * n + 1;
    return true;
  }
  return false;
}

// The symbolic step of ndrv (jobs 1 and 5): the structure of L and U, with
// u_col moved down to directly behind l_col.
template <class V>
void symbolic_step(const PermutedMatrix<V>& A, int32_t nwork, BasicWorkspace<V>& ws, int32_t& esp, int32_t& flag) {
  const int32_t n = A.n;
  const SymbolicPartition sp = symbolic_partition(n, nwork, kIntsPerValue<V>);
  esp = sp.esp;
  if (!sp.fits) {
    flag = 10 * n + 1;
    return;
  }
  const IVec l_start = ws.fresh_ints(sp.l_start, n + 1);
  const IVec u_start = ws.fresh_ints(sp.u_start, n + 1);
  const IVec l_col = ws.fresh_ints(sp.jl, sp.jlmax);
  const IVec link = ws.fresh_ints(sp.link, n + 1);
  const IVec prune_end = ws.fresh_ints(sp.prune_end, n);
  const IVec u_tmp = ws.fresh_ints(sp.jt, sp.jumax);
  nsf(n, A.rperm, A.icperm, A.ia, A.ja, l_start, l_col, sp.jlmax, u_start, u_tmp, sp.jumax, link, prune_end, flag);
  if (flag != 0) return;
  // A forward copy: u_col only moves down.
  const int32_t ucount = u_start(n + 1) - 1;
  const int32_t ju = sp.jl + l_start(n + 1) - 1;
  const IVec words = ws.ints(sp.jl, sp.jt + ucount - sp.jl);
  for (int32_t p = 0; p < ucount; ++p) words(ju - sp.jl + 1 + p) = words(sp.jt - sp.jl + 1 + p);
}

}  // namespace

template <class V>
void odrv(int32_t n, std::span<int32_t> ia_s, std::span<int32_t> ja_s, std::span<V> a_s, std::span<int32_t> perm_s,
          std::span<int32_t> iperm_s, int32_t nwork, BasicWorkspace<V>& ws, int32_t job, int32_t& flag) {
  flag = 0;
  if (driver_arguments_refused(n, job, nwork, ws, flag)) return;
  const IVec ia(ia_s), ja(ja_s), perm(perm_s), iperm(iperm_s);

  if (job == 1 || job == 2 || job == 4) {
    const OrderPartition op = order_partition(n, nwork);
    if (!op.fits) {
      flag = 10 * n + 1;
      return;
    }
    const IVec item = ws.fresh_ints(op.item, op.nc);
    const IVec link = ws.fresh_ints(op.link, op.nc);
    const IVec deg_head = ws.fresh_ints(op.deg_head, n);
    md(n, ia, ja, op.nc, item, link, deg_head, perm, iperm, item, flag);
    if (flag != 0) return;
  }

  if (job >= 2) {
    const int32_t nnz = ia(n + 1) - 1;
    const ReorderPartition rp = reorder_partition(n, nnz, nwork);
    if (!rp.fits) {
      flag = 10 * n + 1;
      return;
    }
    sro<V>(n, iperm, ia, ja, Vec1<V>(a_s), ws.fresh_ints(rp.count, n), ws.fresh_ints(rp.target, nnz), job >= 4);
  }
}

template <class V>
void ndrv(int32_t n, std::span<const int32_t> rperm, std::span<const int32_t> cperm,
          std::span<const int32_t> icperm, std::span<const int32_t> ia, std::span<const int32_t> ja,
          std::span<const V> a, std::span<const V> b_s, std::span<V> z_s, int32_t nwork, BasicWorkspace<V>& ws,
          int32_t& esp, int32_t job, int32_t& flag) {
  if (driver_arguments_refused(n, job, nwork, ws, flag)) return;
  const PermutedMatrix<V> A{n, rperm, cperm, icperm, ia, ja, a};
  const Vec1<const V> b(b_s);
  const Vec1<V> z(z_s);

  if (job == 1 || job == 5) {
    symbolic_step(A, nwork, ws, esp, flag);
    if (flag != 0) return;
  }

  // Value regions from the structure now in the workspace.
  const int32_t lcount = ws.iword(n + 1) - 1;
  const int32_t ucount = ws.iword(2 * n + 2) - 1;
  const ValuePartition vp = value_partition(n, nwork, kIntsPerValue<V>, lcount, ucount);
  esp = vp.esp;
  if (job == 5) return;

  if (job == 1 || job == 2) {
    if (vp.umax <= 0) {
      flag = 10 * n + 1;
      return;
    }
    const Factors<V> f = factors_in(ws, n, vp, lcount, ucount, true);
    const Vec1<V> y_tmp = ws.fresh_values(vp.y_tmp, n);
    const Vec1<V> row_acc = ws.fresh_values(vp.row_acc, n);
    // The spare words behind u_val, when there are enough, hold the panel.
    const int32_t panel_words = kPanelRows * n;
    const bool panel_fits = vp.esp >= panel_words && panel_pays<V>();
    const Vec1<V> panel = panel_fits ? ws.fresh_values(vp.uv + ucount, panel_words) : Vec1<V>{};
    nnf<V>(A, b, z, f, lcount, vp.umax, row_acc, y_tmp, panel, flag);
    return;
  }

  // Jobs 3 and 4 need the factors of an earlier job 1 or 2 in this same
  // partition; when the workspace cannot hold them there are none to use.
  if (vp.umax < ucount || vp.umax <= 0) {
    flag = 10 * n + 1;
    return;
  }
  const Factors<V> f = factors_in(ws, n, vp, lcount, ucount, false);
  const Vec1<V> y_tmp = ws.fresh_values(vp.y_tmp, n);
  if (job == 3)
    nns<V>(f, A.rperm, A.cperm, z, b, y_tmp);
  else
    nnt<V>(f, A.rperm, A.cperm, z, b, y_tmp);
}

YALE_FOR_EACH_VALUE_TYPE(odrv)
YALE_FOR_EACH_VALUE_TYPE(ndrv)

}  // namespace yale
