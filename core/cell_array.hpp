// Cell fields of the grid, indexed from 1 as cell (j, k): j = 1..nx along x,
// k = 1..ny along y, j varying fastest in memory.
#pragma once

#include <cassert>
#include <cstdint>
#include <vector>

#include "core/capacities.hpp"

namespace core {

// A field sized at run time for an nx x ny grid, every value zero at first.
// Default-constructed it holds the DefaultSide x DefaultSide grid, the most
// the upscaling programs read from a deck; any other grid passes its size.
template <class T, int DefaultSide = kMaxCellsPerSide>
class CellArray {
 public:
  CellArray() : CellArray(DefaultSide, DefaultSide) {}
  CellArray(int64_t nx, int64_t ny) : nx_(nx), ny_(ny), v_(static_cast<std::size_t>(nx * ny)) {
    assert(nx >= 0 && ny >= 0);
  }

  T& operator()(int64_t j, int64_t k) {
    assert(j >= 1 && j <= nx_ && k >= 1 && k <= ny_);
    return v_[static_cast<std::size_t>((j - 1) + (k - 1) * nx_)];
  }
  const T& operator()(int64_t j, int64_t k) const {
    assert(j >= 1 && j <= nx_ && k >= 1 && k <= ny_);
    return v_[static_cast<std::size_t>((j - 1) + (k - 1) * nx_)];
  }
  int64_t nx() const { return nx_; }
  int64_t ny() const { return ny_; }

 private:
  int64_t nx_, ny_;
  std::vector<T> v_;
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
