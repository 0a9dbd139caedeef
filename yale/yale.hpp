// Sparse direct solver for A x = b with A in Yale storage (compressed rows,
// 1-based): minimum-degree ordering, symmetric reordering, symbolic and
// numeric LU factorisation A(rperm, cperm) = (L + D)(Id + U) without
// pivoting, and the triangular solves.  Everything works inside one
// caller-supplied workspace; nothing is allocated, nothing printed, and
// every failure is reported through `flag` (codes below, n the order).
//
//   n+k    row k has no entry                      (symbolic)
//   2n+k   row k holds a column twice              (symbolic)
//   3n+k   column storage of L exhausted at row k  (symbolic)
//   4n+1   value storage of L too small            (numeric)
//   5n+k   no diagonal in the structure of row k   (symbolic)
//   6n+k   column storage of U exhausted at row k  (symbolic)
//   7n+1   value storage of U too small            (numeric)
//   8n+k   pivot k exactly zero                    (numeric)
//   9n+k   ordering's list pool exhausted at row k (ordering)
//   10n+1  workspace too small for the partition   (drivers)
//   11n+1  job outside 1..5                        (drivers)
//
// The routines are templates over the value type (float, double,
// core::ccomplex, core::zcomplex), instantiated for those four; the
// prefixed names s/d/c/z below are the same routines for one type each.
#pragma once

#include <cstdint>
#include <span>

#include "core/complex.hpp"
#include "yale/factors.hpp"
#include "yale/ordering.hpp"
#include "yale/partition.hpp"
#include "yale/symbolic.hpp"
#include "yale/workspace.hpp"

namespace yale {

// ---------------------------------------------------------------- drivers

// Ordering driver.  job 1: minimum-degree ordering into perm/iperm (the
// matrix is not touched); 2: ordering, then symmetric reordering of a matrix
// stored by one triangle; 3: reordering only, with iperm given; 4 and 5: as
// 2 and 3 with each row's diagonal moved to the front.  flag is cleared on
// entry.  nwork is the number of value words of ws that may be used.
template <class V>
void odrv(int32_t n, std::span<int32_t> ia, std::span<int32_t> ja, std::span<V> a, std::span<int32_t> perm,
          std::span<int32_t> iperm, int32_t nwork, BasicWorkspace<V>& ws, int32_t job, int32_t& flag);

// Factorisation driver.  job 1: symbolic + numeric factorisation and solve;
// 2: numeric factorisation and solve on the structure of an earlier job 1
// or 5; 3: solve with the stored factors; 4: solve the transposed system
// (not conjugated); 5: symbolic factorisation only.  flag is set by the
// symbolic and numeric steps and left alone by jobs 3 and 4, so the caller
// clears it.  esp: spare value words after the factors, negative when short.
// b and z may be the same array.
template <class V>
void ndrv(int32_t n, std::span<const int32_t> rperm, std::span<const int32_t> cperm,
          std::span<const int32_t> icperm, std::span<const int32_t> ia, std::span<const int32_t> ja,
          std::span<const V> a, std::span<const V> b, std::span<V> z, int32_t nwork, BasicWorkspace<V>& ws,
          int32_t& esp, int32_t job, int32_t& flag);

// ---------------------------------------------------------------- steps

// Symmetric reordering of a matrix stored by one triangle: every
// off-diagonal entry goes to the row where it lies above the diagonal in
// the order iperm; with diag_first each row's diagonal is put first.
// count has n words, target one per entry.
template <class V>
void sro(int32_t n, CIVec iperm, IVec ia, IVec ja, Vec1<V> a, IVec count, IVec target, bool diag_first);

// Numeric factorisation of A into f, with the forward solve fused in, then
// the back substitution into z.  lmax, umax: capacities of f.l_val and
// f.u_val (flag 4n+1, 7n+1 when short); 8n+k for an exactly zero pivot k.
// row_acc and y_tmp have n words; panel, 4n spare words or none, lets
// chains of nested rows be factorised four at a time.
template <class V>
void nnf(const PermutedMatrix<V>& A, Vec1<const V> b, Vec1<V> z, const Factors<V>& f, int32_t lmax, int32_t umax,
         Vec1<V> row_acc, Vec1<V> y_tmp, Vec1<V> panel, int32_t& flag);

// A z = b and transpose(A) z = b with stored factors; b is read whole before
// z is written.
template <class V>
void nns(const Factors<V>& f, CIVec rperm, CIVec cperm, Vec1<V> z, Vec1<const V> b, Vec1<V> y_tmp);
template <class V>
void nnt(const Factors<V>& f, CIVec rperm, CIVec cperm, Vec1<V> z, Vec1<const V> b, Vec1<V> y_tmp);

// y_tmp(i) -= row i of U times y_tmp, for i = n down to 1, and
// z(cperm(i)) = y_tmp(i): the back substitution that ends every solve.
template <class V>
void back_substitute(const Factors<V>& f, CIVec cperm, Vec1<V> z, Vec1<V> y_tmp);

// Explicit instantiation of routine F for the four value types, written
// once in the file that defines F.
#define YALE_FOR_EACH_VALUE_TYPE(F)      \
  template decltype(F<float>) F<float>;  \
  template decltype(F<double>) F<double>; \
  template decltype(F<core::ccomplex>) F<core::ccomplex>; \
  template decltype(F<core::zcomplex>) F<core::zcomplex>;

// ---------------------------------------------------------------- names per value type

using SWorkspace = BasicWorkspace<float>;
using DWorkspace = BasicWorkspace<double>;
using CWorkspace = BasicWorkspace<core::ccomplex>;
// (Workspace, for double complex, is declared in yale/workspace.hpp.)

// sF, dF, cF, zF: routine F for real and complex, single and double values.
#define YALE_NAMES_PER_VALUE_TYPE(F)                    \
  inline constexpr auto& s##F = F<float>;               \
  inline constexpr auto& d##F = F<double>;              \
  inline constexpr auto& c##F = F<core::ccomplex>;      \
  inline constexpr auto& z##F = F<core::zcomplex>;

YALE_NAMES_PER_VALUE_TYPE(odrv)  // sodrv ... zodrv
YALE_NAMES_PER_VALUE_TYPE(ndrv)  // sndrv ... zndrv
YALE_NAMES_PER_VALUE_TYPE(sro)   // ssro ... zsro
YALE_NAMES_PER_VALUE_TYPE(nnf)   // snnf ... znnf
YALE_NAMES_PER_VALUE_TYPE(nns)   // snns ... znns
YALE_NAMES_PER_VALUE_TYPE(nnt)   // snnt ... znnt
#undef YALE_NAMES_PER_VALUE_TYPE

// The symbolic step reads only the pattern: one routine for all types.
inline constexpr auto& snsf = nsf;
inline constexpr auto& dnsf = nsf;
inline constexpr auto& cnsf = nsf;
inline constexpr auto& znsf = nsf;

}  // namespace yale
