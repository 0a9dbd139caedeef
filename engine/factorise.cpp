// The multifrontal traversal: each supernode's front is assembled from the
// matrix entries of its columns and its children's update matrices,
// factorised, and its own update matrix kept on a last-in first-out stack
// until its parent takes it. Independent subtrees go to separate threads,
// each with its own stack; the update matrices of the subtrees' roots wait
// on the heap for the supernodes above. The result does not depend on which
// thread took which subtree. Out of core each front's panel is formed in a
// buffer of its thread's and written to the factor file once factorised.
#include <cblas.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "engine/front_kernel.hpp"
#include "engine/numeric.hpp"
#include "core/shared_work.hpp"
#include "engine/thread_budget.hpp"

namespace engine::detail {

BlasThreads::BlasThreads(int threads) : saved_(openblas_get_num_threads()) {
  openblas_set_num_threads(threads_within(threads, address_space_room()));
}
BlasThreads::~BlasThreads() { openblas_set_num_threads(saved_); }

}  // namespace engine::detail

namespace engine {

OneBlasThread::OneBlasThread() : saved_(openblas_get_num_threads()) { openblas_set_num_threads(1); }
OneBlasThread::~OneBlasThread() { openblas_set_num_threads(saved_); }

}  // namespace engine

namespace engine::detail {

namespace {

struct Stack {
  zcomplex* base;
  Index capacity, top = 0;
};

// One thread's working room: its stack, its kernels' scratch, and out of
// core the buffer of the panel being factorised.
struct Worker {
  Stack stack;
  PivotGuard guard;
  std::vector<zcomplex>& scratch;
  std::vector<zcomplex>& panel;
};

struct Traversal {
  const Fronts& f;
  const zcomplex* values;
  FactorSink sink;
  std::vector<zcomplex*> update;                  // where each update matrix is
  std::vector<std::unique_ptr<zcomplex[]>> held;  // those of the subtrees' roots
  std::vector<Index> child_head, child_next;

  Traversal(const Fronts& fr, const zcomplex* v, FactorSink si)
      : f(fr), values(v), sink(si), update(static_cast<std::size_t>(fr.nsuper), nullptr),
        held(static_cast<std::size_t>(fr.nsuper)), child_head(static_cast<std::size_t>(fr.nsuper), -1),
        child_next(static_cast<std::size_t>(fr.nsuper), -1) {
    for (Index s = f.nsuper - 1; s >= 0; --s)
      if (const Index p = f.parent[s]; p != -1) child_next[s] = child_head[p], child_head[p] = s;
  }

  void front(Index s, Worker& w) {
    Stack& stack = w.stack;
    const Index m = f.m(s), nc = f.nc(s), mc = m - nc, words = mc * mc, at = f.factor_ptr[s];
    zcomplex* panel = sink.store ? sink.store + at : w.panel.data();
    std::memset(static_cast<void*>(panel), 0, sizeof(zcomplex) * static_cast<std::size_t>(m * nc));
    for (Index k = f.entry_ptr[s]; k < f.entry_ptr[s + 1]; ++k) panel[f.entry_place[k]] += values[f.entry_source[k]];
    if (stack.top + words > stack.capacity) throw std::logic_error("sparse engine: update stack overflow");
    zcomplex* mine = stack.base + stack.top;
    for (Index j = 0; j < mc; ++j)  // only the lower triangle is read
      std::memset(static_cast<void*>(mine + j * mc + j), 0, sizeof(zcomplex) * static_cast<std::size_t>(mc - j));
    Index lowest = stack.top;  // the children on this stack lie on its top
    for (Index c = child_head[s]; c != -1; c = child_next[c]) {
      extend_add(update[c], f.m(c) - f.nc(c), f.up.data() + f.rows_ptr[c] + f.nc(c), panel, m, nc, mine);
      if (held[c]) held[c].reset();
      else lowest = std::min(lowest, static_cast<Index>(update[c] - stack.base));
      update[c] = nullptr;
    }
    w.guard.first = f.first[s];
    factor_panel(panel, m, nc, w.guard, w.scratch);
    if (mc > 0) update_matrix(panel, m, nc, mine, w.scratch);
    if (sink.file) sink.file->write(at, panel, m * nc);
    if (lowest != stack.top)  // down the stack, column by column: each lands below where it was
      for (Index j = 0; j < mc; ++j)
        std::memmove(static_cast<void*>(stack.base + lowest + j * mc + j), mine + j * mc + j,
                     sizeof(zcomplex) * static_cast<std::size_t>(mc - j));
    update[s] = stack.base + lowest;
    stack.top = lowest + words;
  }

