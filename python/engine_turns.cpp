#include "python/engine_turns.hpp"

#include <chrono>
#include <mutex>

namespace upscale_py {

namespace {

std::timed_mutex& engine_lock() {
  static std::timed_mutex m;
  return m;
}

class TurnTakingSolver final : public engine::SparseSolver {
 public:
  TurnTakingSolver(std::unique_ptr<engine::SparseSolver> s, std::function<void()> poll)
      : solver_(std::move(s)), poll_(std::move(poll)) {}
  void analyse(const engine::Pattern& p, const engine::Options& o) override {
    const std::unique_lock<std::timed_mutex> turn = wait();
    solver_->analyse(p, o);
  }
  std::int64_t memory_needed() const override { return solver_->memory_needed(); }
  void factorise(std::span<const engine::zcomplex> values) override {
    const std::unique_lock<std::timed_mutex> turn = wait();
    solver_->factorise(values);
  }
  void solve(std::span<engine::zcomplex> b, engine::Index nrhs, bool refine) override {
    const std::unique_lock<std::timed_mutex> turn = wait();
    solver_->solve(b, nrhs, refine);
  }
  const engine::Statistics& statistics() const override { return solver_->statistics(); }
  std::vector<double> backward_errors() const override { return solver_->backward_errors(); }

 private:
  std::unique_lock<std::timed_mutex> wait() {
    std::unique_lock<std::timed_mutex> turn(engine_lock(), std::defer_lock);
    while (!turn.try_lock_for(std::chrono::milliseconds(50)))
      if (poll_) poll_();
    return turn;
  }
  std::unique_ptr<engine::SparseSolver> solver_;
  std::function<void()> poll_;
};

}  // namespace

std::unique_ptr<engine::SparseSolver> taking_turns(std::unique_ptr<engine::SparseSolver> solver,
                                                   std::function<void()> poll) {
  return std::make_unique<TurnTakingSolver>(std::move(solver), std::move(poll));
}

}  // namespace upscale_py
