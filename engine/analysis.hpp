// What the own backend learns about a matrix from its pattern alone, and
// the steps that learn it. Pivots are numbered in elimination order; the
// pivots of a supernode are consecutive, and a supernode comes after all of
// its descendants.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sparse_solver.hpp"

namespace engine::detail {

// Lower triangle stored by columns: column j holds rows >= j, sorted.
using Lower = LowerPattern;

// The input entries summed into a lower triangle in the original numbering;
// slot[k] is where input entry k lands.
struct InputMatrix {
  Lower lower;
  std::vector<Index> slot;
};

// Checks the pattern (clear message on the first bad entry) and sums its
// repeated entries; every diagonal entry is stored, present or not.
InputMatrix input_matrix(const Pattern& pattern);

// Checks a pattern handed over in the engine's own layout (clear message on
// the first column that is not: missing diagonal, rows out of order or out
// of range, pointers not ascending).
void check_lower(const Lower& lower);

// The lower triangle of P A P^T, where order[k] is the original unknown of
// pivot k and inverse its inverse; source[e] is the slot of `a` that entry e
// of the result comes from. With `threads` > 1 in two halves side by side,
// with the same result.
Lower permuted_lower(const Lower& a, const std::vector<Index>& inverse, std::vector<Index>* source, int threads = 1);

// Fill-reducing orderings: order[k] is the original unknown eliminated k-th.
std::vector<Index> metis_order(const Lower& a);
std::vector<Index> grid_order(const GridPlaces& grid, Index n);

// Elimination tree of a lower triangle (parent -1 at a root), a postorder
// of it, and the column counts of its factor (diagonal included).
std::vector<Index> elimination_tree(const Lower& a);
std::vector<Index> postorder(const std::vector<Index>& parent);
std::vector<Index> column_counts(const Lower& a, const std::vector<Index>& parent, const std::vector<Index>& post);

// Supernodes after relaxed amalgamation, as a new elimination order of the
// nodes of `a` (postordered tree `parent`, counts `count`) and the first
// pivot of each supernode in that order (nsuper + 1 entries).
struct SupernodePartition {
  std::vector<Index> order;  // order[k]: node of `a` eliminated k-th
  std::vector<Index> first;
};
SupernodePartition supernodes(const std::vector<Index>& parent, const std::vector<Index>& post,
                              const std::vector<Index>& count);

// Everything the numeric phase needs, in the final pivot order.
struct Fronts {
  Index n = 0;
  Index nsuper = 0;
  std::vector<Index> first;        // nsuper + 1: pivots first[s] .. first[s+1]-1
  std::vector<Index> parent;       // supernode tree, -1 at a root
  std::vector<Index> rows_ptr;     // nsuper + 1, into rows
  std::vector<Index> rows;         // pivot rows of each front: its pivots, then the rows below, ascending
  std::vector<std::int32_t> up;    // per entry of rows: its place in the parent's front (rows below only)
  std::vector<Index> factor_ptr;   // nsuper + 1: offset of each front's m x nc block in the factor store
  std::vector<Index> entry_source; // per entry of the permuted lower triangle: slot of the input matrix
  std::vector<std::int32_t> entry_place;  // per entry of the permuted lower triangle: offset in its front's panel
  std::vector<Index> entry_ptr;    // nsuper + 1: entries of each supernode's columns
  Index m(Index s) const { return rows_ptr[s + 1] - rows_ptr[s]; }
  Index nc(Index s) const { return first[s + 1] - first[s]; }
};

// Rows of every front, the map of each front into its parent's, and the
// place of every matrix entry in the factor store (with `threads` > 1 partly
// in two halves side by side, to the same result).
Fronts front_map(const Lower& permuted, std::vector<Index> source, const std::vector<Index>& first, int threads = 1);

// Factor entries, flops and peak memory of a factorisation with `threads`
// threads over the subtrees `subtree_roots` (empty: sequential).
struct Counts {
  Index factor_entries = 0;
  Index factor_store = 0;  // complex words of the dense front blocks
  double flops = 0;
  std::int64_t memory_bytes = 0;       // factors in memory
  std::int64_t out_of_core_bytes = 0;  // factors on disk
  std::int64_t disk_bytes = 0;         // the factor file
};
Counts count_fronts(const Fronts& f, Index matrix_entries, const std::vector<Index>& subtree_roots, int threads);
double front_flops(Index m, Index nc);

// Words of complex scratch (besides the stacks) that one front needs.
Index scratch_words(const Fronts& f, Index s);

// Room (complex words) for the update matrices of the supernodes lo .. hi-1
// (a postorder) on a last-in first-out stack, leaving out those with
// skip[s] set (their update matrices live elsewhere).
Index stack_words(const Fronts& f, Index lo, Index hi, const std::vector<char>* skip);

// The stacks of a factorisation: one per thread for its subtrees (the
// first also serves the supernodes above them), and the supernodes done by
// the subtrees (done[s] set).
struct StackPlan {
  std::vector<Index> words;
  std::vector<char> done;
  std::vector<Index> subtree_size;  // in supernodes: the subtree of r is r - size + 1 .. r
};
StackPlan stack_plan(const Fronts& f, const std::vector<Index>& subtree_roots, int threads);

// Subtrees of the supernode tree handed to threads, the largest first; the
// supernodes above them are factorised afterwards with threaded kernels.
std::vector<Index> subtree_schedule(const Fronts& f, int threads);

// Flops of the subtree under each supernode, itself included.
std::vector<double> subtree_work(const Fronts& f);
// Supernodes of the subtree under each: the subtree of r is r - size + 1 .. r.
std::vector<Index> subtree_sizes(const Fronts& f);

// Bytes the analysis of `entries` stored entries and n unknowns allocates
// at its peak (the matrix handed over not included).
std::int64_t analysis_bytes(Index n, Index entries);

// Bytes the machine can give (MemAvailable of /proc/meminfo), -1 unknown.
std::int64_t available_memory();

}  // namespace engine::detail

namespace engine::detail {

// The symbolic analysis for one fill-reducing order: postordered elimination
// tree, supernodes, and the final pivot order perm (perm[k]: original
// unknown of pivot k) with its fronts. With `threads` > 1 its largest steps
// run in two halves side by side; the plan is the same bit for bit.
struct Plan {
  std::vector<Index> perm;
  Fronts fronts;
  double flops = 0;
};
Plan plan(const Lower& a, const std::vector<Index>& order, int threads = 1);

}  // namespace engine::detail
