// The own backend: analysis by the grid's dissection where the grid is known
// (METIS otherwise), multifrontal LDL^T per frequency, solves refined in
// extended precision.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>

#include <sys/stat.h>

#include "core/backward_error.hpp"
#include "core/heap_reuse.hpp"
#include "core/heap_warm.hpp"
#include "core/memory_room.hpp"
#include "core/two_pieces.hpp"
#include "engine/analysis.hpp"
#include "engine/factor_file.hpp"
#include "engine/mumps_solver.hpp"
#include "engine/numeric.hpp"

namespace engine {

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

std::string gigabytes(std::int64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f GB", static_cast<double>(bytes) / 1e9);
  return text;
}

class OwnSolver final : public SparseSolver {
 public:
  void analyse(const Pattern& pattern, const Options& options) override;
  std::int64_t memory_needed() const override { return stats_.memory_bytes; }
  void factorise(std::span<const zcomplex> values) override;
  bool takes_lower() const override { return true; }
  void analyse_lower(std::shared_ptr<const LowerPattern> lower, const Options& options) override;
  void factorise_owned(std::vector<zcomplex>&& values) override;
  std::span<const zcomplex> matrix_values() const override { return values_; }
  void solve(std::span<zcomplex> b, Index nrhs, bool refine) override {
    solve_partly_refined(b, nrhs, refine ? nrhs : 0);
  }
  void solve_partly_refined(std::span<zcomplex> b, Index nrhs, Index refined) override;
  const Statistics& statistics() const override { return stats_; }
  std::vector<double> backward_errors() const override { return omega_; }
  std::unique_ptr<SparseSolver> twin(int threads) const override;

 private:
  void start_analysis(const Options& options, Index n, Index entries);
  void choose_ordering(Index n);
  void finish_analysis(std::chrono::steady_clock::time_point t0);
  void count_for_threads(int threads);
  void check_memory(std::int64_t incoming) const;
  void factorise_summed();
  std::int64_t held_bytes() const;
  void check_disk() const;
  detail::FactorBlocks factor_blocks() const {
    if (file_) return detail::FactorBlocks(plan_.fronts, *file_, detail::read_buffer_words(plan_.fronts));
    return detail::FactorBlocks(plan_.fronts, store_->get());
  }
  bool out_of_core() const { return !options_.out_of_core_dir.empty(); }
  void plain_solve(zcomplex* b, Index nrhs) const;
  void solve_split(zcomplex* y, Index nrhs) const;
  void refine(const zcomplex* b, zcomplex* x, Index nrhs);

