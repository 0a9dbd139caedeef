#include "tensor/mpi_run.hpp"

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/stop_error.hpp"

#include "engine/own_plan.hpp"
#include "tensor/run.hpp"

#ifdef UPSCALE_HAVE_MUMPS
#include "engine/mpi_job.hpp"
#include "engine/mpi_share.hpp"
#include "engine/mumps_plan.hpp"
#endif

namespace tensor {

namespace {
JobRanks& ranks_slot() {
  static JobRanks r;
  return r;
}
}  // namespace

const JobRanks& job_ranks() { return ranks_slot(); }

#ifdef UPSCALE_HAVE_MUMPS

bool runs_as_job(const Options& o) { return o.solver == SolverChoice::mumps || o.plan; }

// A refused input ends every rank the same way (each reads the same input):
// the job finishes normally and rank 0 alone says why. A job of one rank
// (a plan, or a run not under mpirun) never goes through MPI's abort.
int run_as_job(int& argc, char**& argv, const Options& o) {
  std::optional<core::StopError> refusal;
  std::string failure;
  const int status = engine::mpi::run_job(argc, argv, [&](engine::mpi::Ranks r) {
    ranks_slot() = {r.rank, r.size};
    const engine::mpi::PhaseScope phase("the run of tensor_upscale");
    try {
      return run(o);
    } catch (const core::StopError& e) {
      refusal = e;
      return e.code() & 0xff;
    } catch (const std::exception& e) {
      if (r.size > 1) throw;
      failure = e.what();
      return 1;
    }
  });
  if (refusal && job_ranks().rank == 0) throw *refusal;
  if (!failure.empty()) throw std::runtime_error(failure);
  return status;
}

std::unique_ptr<engine::SparseSolver> make_backend(engine::Backend backend) {
  if (backend == engine::Backend::own) return engine::make_solver(backend);
  return engine::mpi::share_by_rank(engine::make_solver(backend));
}

#else

bool runs_as_job(const Options&) { return false; }

int run_as_job(int&, char**&, const Options& o) { return run(o); }

std::unique_ptr<engine::SparseSolver> make_backend(engine::Backend backend) {
  if (backend == engine::Backend::mumps)
    throw std::runtime_error(
        "--solver mumps: this build has no MUMPS backend (it needs MPI and libmumps-dev when configured); "
        "use --solver own");
  return engine::make_solver(backend);
}

#endif

void print_plans(const GridSystem& grid, engine::Options options) {
  options.grid = &grid.places;
  if (leads_output()) {
    std::unique_ptr<engine::SparseSolver> own = engine::make_solver(engine::Backend::own);
    own->analyse(grid.pattern, options);
    std::printf("grid of %lld x %lld cells, %lld unknowns\n", static_cast<long long>(grid.nx),
                static_cast<long long>(grid.ny), static_cast<long long>(grid.n));
    engine::print_own_plan(stdout, *own);
    std::fflush(stdout);
  }
#ifdef UPSCALE_HAVE_MUMPS
  // This rank's contiguous slice of the pattern, as the run hands it over.
  const JobRanks& r = job_ranks();
  const std::size_t m = grid.pattern.row.size();
  const auto first = static_cast<std::ptrdiff_t>(m * static_cast<std::size_t>(r.rank) / static_cast<std::size_t>(r.size));
  const auto last = static_cast<std::ptrdiff_t>(m * static_cast<std::size_t>(r.rank + 1) / static_cast<std::size_t>(r.size));
  engine::Pattern mine;
  mine.n = grid.pattern.n;
  mine.row.assign(grid.pattern.row.begin() + first, grid.pattern.row.begin() + last);
  mine.col.assign(grid.pattern.col.begin() + first, grid.pattern.col.begin() + last);
  const engine::MumpsPlan plan = engine::plan_mumps(mine, options);
  if (leads_output()) engine::print_plan(stdout, plan);
#else
  std::printf("MUMPS plan: not in this build (the MUMPS backend needs MPI and libmumps-dev)\n");
#endif
}

}  // namespace tensor
