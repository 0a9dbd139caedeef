#include "fem/assembly.hpp"

#include "fem/element.hpp"

namespace fem {
namespace {

using core::zcomplex;

// Visits every cell (j outer, k inner), computes its element matrix and load
// and hands each of the 400 entries (a outer, b inner) to add(row, col, value);
// the loads go into rhs_m.
template <class AddEntry>
void assemble_cells(core::TestKind kind, double omega, int32_t nx, int32_t ny, double h, const XnodTable& xnod,
                    core::Coefficients& cf, YaleSystem& sys, AddEntry&& add) {
  ElementMatrix ae;
  ElementLoad be;
  for (int32_t j = 1; j <= nx; ++j) {
    for (int32_t k = 1; k <= ny; ++k) {
      local_sys(kind, j, k, nx, ny, omega, h, cf.lambda1(j, k), cf.lambda3(j, k), cf.mu1(j, k), cf.mu3(j, k),
                cf.mu13(j, k), cf.b1(j, k), cf.b2(j, k), cf.m(j, k), cf.d3(j, k), cf.p11(j, k), cf.p12(j, k),
                cf.p13(j, k), cf.p22(j, k), cf.p23(j, k), cf.p33(j, k), cf.f11(j, k), cf.f12(j, k), cf.f22(j, k),
                ae, be);
      const int64_t cell = cell_serial(j, k, nx);
      for (int a = 1; a <= kLocalUnknowns; ++a) {
        const int32_t row = xnod(cell, a);
        for (int b = 1; b <= kLocalUnknowns; ++b) add(row, xnod(cell, b), ae(a, b));
      }
      for (int a = 1; a <= kLocalUnknowns; ++a) sys.rhs_m(xnod(cell, a)) += be(a);
    }
  }
}

void clear_rhs(YaleSystem& sys, int32_t n) {
  for (int32_t i = 1; i <= n; ++i) sys.rhs_m(i) = {0.0, 0.0};
}

}  // namespace

void contribucion_yale(int32_t col, int32_t row, zcomplex value, int32_t n, YaleSystem& sys) {
  const int32_t start = sys.ia(row);
  const int32_t count = sys.ia(row + 1) - start;
  int32_t q = 0;  // entries of the row with a smaller column
  for (int32_t p = start; p < start + count; ++p) {
    if (sys.ja(p) == col) {
      sys.avec(p) += value;
      return;
    }
    if (sys.ja(p) < col) ++q;
  }
  const int32_t p = start + q;
  const int32_t last = sys.ia(n + 1) - 1;
  for (int32_t i = last; i >= p; --i) {
    sys.avec(i + 1) = sys.avec(i);
    sys.ja(i + 1) = sys.ja(i);
  }
  sys.avec(p) = value;
  sys.ja(p) = col;
  for (int32_t i = row + 1; i <= n + 1; ++i) ++sys.ia(i);
}

void global_sist_by_insertion(core::TestKind kind, double omega, int32_t nx, int32_t ny, double h,
                              const XnodTable& xnod, core::Coefficients& coef, YaleSystem& sys) {
  const int32_t n = core::unknowns_of(nx, ny);
  clear_rhs(sys, n);
  for (int32_t p = 1; p <= core::kEntriesPerUnknown * n; ++p) {
    sys.avec(p) = {0.0, 0.0};
    sys.ja(p) = 0;
  }
  for (int32_t i = 1; i <= n + 1; ++i) sys.ia(i) = 1;
  assemble_cells(kind, omega, nx, ny, h, xnod, coef, sys,
                 [&](int32_t row, int32_t col, zcomplex value) { contribucion_yale(col, row, value, n, sys); });
}

void global_sist(core::TestKind kind, double omega, int32_t nx, int32_t ny, double h, const XnodTable& xnod,
                 core::Coefficients& coef, YaleSystem& sys) {
  constexpr int32_t slot = core::kEntriesPerUnknown;
  const int32_t n = core::unknowns_of(nx, ny);
  clear_rhs(sys, n);

  // While the rows are built, row i lives in positions (i-1)*slot + 1 ..
  // (i-1)*slot + slot, and ia(i+1) holds its number of entries.
  for (int32_t i = 1; i <= n + 1; ++i) sys.ia(i) = 0;
  int32_t* const ja = sys.ja_data();
  zcomplex* const avec = sys.avec_data();
  assemble_cells(kind, omega, nx, ny, h, xnod, coef, sys, [&](int32_t row, int32_t col, zcomplex value) {
    int32_t& count = sys.ia(row + 1);
    int32_t* const cols = ja + static_cast<int64_t>(row - 1) * slot;
    zcomplex* const vals = avec + static_cast<int64_t>(row - 1) * slot;
    int32_t q = 0;
    while (q < count && cols[q] < col) ++q;
    if (q < count && cols[q] == col) {
      vals[q] += value;
      return;
    }
    assert(count < slot);
    for (int32_t i = count; i > q; --i) {
      cols[i] = cols[i - 1];
      vals[i] = vals[i - 1];
    }
    cols[q] = col;
    vals[q] = value;
    ++count;
  });

  // Pack the slots in row order; a row never moves up past its own slot.
  int32_t next = 1;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t count = sys.ia(i + 1);
    const int32_t from = (i - 1) * slot + 1;
    sys.ia(i) = next;
    for (int32_t e = 0; e < count; ++e) {
      sys.ja(next + e) = sys.ja(from + e);
      sys.avec(next + e) = sys.avec(from + e);
    }
    next += count;
  }
  sys.ia(n + 1) = next;
  for (int32_t p = next; p <= slot * n; ++p) {
    sys.ja(p) = 0;
    sys.avec(p) = {0.0, 0.0};
  }
}

}  // namespace fem
