// Large arrays in anonymous memory that the kernel may back with 2 MB pages.
//
// The memory is reserved, not touched: a page costs nothing until it is
// first written, and reads zero until then.  Arrays of 2 MB and more are
// aligned to 2 MB and marked for huge pages, so that filling the solver's
// factors costs a few hundred page faults instead of tens of thousands,
// while a small grid still touches only the few pages it uses.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

namespace core {

class LargeBlock {
 public:
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;

  explicit LargeBlock(std::size_t bytes) : bytes_(round_up(bytes == 0 ? 1 : bytes, 4096)) {
    const bool huge = bytes_ >= kHugePage;
    const std::size_t span = huge ? bytes_ + kHugePage : bytes_;
    void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    auto* base = static_cast<std::byte*>(p);
    if (huge) {
      // Keep the 2 MB-aligned part; give back the ends.
      const auto addr = reinterpret_cast<std::uintptr_t>(base);
      const std::size_t head = round_up(addr, kHugePage) - addr;
      if (head > 0) munmap(base, head);
      if (kHugePage - head > 0) munmap(base + head + bytes_, kHugePage - head);
      base += head;
#ifdef MADV_HUGEPAGE
      madvise(base, bytes_, MADV_HUGEPAGE);
#endif
    }
    base_ = base;
  }
  ~LargeBlock() { munmap(base_, bytes_); }
  LargeBlock(const LargeBlock&) = delete;
  LargeBlock& operator=(const LargeBlock&) = delete;

  std::byte* data() const { return base_; }

 private:
  static std::size_t round_up(std::size_t v, std::size_t to) { return (v + to - 1) / to * to; }
  std::size_t bytes_;
  std::byte* base_ = nullptr;
};

// `count` values of T in a LargeBlock, never initialised by the class.
template <class T>
class LargeArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_default_constructible_v<T>);

 public:
  explicit LargeArray(std::size_t count)
      : block_(count * sizeof(T)), p_(::new (static_cast<void*>(block_.data())) T[count]) {}
  T* get() const { return p_; }
  T& operator[](std::size_t i) const { return p_[i]; }

 private:
  LargeBlock block_;
  T* p_;
};

}  // namespace core
