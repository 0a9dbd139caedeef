// Solves with the stored factors for several right-hand sides at once.
//
// A solve with the factors does two multiply-adds per stored entry of L and
// U and reads every entry once: it is bound by the reading of the factors,
// not by the arithmetic.  Solving for k vectors in one sweep reads the
// factors once for all k; each entry's multiply-adds then run over the k
// vectors, which lie side by side.  Every vector gets the very operations,
// in the same order, of a solve on its own (`nns`, `nnt`): the solutions are
// the same bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/complex.hpp"
#include "yale/factors.hpp"
#include "yale/workspace.hpp"

namespace yale {

// Right-hand sides per sweep at most.
inline constexpr int32_t kMaxSolvesAtOnce = 8;

// The vectors of a sweep interleaved: entry i (1-based) of vector r
// (0-based) is word (i - 1) * count + r of the block.
template <class V>
struct VectorBlock {
  V* words;
  int32_t count;
  V* at(int32_t i) const { return words + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(count); }
};

// A z = b (transpose: false) or transpose(A) z = b for the `count` vectors
// of b, the solutions into z; y_tmp has count * n words.  b and z may be
// one block.
template <class V>
void nns_several(const Factors<V>& f, CIVec rperm, CIVec cperm, VectorBlock<const V> b, VectorBlock<V> z,
                 VectorBlock<V> y_tmp);
template <class V>
void nnt_several(const Factors<V>& f, CIVec rperm, CIVec cperm, VectorBlock<const V> b, VectorBlock<V> z,
                 VectorBlock<V> y_tmp);

// Jobs 3 (A z = b) and 4 (transpose(A) z = b) of `ndrv` for each vector
// of vs, overwritten with its solution, with the factors that an earlier job
// 1 or 2 left in ws, in the same partition (n, nwork).  The vectors are
// solved in sweeps of up to kMaxSolvesAtOnce, interleaved in the spare words
// behind the factors (2 n words per vector of a sweep), one at a time where
// those are too few: the solutions are ndrv's bit for bit.  flag: 11n+1 for
// a job other than 3 and 4 or a vector shorter than n, 10n+1 when the
// workspace holds no factors; left alone on success, so the caller clears
// it.
template <class V>
void ndrv_vectors(int32_t n, std::span<const int32_t> rperm, std::span<const int32_t> cperm, int32_t nwork,
                  BasicWorkspace<V>& ws, int32_t job, std::span<const std::span<V>> vs, int32_t& flag);

inline constexpr auto& zndrv_vectors = ndrv_vectors<core::zcomplex>;

}  // namespace yale
