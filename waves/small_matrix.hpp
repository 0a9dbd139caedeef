// Small dense complex matrices and vectors of fixed size, indexed from 1.
//
// A matrix is stored by columns with a fixed leading dimension LD: entry
// (i, j) is element (i-1) + LD*(j-1) of `a`. The 5 x 5 work matrices of the
// plane-wave analysis use LD = 5, the compressional 3 x 3 block LD = 3.
// Aggregates without constructors: `Mat5 m{}` zeroes, `Mat5 m;` leaves the
// storage as it is.
#pragma once

#include <cassert>

#include "core/complex.hpp"

namespace waves {

using core::zcomplex;

template <int LD>
struct ZMatrix {
  static constexpr int kLd = LD;
  zcomplex a[LD * LD];

  zcomplex& operator()(int i, int j) {
    assert(i >= 1 && i <= LD && j >= 1 && j <= LD);
    return a[(i - 1) + LD * (j - 1)];
  }
  const zcomplex& operator()(int i, int j) const {
    assert(i >= 1 && i <= LD && j >= 1 && j <= LD);
    return a[(i - 1) + LD * (j - 1)];
  }
};

template <int N>
struct ZVector {
  zcomplex v[N];

  zcomplex& operator()(int i) {
    assert(i >= 1 && i <= N);
    return v[i - 1];
  }
  const zcomplex& operator()(int i) const {
    assert(i >= 1 && i <= N);
    return v[i - 1];
  }
};

using Mat5 = ZMatrix<5>;
using Mat3 = ZMatrix<3>;
using Mat2 = ZMatrix<2>;
using Vec5 = ZVector<5>;
using Vec3 = ZVector<3>;
using Vec2 = ZVector<2>;

}  // namespace waves
