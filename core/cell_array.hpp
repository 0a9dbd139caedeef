// Cell fields of the grid, indexed from 1 as cell (j, k): j = 1..nx along x,
// k = 1..ny along y, j varying fastest in memory.
#pragma once

#include <cassert>
#include <cstdint>

#include "core/capacities.hpp"

namespace core {

template <class T, int N = kMaxCellsPerSide>
class CellArray {
 public:
  static constexpr int kSide = N;
  T& operator()(int j, int k) {
    assert(j >= 1 && j <= N && k >= 1 && k <= N);
    return v_[(j - 1) + (k - 1) * N];
  }
  const T& operator()(int j, int k) const {
    assert(j >= 1 && j <= N && k >= 1 && k <= N);
    return v_[(j - 1) + (k - 1) * N];
  }

 private:
  T v_[N * N];
};

using RealField = CellArray<double>;
using IntField = CellArray<int32_t>;

// One value per layer material, indexed by material number 1..kMaxLayers.
template <class T>
struct ByMaterial {
  T v[kMaxLayers]{};
  T& operator()(int n) {
    assert(n >= 1 && n <= kMaxLayers);
    return v[n - 1];
  }
  const T& operator()(int n) const {
    assert(n >= 1 && n <= kMaxLayers);
    return v[n - 1];
  }
};

}  // namespace core
