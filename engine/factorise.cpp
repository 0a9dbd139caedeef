// The multifrontal traversal: each supernode's front is assembled from the
// matrix entries of its columns and its children's update matrices,
// factorised, and its own update matrix kept until its parent takes it.
// Independent subtrees go to separate threads; the result does not depend on
// which thread took which subtree.
#include <cblas.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/front_kernel.hpp"
#include "engine/numeric.hpp"

namespace engine::detail {

BlasThreads::BlasThreads(int threads) : saved_(openblas_get_num_threads()) { openblas_set_num_threads(threads); }
BlasThreads::~BlasThreads() { openblas_set_num_threads(saved_); }

namespace {

struct Traversal {
  const Fronts& f;
  const zcomplex* values;
  zcomplex* store;
  std::vector<std::unique_ptr<zcomplex[]>> updates;
  std::vector<Index> child_head, child_next;

  Traversal(const Fronts& fr, const zcomplex* v, zcomplex* st)
      : f(fr), values(v), store(st), updates(static_cast<std::size_t>(fr.nsuper)),
        child_head(static_cast<std::size_t>(fr.nsuper), -1), child_next(static_cast<std::size_t>(fr.nsuper), -1) {
    for (Index s = f.nsuper - 1; s >= 0; --s)
      if (const Index p = f.parent[s]; p != -1) child_next[s] = child_head[p], child_head[p] = s;
  }

  void front(Index s, PivotGuard& guard, std::vector<zcomplex>& scratch) {
    const Index m = f.m(s), nc = f.nc(s), mc = m - nc;
    zcomplex* panel = store + f.factor_ptr[s];
    std::memset(static_cast<void*>(panel), 0, sizeof(zcomplex) * static_cast<std::size_t>(m * nc));
    for (Index k = f.entry_ptr[s]; k < f.entry_ptr[s + 1]; ++k) store[f.entry_place[k]] += values[f.entry_source[k]];
    std::unique_ptr<zcomplex[]> update;
    if (mc > 0) {
      update.reset(new zcomplex[static_cast<std::size_t>(mc * mc)]);
      std::memset(static_cast<void*>(update.get()), 0, sizeof(zcomplex) * static_cast<std::size_t>(mc * mc));
    }
    for (Index c = child_head[s]; c != -1; c = child_next[c]) {
      extend_add(updates[c].get(), f.m(c) - f.nc(c), f.up.data() + f.rows_ptr[c] + f.nc(c), panel, m, nc, update.get());
      updates[c].reset();
    }
    guard.first = f.first[s];
    factor_panel(panel, m, nc, guard, scratch);
    if (mc > 0) update_matrix(panel, m, nc, update.get(), scratch);
    updates[s] = std::move(update);
  }
};

// Subtree sizes in supernodes: the subtree of r is r - size + 1 .. r.
std::vector<Index> subtree_sizes(const Fronts& f) {
  std::vector<Index> size(static_cast<std::size_t>(f.nsuper), 1);
  for (Index s = 0; s < f.nsuper; ++s)
    if (f.parent[s] != -1) size[f.parent[s]] += size[s];
  return size;
}

}  // namespace

std::vector<PivotChange> factorise_fronts(const Fronts& f, const zcomplex* values, zcomplex* store, double tiny,
                                          const std::vector<Index>& subtrees, int threads,
                                          const std::function<void(double)>& progress) {
  Traversal t(f, values, store);
  const std::vector<Index> size = subtree_sizes(f);
  std::vector<char> done(static_cast<std::size_t>(f.nsuper), 0);
  std::vector<PivotChange> changes;
  if (!subtrees.empty()) {
    BlasThreads one(1);
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex lock;
    auto work = [&] {
      PivotGuard guard{tiny, 0, {}};
      std::vector<zcomplex> scratch;
      try {
        for (std::size_t i = next++; i < subtrees.size(); i = next++)
          for (Index s = subtrees[i] - size[subtrees[i]] + 1; s <= subtrees[i]; ++s) t.front(s, guard, scratch);
      } catch (...) {
        std::lock_guard<std::mutex> hold(lock);
        failure = std::current_exception();
        next = subtrees.size();
      }
      std::lock_guard<std::mutex> hold(lock);
      changes.insert(changes.end(), guard.changes.begin(), guard.changes.end());
    };
    std::vector<std::thread> pool;
    for (int k = 1; k < threads; ++k) pool.emplace_back(work);
    work();
    for (auto& th : pool) th.join();
    if (failure) std::rethrow_exception(failure);
    for (Index r : subtrees) std::fill(done.begin() + (r - size[r] + 1), done.begin() + r + 1, 1);
  }
  BlasThreads many(std::max(threads, 1));
  PivotGuard guard{tiny, 0, {}};
  std::vector<zcomplex> scratch;
  const Index last = f.nsuper;
  for (Index s = 0; s < last; ++s) {
    if (done[s]) continue;
    t.front(s, guard, scratch);
    if (progress) progress(static_cast<double>(s + 1) / static_cast<double>(last));
  }
  changes.insert(changes.end(), guard.changes.begin(), guard.changes.end());
  std::sort(changes.begin(), changes.end(), [](const PivotChange& a, const PivotChange& b) { return a.pivot < b.pivot; });
  return changes;
}

}  // namespace engine::detail
