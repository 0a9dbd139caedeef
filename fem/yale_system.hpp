// The global complex system in Yale (compressed-row) storage, with its
// right-hand side. Allocated once by the program that owns it, for the grid
// of its deck, in memory that is reserved untouched (2 MB pages for the
// large arrays); the assembly fills it and the solver reads it as it stands.
//
//   ia(1..n+1)   row pointers: row i occupies positions ia(i) .. ia(i+1)-1
//   ja(p)        column of stored entry p, strictly increasing within a row
//   avec(p)      value of stored entry p
//   rhs_m(1..n)  load vector
//
// All accessors are 1-based. The raw pointers give the first element (index
// 1) for code that walks the arrays itself.
#pragma once

#include <cassert>
#include <cstdint>

#include "core/capacities.hpp"
#include "core/complex.hpp"
#include "core/large_array.hpp"

namespace fem {

class YaleSystem {
 public:
  // Room for kMaxUnknowns unknowns and kEntriesPerUnknown entries per unknown.
  YaleSystem() : YaleSystem(core::kMaxUnknowns) {}
  // Room for a system of n unknowns, 50 entries per unknown.
  explicit YaleSystem(int32_t n)
      : max_unknowns_(n),
        max_entries_(core::kEntriesPerUnknown * n),
        ia_(static_cast<std::size_t>(n) + 1),
        ja_(static_cast<std::size_t>(max_entries_)),
        avec_(static_cast<std::size_t>(max_entries_)),
        rhs_(static_cast<std::size_t>(n)) {}

  int32_t& ia(int32_t i) { assert(i >= 1 && i <= max_unknowns_ + 1); return ia_[i - 1]; }
  int32_t ia(int32_t i) const { assert(i >= 1 && i <= max_unknowns_ + 1); return ia_[i - 1]; }
  int32_t& ja(int32_t p) { assert(p >= 1 && p <= max_entries_); return ja_[p - 1]; }
  int32_t ja(int32_t p) const { assert(p >= 1 && p <= max_entries_); return ja_[p - 1]; }
  core::zcomplex& avec(int32_t p) { assert(p >= 1 && p <= max_entries_); return avec_[p - 1]; }
  core::zcomplex avec(int32_t p) const { assert(p >= 1 && p <= max_entries_); return avec_[p - 1]; }
  core::zcomplex& rhs_m(int32_t i) { assert(i >= 1 && i <= max_unknowns_); return rhs_[i - 1]; }
  core::zcomplex rhs_m(int32_t i) const { assert(i >= 1 && i <= max_unknowns_); return rhs_[i - 1]; }

  int32_t* ia_data() { return ia_.get(); }
  int32_t* ja_data() { return ja_.get(); }
  core::zcomplex* avec_data() { return avec_.get(); }
  core::zcomplex* rhs_data() { return rhs_.get(); }
  const int32_t* ia_data() const { return ia_.get(); }
  const int32_t* ja_data() const { return ja_.get(); }
  const core::zcomplex* avec_data() const { return avec_.get(); }
  const core::zcomplex* rhs_data() const { return rhs_.get(); }

 private:
  int32_t max_unknowns_;
  int32_t max_entries_;
  core::LargeArray<int32_t> ia_;
  core::LargeArray<int32_t> ja_;
  core::LargeArray<core::zcomplex> avec_;
  core::LargeArray<core::zcomplex> rhs_;
};

}  // namespace fem