  // A subtree's root: its update matrix leaves the thread's stack.
  void hold(Index r, Stack& stack) {
    const Index mc = f.m(r) - f.nc(r), words = mc * mc;
    held[r].reset(new zcomplex[static_cast<std::size_t>(std::max<Index>(words, 1))]);
    std::memcpy(static_cast<void*>(held[r].get()), update[r], sizeof(zcomplex) * words);
    update[r] = held[r].get();
    stack.top -= words;
  }
};

Stack stack_of(UpdateStacks& stacks, std::size_t k) {
  return {stacks.buffers[k]->get(), stacks.words[k]};
}

void ensure_stacks(UpdateStacks& stacks, const StackPlan& plan, const Fronts& f, bool panels) {
  stacks.scratch.resize(plan.words.size());
  stacks.panels.resize(panels ? plan.words.size() : 0);
  for (std::vector<zcomplex>& p : stacks.panels) p.resize(static_cast<std::size_t>(largest_panel_words(f)));
  if (stacks.words == plan.words) return;
  stacks.buffers.clear();
  stacks.words = plan.words;
  for (Index w : plan.words)
    stacks.buffers.push_back(std::make_unique<core::LargeArray<zcomplex>>(static_cast<std::size_t>(std::max<Index>(w, 1))));
}

Worker worker(UpdateStacks& stacks, std::size_t k, double tiny) {
  static std::vector<zcomplex> none;
  return {stack_of(stacks, k), PivotGuard{tiny, 0, {}}, stacks.scratch[k],
          stacks.panels.empty() ? none : stacks.panels[k]};
}

}  // namespace

std::vector<PivotChange> factorise_fronts(const Fronts& f, const zcomplex* values, FactorSink sink, double tiny,
                                          const std::vector<Index>& subtrees, int threads, UpdateStacks& stacks,
                                          const std::function<void(double)>& progress) {
  const StackPlan plan = stack_plan(f, subtrees, threads);
  ensure_stacks(stacks, plan, f, sink.store == nullptr);
  Traversal t(f, values, sink);
  std::vector<PivotChange> changes;
  if (!subtrees.empty()) {
    BlasThreads one(1);
    std::vector<Worker> workers;
    for (std::size_t k = 0; k < plan.words.size(); ++k) workers.push_back(worker(stacks, k, tiny));
    core::share_out(threads, subtrees.size(), [&](std::size_t i, std::size_t k) {
      const Index r = subtrees[i];
      for (Index s = r - plan.subtree_size[r] + 1; s <= r; ++s) t.front(s, workers[k]);
      t.hold(r, workers[k].stack);
    });
    for (const Worker& w : workers) changes.insert(changes.end(), w.guard.changes.begin(), w.guard.changes.end());
  }
  BlasThreads many(std::max(threads, 1));
  Worker w = worker(stacks, 0, tiny);
  for (Index s = 0; s < f.nsuper; ++s) {
    if (plan.done[s]) continue;
    t.front(s, w);
    if (progress) progress(static_cast<double>(s + 1) / static_cast<double>(f.nsuper));
  }
  changes.insert(changes.end(), w.guard.changes.begin(), w.guard.changes.end());
  std::sort(changes.begin(), changes.end(), [](const PivotChange& a, const PivotChange& b) { return a.pivot < b.pivot; });
  return changes;
}

}  // namespace engine::detail