  Options options_;
  int threads_ = 1;
  Index entries_ = 0;  // of the pattern handed over
  // The summed lower triangle (shared with the program on the lean route,
  // and with twins) and where each input entry lands in it (empty on the
  // lean route: entry k is slot k).
  std::shared_ptr<const detail::Lower> lower_;
  std::vector<Index> slot_;
  detail::Plan plan_;
  std::vector<Index> subtrees_;
  detail::SolveSplit split_;
  std::vector<zcomplex> values_;  // summed lower triangle, input slots
  std::unique_ptr<core::LargeArray<zcomplex>> store_;  // 2 MB pages: few faults
  detail::PivotCorrection correction_;
  detail::UpdateStacks stacks_;
  std::unique_ptr<detail::FactorFile> file_;  // out of core, made by the first factorisation
  bool factorised_ = false;
  Statistics stats_;
  std::vector<double> omega_;
};

void OwnSolver::choose_ordering(Index n) {
  const Ordering o = options_.ordering;
  if (o == Ordering::minimum_degree)
    throw std::invalid_argument("sparse engine: the own backend orders by nested dissection (geometric or METIS), "
                                "not by minimum degree");
  if (o == Ordering::geometric && !options_.grid)
    throw std::invalid_argument("sparse engine: the geometric ordering needs the places of the unknowns (Options::grid)");
  std::vector<Index> order;
  if (options_.grid && (o == Ordering::geometric || o == Ordering::automatic)) {
    order = detail::grid_order(*options_.grid, n);
    stats_.ordering = "geometric nested dissection";
  }
  // Where the grid is known its dissection is taken without planning METIS
  // too: the geometric separators are the grid's own, and comparing the two
  // cost a second complete symbolic analysis for an answer that was the
  // geometric one at every size measured (doc/performance.md).
  if (o == Ordering::metis || (o == Ordering::automatic && order.empty())) {
    order = detail::metis_order(*lower_);
    stats_.ordering = "METIS nested dissection";
  }
  plan_ = detail::plan(*lower_, order, threads_);
  split_ = detail::solve_split(plan_.fronts);
}

void OwnSolver::start_analysis(const Options& options, Index n, Index entries) {
  options_ = options;
  threads_ = options.threads > 0 ? options.threads : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  stats_ = Statistics{};
  factorised_ = false;
  store_.reset();
  file_.reset();
  stacks_ = {};
  values_ = {};
  if (out_of_core()) {
    struct stat st {};
    if (::stat(options.out_of_core_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw std::invalid_argument("sparse engine: the out-of-core folder " + options.out_of_core_dir +
                                  " is not an existing folder (expected one to hold the factor file)");
  }
  entries_ = entries;
  // The analysis's own arrays, sized before it starts: per entry the slots,
  // two permuted copies with their sources, the places in the factor store
  // and the graph of the ordering (about 80 bytes); per unknown the trees,
  // counts and permutations (about 120 bytes).
  core::require_memory(detail::analysis_bytes(n, entries), "sparse engine: the analysis of " + std::to_string(n) +
                                                                " unknowns and " + std::to_string(entries) + " entries");
}

void OwnSolver::finish_analysis(Clock::time_point t0) {
  choose_ordering(lower_->n);
  stats_.n = lower_->n;
  count_for_threads(threads_);
  stats_.analyse_seconds = seconds_since(t0);
}

void OwnSolver::analyse(const Pattern& pattern, const Options& options) {
  const auto t0 = Clock::now();
  const core::HeapReuse reuse;  // its arrays of the size of the pattern come and go
  start_analysis(options, pattern.n, static_cast<Index>(pattern.row.size()));
  detail::InputMatrix input = detail::input_matrix(pattern);
  lower_ = std::make_shared<const detail::Lower>(std::move(input.lower));
  slot_ = std::move(input.slot);
  finish_analysis(t0);
}

void OwnSolver::analyse_lower(std::shared_ptr<const LowerPattern> lower, const Options& options) {
  const auto t0 = Clock::now();
  const core::HeapReuse reuse;  // its arrays of the size of the pattern come and go
  if (!lower) throw std::invalid_argument("sparse engine: no pattern handed over");
  start_analysis(options, lower->n, static_cast<Index>(lower->row.size()));
  // The permuted copies and the places of the entries take fresh pages
  // (16 and 8 bytes an entry, the columns' starts 32 bytes an unknown).
  core::warm_heap(24 * static_cast<std::int64_t>(lower->row.size()) + 64 * lower->n, threads_ > 1);
  detail::check_lower(*lower);
  lower_ = std::move(lower);
  slot_ = {};
  finish_analysis(t0);
}

// The threads' subtrees and, with them, the counts and the memory of a factorisation.
void OwnSolver::count_for_threads(int threads) {
  threads_ = threads;
  subtrees_ = detail::subtree_schedule(plan_.fronts, threads_);
  const Index stored = static_cast<Index>(lower_->row.size());
  const detail::Counts c = detail::count_fronts(plan_.fronts, stored, subtrees_, threads_);
  stats_.matrix_entries = stored;
  stats_.factor_entries = c.factor_entries;
  stats_.flops = c.flops;
  // Held beside the fronts for every factorisation: the summed lower
  // triangle's pattern (on the lean route the program's one copy), the
  // slot of each input entry (none on the lean route), the permutation, and
  // per supernode its pivots, parent, rows, factor and entries (five words)
  // and the subtrees of the threads and of the solves.
  const std::int64_t input =
      8 * static_cast<std::int64_t>(lower_->ptr.size() + lower_->row.size() + slot_.size() + plan_.perm.size() +
                                    5 * (plan_.fronts.first.size()) + subtrees_.size() + 3 * split_.root.size());
  stats_.in_core_bytes = c.memory_bytes + input;
  stats_.out_of_core_bytes = c.out_of_core_bytes + input;
  stats_.disk_bytes = c.disk_bytes;
  stats_.memory_bytes = out_of_core() ? stats_.out_of_core_bytes : stats_.in_core_bytes;
}

std::unique_ptr<SparseSolver> OwnSolver::twin(int threads) const {
  if (plan_.fronts.nsuper == 0) return nullptr;
  auto t = std::make_unique<OwnSolver>();
  t->options_ = options_;
  t->options_.threads = threads;
  t->entries_ = entries_;
  t->lower_ = lower_;
  t->slot_ = slot_;
  t->plan_ = plan_;
  t->split_ = split_;
  t->stats_ = stats_;
  t->count_for_threads(std::max(threads, 1));
  return t;
}

// `incoming`: bytes of values handed over that become the solver's own.
void OwnSolver::check_memory(std::int64_t incoming) const {
  std::int64_t available = options_.memory_limit, held = incoming;
  std::string source = "the memory limit";
  if (available <= 0) {
    const core::MemoryRoom room = core::memory_room();
    available = room.bytes;
    source = room.source;
    // What this solver holds already counts as available to it.
    if (store_) held = 16 * plan_.fronts.factor_ptr.back();
    held += 16 * static_cast<std::int64_t>(values_.size());
    for (Index w : stacks_.words) held += 16 * w;
    for (const std::vector<zcomplex>& p : stacks_.panels) held += 16 * static_cast<std::int64_t>(p.size());
    if (available < 0) return;
    available += held;
  }
  if (stats_.memory_bytes <= available) return;
  const std::int64_t other = out_of_core() ? stats_.in_core_bytes : stats_.out_of_core_bytes;
  std::string advice;
  if (out_of_core()) advice = "; in core it would need " + gigabytes(other) + ", which does not fit either";
  else if (other <= available)
    advice = "; out of core (factors on disk, " + gigabytes(stats_.disk_bytes) + ") it needs " + gigabytes(other) +
             ", which fits: name a folder for the factors (--out-of-core DIR)";
  else advice = "; out of core it would need " + gigabytes(other) + ", which does not fit either";
  throw OutOfMemory(stats_.memory_bytes, available,
                    std::string("sparse engine: the factorisation ") + (out_of_core() ? "out of core " : "") +
                        "needs " + std::to_string(stats_.memory_bytes) + " bytes (" + gigabytes(stats_.memory_bytes) +
                        ") but " + std::to_string(available) + " bytes (" + gigabytes(available) +
                        ") are available (" + source + ")" + advice);
}

// The factor file is rewritten in place by every factorisation: its own
// size counts as free.
void OwnSolver::check_disk() const {
  std::int64_t free = detail::free_disk_bytes(options_.out_of_core_dir);
  if (free < 0) return;
  if (file_) free += file_->size_bytes();
  if (stats_.disk_bytes > free)
    throw DiskFull("sparse engine: the out-of-core factors need " + std::to_string(stats_.disk_bytes) + " bytes (" +
                   gigabytes(stats_.disk_bytes) + ") of disk but " + options_.out_of_core_dir + " has " +
                   std::to_string(free) + " bytes (" + gigabytes(free) +
                   ") free; free room there or name a folder on a larger disk");
}

void OwnSolver::factorise(std::span<const zcomplex> values) {
  if (plan_.fronts.nsuper == 0) throw std::logic_error("sparse engine: factorise before analyse");
  if (static_cast<Index>(values.size()) != entries_)
    throw std::invalid_argument("sparse engine: " + std::to_string(values.size()) + " values for a pattern of " +
                                std::to_string(entries_) + " entries, expected as many");
  check_memory(0);
  values_.assign(lower_->row.size(), zcomplex{0, 0});
  if (slot_.empty()) std::copy(values.begin(), values.end(), values_.begin());
  else
    for (std::size_t k = 0; k < values.size(); ++k) values_[slot_[k]] += values[k];
  factorise_summed();
}

void OwnSolver::factorise_owned(std::vector<zcomplex>&& values) {
  if (!slot_.empty()) {  // entries to be summed: the coordinate route
    factorise(values);
    return;
  }
  if (plan_.fronts.nsuper == 0) throw std::logic_error("sparse engine: factorise before analyse");
  if (static_cast<Index>(values.size()) != entries_)
    throw std::invalid_argument("sparse engine: " + std::to_string(values.size()) + " values for a pattern of " +
                                std::to_string(entries_) + " entries, expected as many");
  check_memory(16 * static_cast<std::int64_t>(values.size()));
  values_ = std::move(values);
  factorise_summed();
}

// The factorisation of the summed values in values_.
void OwnSolver::factorise_summed() {
  const auto t0 = Clock::now();
  // The largest modulus, in two halves side by side with two threads (a
  // maximum: the same whatever the split).
  double norms[2] = {0, 0};
  const std::size_t half = values_.size() / 2;
  auto largest = [&](std::size_t lo, std::size_t hi, double& out) {
    double norm = 0;
    for (std::size_t k = lo; k < hi; ++k) norm = std::max(norm, std::hypot(values_[k].re, values_[k].im));
    out = norm;
  };
  core::two_pieces(threads_ > 1 && half >= 4096, [&] { largest(0, half, norms[0]); },
                   [&] { largest(half, values_.size(), norms[1]); });
  const double norm = std::max(norms[0], norms[1]);
  const double tiny = std::sqrt(std::numeric_limits<double>::epsilon()) * (norm > 0 ? norm : 1.0);
  factorised_ = false;
  detail::FactorSink sink;
  if (out_of_core()) {
    check_disk();
    if (!file_)
      file_ = std::make_unique<detail::FactorFile>(detail::factor_file_path(options_.out_of_core_dir),
                                                   options_.out_of_core_write);
    sink.file = file_.get();
  } else {
    if (!store_) {
      const Index words = plan_.fronts.factor_ptr.back();
      store_ = std::make_unique<core::LargeArray<zcomplex>>(static_cast<std::size_t>(words));
      // The supernodes above the subtrees fill their part on one thread
      // while the kernels' threads wait: all pages are cleared on two first.
      if (threads_ > 1) core::touch_pages(store_->get(), 16 * words, true);
    }
    sink.store = store_->get();
  }
  const std::vector<detail::PivotChange> changes = detail::factorise_fronts(
      plan_.fronts, values_.data(), sink, tiny, subtrees_, threads_, stacks_, options_.progress);
  stats_.perturbed_pivots = static_cast<Index>(changes.size());
  detail::FactorBlocks blocks = factor_blocks();
  correction_.prepare(plan_.fronts, split_, blocks, changes, threads_);
  factorised_ = true;
  stats_.factorise_seconds = seconds_since(t0);
  stats_.held_bytes = held_bytes();
}

// The bytes of every array the solver holds once factorised, with a solve's
// read buffer out of core: what the memory plan must cover.
std::int64_t OwnSolver::held_bytes() const {
  const auto bytes = [](const auto& v) {
    return static_cast<std::int64_t>(v.capacity() * sizeof(typename std::decay_t<decltype(v)>::value_type));
  };
  const detail::Fronts& f = plan_.fronts;
  std::int64_t b = bytes(lower_->ptr) + bytes(lower_->row) + bytes(slot_) + bytes(values_) + bytes(plan_.perm) +
                   bytes(subtrees_) + bytes(split_.lo) + bytes(split_.root) + bytes(split_.order);
  for (const auto* v : {&f.first, &f.parent, &f.rows_ptr, &f.rows, &f.factor_ptr, &f.entry_source,
                        &f.entry_ptr})
    b += bytes(*v);
  b += bytes(f.up) + bytes(f.entry_place);
  if (store_) b += 16 * f.factor_ptr.back();
  if (file_) b += 16 * detail::read_buffer_words(f);
  for (Index w : stacks_.words) b += 16 * std::max<Index>(w, 1);
  for (const auto& v : stacks_.scratch) b += bytes(v);
  for (const auto& v : stacks_.panels) b += bytes(v);
  return b;
}

// In memory the subtrees and the parts of the block go to the threads:
// the same bits on any number of them.
void OwnSolver::solve_split(zcomplex* y, Index nrhs) const {
  detail::FactorBlocks blocks = factor_blocks();
  detail::solve_fronts(plan_.fronts, split_, blocks, y, nrhs, threads_);
}

// The block is permuted in place, a column at a time through one spare
// column, so that a block of vectors costs no second block.
void OwnSolver::plain_solve(zcomplex* b, Index nrhs) const {
  const Index n = plan_.fronts.n;
  std::vector<zcomplex> spare(static_cast<std::size_t>(n));
  for (Index r = 0; r < nrhs; ++r) {
    zcomplex* col = b + r * n;
    std::copy_n(col, n, spare.begin());
    for (Index k = 0; k < n; ++k) col[k] = spare[plan_.perm[k]];
  }
  solve_split(b, nrhs);
  if (correction_.active()) correction_.apply(b, n, nrhs);
  for (Index r = 0; r < nrhs; ++r) {
    zcomplex* col = b + r * n;
    std::copy_n(col, n, spare.begin());
    for (Index k = 0; k < n; ++k) col[plan_.perm[k]] = spare[k];
  }
}

// One sweep of the factor for the whole block; the refinement's steps then
// solve the unfinished ones of the first `refined` columns together.
void OwnSolver::solve_partly_refined(std::span<zcomplex> b, Index nrhs, Index refined) {
  if (!factorised_) throw std::logic_error("sparse engine: solve before a successful factorise");
  const Index n = plan_.fronts.n;
  if (nrhs < 0 || static_cast<Index>(b.size()) != n * nrhs)
    throw std::invalid_argument("sparse engine: a block of " + std::to_string(b.size()) + " values for " +
                                std::to_string(nrhs) + " right-hand sides of order " + std::to_string(n));
  if (refined < 0 || refined > nrhs)
    throw std::invalid_argument("sparse engine: " + std::to_string(refined) + " columns to refine in a block of " +
                                std::to_string(nrhs) + ", expected 0 to " + std::to_string(nrhs));
  const auto t0 = Clock::now();
  // The refinement's residuals want the right-hand sides.
  const std::vector<zcomplex> rhs(b.begin(), b.begin() + refined * n);
  plain_solve(b.data(), nrhs);
  stats_.refinement_steps = 0;
  if (refined > 0) refine(rhs.data(), b.data(), refined);
  stats_.solve_seconds = seconds_since(t0);
}

// Corrections from the residuals of all unfinished columns in one block;
// a column stops when its backward error reaches the unit roundoff or falls
// by less than half in a step (a step that makes it worse is undone).
//
// The residuals are solved in place: each step first packs those of the
// unfinished columns to the front of the block (slot i holds column
// active[i], and active[i] >= i, so ascending moves overwrite nothing still
// wanted). A trial solution is formed in its correction's slot and its
// residual in one spare vector, kept for the next step where the trial is
// taken; a column whose step is undone is finished and wants neither.
void OwnSolver::refine(const zcomplex* b, zcomplex* x, Index nrhs) {
  const Index n = plan_.fronts.n;
  const double eps = core::kUnitRoundoff;
  omega_.assign(static_cast<std::size_t>(nrhs), 0.0);
  std::vector<zcomplex> r(static_cast<std::size_t>(n * nrhs)), trial_r(static_cast<std::size_t>(n));
  std::vector<Index> active, slot(static_cast<std::size_t>(nrhs));  // slot[c]: where column c's residual lies
  for (Index c = 0; c < nrhs; ++c) {
    omega_[c] = detail::residual(*lower_, values_.data(), x + c * n, b + c * n, r.data() + c * n, threads_);
    slot[c] = c;
    if (omega_[c] > eps) active.push_back(c);
  }
  int steps = 0;
  while (!active.empty() && steps < options_.max_refinement_steps) {
    ++steps;
    const Index na = static_cast<Index>(active.size());
    for (Index i = 0; i < na; ++i) {
      if (slot[active[i]] != i) std::copy_n(r.data() + slot[active[i]] * n, n, r.data() + i * n);
      slot[active[i]] = i;
    }
    plain_solve(r.data(), na);
    std::vector<Index> unfinished;
    for (Index i = 0; i < na; ++i) {
      const Index c = active[i];
      zcomplex* trial = r.data() + i * n;
      for (Index k = 0; k < n; ++k) trial[k] = x[k + c * n] + trial[k];
      const double w = detail::residual(*lower_, values_.data(), trial, b + c * n, trial_r.data(), threads_);
      if (w >= omega_[c]) continue;
      std::copy_n(trial, n, x + c * n);
      std::copy_n(trial_r.data(), n, trial);
      if (w > eps && w <= 0.5 * omega_[c]) unfinished.push_back(c);
      omega_[c] = w;
    }
    active = std::move(unfinished);
  }
  stats_.refinement_steps = steps;
  stats_.backward_error = 0;
  for (double w : omega_) stats_.backward_error = std::max(stats_.backward_error, w);
}

}  // namespace

std::unique_ptr<SparseSolver> make_solver(Backend backend) {
  if (backend == Backend::own) return std::make_unique<OwnSolver>();
#ifdef UPSCALE_HAVE_MUMPS
  return make_mumps_solver();
#else
  throw std::runtime_error("sparse engine: the backend \"mumps\" is not in this build (configure with UPSCALE_HAVE_MUMPS)");
#endif
}

}  // namespace engine
