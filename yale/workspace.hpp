// Storage types of the sparse solver: 1-based views of caller arrays and the
// one workspace block that the drivers partition.
//
// The workspace is a single block of `nwork` value words (complex or real),
// addressed at the same time as 32-bit integer words: integer word w lies in
// value word ceil(w / ratio), ratio = sizeof(value) / 4.  The drivers carve it
// into disjoint regions of one type each.  A region that a routine fills is
// opened with `fresh_ints` / `fresh_values`, which begin the lifetime of an
// array of that type in place (no code is emitted and no byte is touched);
// a region that a later call reads back (the factors left by `zndrv`) is
// opened with `ints` / `values`, under the same type it was written with.
// So no byte is ever read as one type after being written as the other, and
// the block, reserved untouched (core/large_array.hpp, in 2 MB pages when it
// is large), has only the pages faulted in that the partition actually uses.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <type_traits>

#include "core/complex.hpp"
#include "core/large_array.hpp"

namespace yale {

// A 1-based view of contiguous storage: v(1) is the first element.  No
// bounds check: the inner loops of the factorisation index through it.
template <class T>
class Vec1 {
 public:
  Vec1() = default;
  Vec1(T* first, int32_t size) : p_(first), size_(size) {}
  template <class U>
    requires std::is_convertible_v<U (*)[], T (*)[]>
  Vec1(std::span<U> s) : p_(s.data()), size_(static_cast<int32_t>(s.size())) {}
  template <class U>
    requires(!std::is_same_v<U, T> && std::is_convertible_v<U (*)[], T (*)[]>)
  Vec1(Vec1<U> v) : p_(v.data()), size_(v.size()) {}

  T& operator()(int32_t i) const { return p_[i - 1]; }
  T* data() const { return p_; }
  int32_t size() const { return size_; }
  // The view of elements first .. first+count-1 of this one, again 1-based.
  Vec1 sub(int32_t first, int32_t count) const { return Vec1(p_ + (first - 1), count); }

 private:
  T* p_ = nullptr;
  int32_t size_ = 0;
};

// Integer words per value word: 1 for single real, 2 for double real and
// single complex, 4 for double complex.
template <class V>
inline constexpr int32_t kIntsPerValue = static_cast<int32_t>(sizeof(V) / sizeof(int32_t));

template <class V>
class BasicWorkspace {
  static_assert(std::is_trivially_copyable_v<V> && std::is_trivially_default_constructible_v<V>,
                "workspace values must be implicit-lifetime types");
  static_assert(sizeof(V) % sizeof(int32_t) == 0 && alignof(V) >= alignof(int32_t));

 public:
  using value_type = V;
  static constexpr int32_t kRatio = kIntsPerValue<V>;

  // One uninitialised block of nwork value words.
  explicit BasicWorkspace(int32_t nwork)
      : nwork_(nwork < 0 ? 0 : nwork),
        storage_(static_cast<std::size_t>(nwork_) * sizeof(V) + sizeof(V)),
        block_(storage_.data()) {}
  BasicWorkspace(const BasicWorkspace&) = delete;
  BasicWorkspace& operator=(const BasicWorkspace&) = delete;

  int32_t nwork() const { return nwork_; }
  int64_t int_words() const { return int64_t{kRatio} * nwork_; }

  // Integer words first .. first+count-1, as a 1-based view (view(1) is
  // word `first`).  `fresh_ints` starts their lifetime with indeterminate
  // contents; `ints` views integers that an earlier call wrote.
  Vec1<int32_t> fresh_ints(int32_t first, int32_t count) {
    check_ints(first, count);
    if (count <= 0) return {};
    int32_t* p = ::new (static_cast<void*>(block_ + byte_of_int(first))) int32_t[static_cast<std::size_t>(count)];
    return Vec1<int32_t>(p, count);
  }
  Vec1<int32_t> ints(int32_t first, int32_t count) {
    check_ints(first, count);
    return Vec1<int32_t>(std::launder(reinterpret_cast<int32_t*>(block_ + byte_of_int(first))), count);
  }

  // Value words first .. first+count-1, likewise.
  Vec1<V> fresh_values(int32_t first, int32_t count) {
    check_values(first, count);
    if (count <= 0) return {};
    V* p = ::new (static_cast<void*>(block_ + byte_of_value(first))) V[static_cast<std::size_t>(count)];
    return Vec1<V>(p, count);
  }
  Vec1<V> values(int32_t first, int32_t count) {
    check_values(first, count);
    return Vec1<V>(std::launder(reinterpret_cast<V*>(block_ + byte_of_value(first))), count);
  }

  // A single integer word that a driver left behind (the sizes of the factors).
  int32_t& iword(int32_t w) { return ints(w, 1)(1); }

 private:
  static std::size_t byte_of_int(int32_t w) { return static_cast<std::size_t>(w - 1) * sizeof(int32_t); }
  static std::size_t byte_of_value(int32_t w) { return static_cast<std::size_t>(w - 1) * sizeof(V); }
  void check_ints([[maybe_unused]] int32_t first, [[maybe_unused]] int32_t count) const {
    assert(count <= 0 || (first >= 1 && int64_t{first} + count - 1 <= int_words()));
  }
  void check_values([[maybe_unused]] int32_t first, [[maybe_unused]] int32_t count) const {
    assert(count <= 0 || (first >= 1 && int64_t{first} + count - 1 <= nwork_));
  }

  int32_t nwork_;
  core::LargeBlock storage_;
  std::byte* block_;
};

// The workspace of the double-complex drivers; the programs own one of
// core::kWorkPerUnknown words per unknown of their grid.
using Workspace = BasicWorkspace<core::zcomplex>;

}  // namespace yale
