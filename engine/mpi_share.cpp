#include "engine/mpi_share.hpp"

#include <mpi.h>

#include <stdexcept>
#include <string>

namespace engine::mpi {

namespace {

class SharedByRank final : public SparseSolver {
 public:
  explicit SharedByRank(std::unique_ptr<SparseSolver> inner) : inner_(std::move(inner)) {
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
  }
  void analyse(const Pattern& pattern, const Options& options) override {
    const std::size_t m = pattern.row.size();
    first_ = m * static_cast<std::size_t>(rank_) / static_cast<std::size_t>(size_);
    count_ = m * static_cast<std::size_t>(rank_ + 1) / static_cast<std::size_t>(size_) - first_;
    whole_ = m;
    Pattern mine;
    mine.n = pattern.n;
    mine.row.assign(pattern.row.begin() + static_cast<std::ptrdiff_t>(first_),
                    pattern.row.begin() + static_cast<std::ptrdiff_t>(first_ + count_));
    mine.col.assign(pattern.col.begin() + static_cast<std::ptrdiff_t>(first_),
                    pattern.col.begin() + static_cast<std::ptrdiff_t>(first_ + count_));
    inner_->analyse(mine, options);
  }
  std::int64_t memory_needed() const override { return inner_->memory_needed(); }
  void factorise(std::span<const zcomplex> values) override {
    if (values.size() != whole_)
      throw std::invalid_argument("rank " + std::to_string(rank_) + " hands over " + std::to_string(values.size()) +
                                  " matrix values, the whole pattern has " + std::to_string(whole_));
    inner_->factorise(values.subspan(first_, count_));
  }
  void solve(std::span<zcomplex> b, Index nrhs, bool refine) override {
    inner_->solve(rank_ == 0 ? b : std::span<zcomplex>{}, nrhs, refine);
  }
  const Statistics& statistics() const override { return inner_->statistics(); }
  std::vector<double> backward_errors() const override { return inner_->backward_errors(); }

 private:
  std::unique_ptr<SparseSolver> inner_;
  int rank_ = 0, size_ = 1;
  std::size_t first_ = 0, count_ = 0, whole_ = 0;
};

}  // namespace

std::unique_ptr<SparseSolver> share_by_rank(std::unique_ptr<SparseSolver> distributed) {
  return std::make_unique<SharedByRank>(std::move(distributed));
}

}  // namespace engine::mpi
