#include "tensor/mpi_run.hpp"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/memory_room.hpp"
#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"

#include "engine/own_plan.hpp"
#include "tensor/failure_status.hpp"
#include "tensor/rank_agreement.hpp"
#include "tensor/run.hpp"

#ifdef UPSCALE_HAVE_MUMPS
#include "engine/mpi_job.hpp"
#include "engine/mumps_plan.hpp"
#include <mpi.h>
#endif

namespace tensor {

namespace {
JobRanks& ranks_slot() {
  static JobRanks r;
  return r;
}
// Set when every rank of the job has raised an exception at one agreement
// point (all_ranks_pass): the job can end in order, without MPI's abort.
bool& failed_together_slot() {
  static bool together = false;
  return together;
}
// The plan printed so far reaches standard output, or the run fails saying so
// (a plan sent to a full disk is lost, not a success).
void flush_plan() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw std::runtime_error(std::string("the plan could not be written to standard output: ") + std::strerror(errno));
}

}  // namespace

const JobRanks& job_ranks() { return ranks_slot(); }

CellRows band_of_rank(int64_t ny) {
  const JobRanks& r = job_ranks();
  return {static_cast<int64_t>(r.rank) * ny / r.size + 1, static_cast<int64_t>(r.rank + 1) * ny / r.size};
}

#ifdef UPSCALE_HAVE_MUMPS

bool runs_as_job(const Options& o) { return o.solver == SolverChoice::mumps || o.plan; }

// A refused input ends every rank the same way (each reads the same input):
// the job finishes normally and rank 0 alone says why. A job of one rank
// (a plan, or a run not under mpirun) never goes through MPI's abort.
// Only rank 0 ends with the refusal's status: mpirun ends the whole job as
// soon as any rank exits non-zero, and rank 0, stopped by that signal while
// it still ends, would replace its record of the refusal by one of the
// signal. The other ranks end with 0 and leave the job's status to rank 0.
int run_as_job(int& argc, char**& argv, const Options& o) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::optional<core::StopError> refusal;
  std::exception_ptr failure;
  const int status = engine::mpi::run_job(argc, argv, [&](engine::mpi::Ranks r) {
    ranks_slot() = {r.rank, r.size};
    std::vector<std::string> files{o.input};
    if (!o.labels_file.empty()) files.push_back(o.labels_file);
    if (const int disagree = ranks_agree(job_digest(args, files)); disagree != 0) return r.rank == 0 ? disagree : 0;
    const engine::mpi::PhaseScope phase("the run of tensor_upscale");
    try {
      return run(o);
    } catch (const core::StopError& e) {
      refusal = e;
      return r.rank == 0 ? e.code() & 0xff : 0;
    } catch (const std::exception& e) {
      if (r.size > 1 && !failed_together_slot()) throw;  // this rank alone: the job is aborted
      failure = std::current_exception();
      return r.rank == 0 ? failure_status(e) : 0;
    }
  });
  if (refusal && job_ranks().rank == 0) throw *refusal;
  if (failure && job_ranks().rank == 0) std::rethrow_exception(failure);
  return status;
}

namespace {

// The outcome of one rank's step: its status and message, "" when it passed.
struct StepOutcome {
  std::exception_ptr error;
  int status = 0;
  std::string text;
};

StepOutcome run_step(const std::function<void()>& step) {
  StepOutcome out;
  try {
    step();
  } catch (const core::StopError& e) {
    out = {std::current_exception(), e.code() & 0xff, e.what()};
  } catch (const std::exception& e) {
    out = {std::current_exception(), failure_status(e), failure_message(e)};
  }
  return out;
}

// The failing rank's exception as rank 0 reports it, its status kept.
[[noreturn]] void raise_other(int rank, int size, int status, const std::string& text) {
  const std::string what = "rank " + std::to_string(rank) + " of " + std::to_string(size) + ": " + text;
  if (status == core::kStopOutOfMemory) throw core::MemoryShort(0, 0, what);
  if (status != 1) throw core::StopError(core::StopError::Kind::fail, status, what, "");
  throw std::runtime_error(what);
}

}  // namespace

void all_ranks_pass(const std::function<void()>& step) {
  StepOutcome out = run_step(step);
  const JobRanks& r = job_ranks();
  if (r.size == 1) {
    if (out.error) std::rethrow_exception(out.error);
    return;
  }
  int mine = out.error ? r.rank : r.size, first = r.size;
  MPI_Allreduce(&mine, &first, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
  if (first == r.size) return;
  // The first failing rank's status and message reach every rank.
  long long head[2] = {out.status, static_cast<long long>(out.text.size())};
  MPI_Bcast(head, 2, MPI_LONG_LONG, first, MPI_COMM_WORLD);
  std::string text = out.text;
  text.resize(static_cast<std::size_t>(head[1]));
  MPI_Bcast(text.data(), static_cast<int>(head[1]), MPI_CHAR, first, MPI_COMM_WORLD);
  failed_together_slot() = true;
  if (out.error) std::rethrow_exception(out.error);
  raise_other(first, r.size, static_cast<int>(head[0]), text);
}

namespace {

// One rank's refusal as the other ranks rebuild it: what kind of exception,
// its status or stop code, and its words.
struct Refusal {
  long long kind = 0;  // 0 a plain failure, 1 a stop, 2 a failure with a stop code
  long long status = 0;
  std::string message, why;
};

Refusal refusal_of(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const core::StopError& e) {
    return {e.kind() == core::StopError::Kind::stop ? 1 : 2, e.code(), e.message(), e.why()};
  } catch (const std::exception& e) {
    return {0, failure_status(e), failure_message(e), ""};
  }
}

void broadcast_text(std::string& text, int from) {
  long long size = static_cast<long long>(text.size());
  MPI_Bcast(&size, 1, MPI_LONG_LONG, from, MPI_COMM_WORLD);
  text.resize(static_cast<std::size_t>(size));
  MPI_Bcast(text.data(), static_cast<int>(size), MPI_CHAR, from, MPI_COMM_WORLD);
}

[[noreturn]] void raise_refusal(const Refusal& r) {
  if (r.kind != 0)
    throw core::StopError(r.kind == 1 ? core::StopError::Kind::stop : core::StopError::Kind::fail,
                          static_cast<int>(r.status), r.message, r.why);
  if (r.status == core::kStopOutOfMemory) throw core::MemoryShort(0, 0, r.message);
  throw std::runtime_error(r.message);
}

}  // namespace

void ranks_refuse_as_one(const std::function<void()>& step) {
  std::exception_ptr error;
  try {
    step();
  } catch (const std::exception&) {
    error = std::current_exception();
  }
  const JobRanks& r = job_ranks();
  if (r.size == 1) {
    if (error) std::rethrow_exception(error);
    return;
  }
  int mine = error ? r.rank : -1, last = -1;
  MPI_Allreduce(&mine, &last, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  if (last < 0) return;
  const Refusal own = error ? refusal_of(error) : Refusal{};
  Refusal chosen = own;
  long long head[2] = {own.kind, own.status};
  MPI_Bcast(head, 2, MPI_LONG_LONG, last, MPI_COMM_WORLD);
  chosen.kind = head[0], chosen.status = head[1];
  broadcast_text(chosen.message, last);
  broadcast_text(chosen.why, last);
  failed_together_slot() = true;
  // A rank that met the same refusal ends with its own exception.
  if (error && own.kind == chosen.kind && own.status == chosen.status && own.message == chosen.message &&
      own.why == chosen.why)
    std::rethrow_exception(error);
  raise_refusal(chosen);
}

void broadcast_from_leader(std::span<double> v) {
  if (job_ranks().size == 1) return;
  constexpr std::size_t kChunk = std::size_t{1} << 27;  // doubles a call: counts stay within int
  for (std::size_t at = 0; at < v.size(); at += kChunk)
    MPI_Bcast(v.data() + at, static_cast<int>(std::min(kChunk, v.size() - at)), MPI_DOUBLE, 0, MPI_COMM_WORLD);
}

void broadcast_from_leader(std::span<zcomplex> v) {
  broadcast_from_leader(std::span<double>(reinterpret_cast<double*>(v.data()), 2 * v.size()));
}

void sum_over_ranks(std::span<double> v) {
  if (job_ranks().size == 1 || v.empty()) return;
  MPI_Allreduce(MPI_IN_PLACE, v.data(), static_cast<int>(v.size()), MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
}

double least_over_ranks(double v) {
  if (job_ranks().size == 1) return v;
  double least = v;
  MPI_Allreduce(&v, &least, 1, MPI_DOUBLE, MPI_MIN, MPI_COMM_WORLD);
  return least;
}

std::vector<double> gather_on_all(const std::vector<double>& v) {
  const JobRanks& r = job_ranks();
  if (r.size == 1) return v;
  const int mine = static_cast<int>(v.size());
  std::vector<int> counts(static_cast<std::size_t>(r.size)), starts(static_cast<std::size_t>(r.size));
  MPI_Allgather(&mine, 1, MPI_INT, counts.data(), 1, MPI_INT, MPI_COMM_WORLD);
  int total = 0;
  for (std::size_t i = 0; i < counts.size(); ++i) starts[i] = total, total += counts[i];
  std::vector<double> all(static_cast<std::size_t>(total));
  MPI_Allgatherv(v.data(), mine, MPI_DOUBLE, all.data(), counts.data(), starts.data(), MPI_DOUBLE, MPI_COMM_WORLD);
  return all;
}

void sum_on_leader(std::span<double> v) {
  if (job_ranks().size == 1) return;
  constexpr std::size_t kChunk = std::size_t{1} << 27;  // doubles a call: counts stay within int
  for (std::size_t at = 0; at < v.size(); at += kChunk) {
    const int count = static_cast<int>(std::min(kChunk, v.size() - at));
    if (job_ranks().rank == 0)
      MPI_Reduce(MPI_IN_PLACE, v.data() + at, count, MPI_DOUBLE, MPI_SUM, 0, MPI_COMM_WORLD);
    else
      MPI_Reduce(v.data() + at, nullptr, count, MPI_DOUBLE, MPI_SUM, 0, MPI_COMM_WORLD);
  }
}

void sum_on_leader(std::span<zcomplex> v) {
  sum_on_leader(std::span<double>(reinterpret_cast<double*>(v.data()), 2 * v.size()));
}

std::string first_text_over_ranks(const std::string& mine) {
  const JobRanks& r = job_ranks();
  if (r.size == 1) return mine;
  int own = mine.empty() ? r.size : r.rank, first = r.size;
  MPI_Allreduce(&own, &first, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
  if (first == r.size) return "";
  std::string text = mine;
  broadcast_text(text, first);
  return text;
}

// Each rank assembles its own band's entries: the backend takes them as they are.
std::unique_ptr<engine::SparseSolver> make_backend(engine::Backend backend) { return engine::make_solver(backend); }

#else

bool runs_as_job(const Options&) { return false; }

void all_ranks_pass(const std::function<void()>& step) { step(); }

void sum_on_leader(std::span<zcomplex>) {}
void sum_on_leader(std::span<double>) {}
void broadcast_from_leader(std::span<zcomplex>) {}
void broadcast_from_leader(std::span<double>) {}
std::string first_text_over_ranks(const std::string& mine) { return mine; }
void sum_over_ranks(std::span<double>) {}
double least_over_ranks(double v) { return v; }
std::vector<double> gather_on_all(const std::vector<double>& v) { return v; }
void ranks_refuse_as_one(const std::function<void()>& step) { step(); }

int run_as_job(int&, char**&, const Options& o) { return run(o); }

std::unique_ptr<engine::SparseSolver> make_backend(engine::Backend backend) {
  if (backend == engine::Backend::mumps)
    throw std::runtime_error(
        "--solver mumps: this build has no MUMPS backend (it needs MPI and libmumps-dev when configured); "
        "use --solver own");
  return engine::make_solver(backend);
}

#endif

void print_plans(int64_t nx, int64_t ny, double h, engine::Options options) {
  if (leads_output()) {
    // The own engine orders the whole grid on one rank.
    const GridSystem grid(nx, ny, h, PatternLayout::engine_lower);
    options.grid = &grid.places;
    std::unique_ptr<engine::SparseSolver> own = engine::make_solver(engine::Backend::own);
    own->analyse_lower(grid.lower, options);
    options.grid = nullptr;
    std::printf("grid of %lld x %lld cells, %lld unknowns\n", static_cast<long long>(grid.nx),
                static_cast<long long>(grid.ny), static_cast<long long>(grid.n));
    engine::print_own_plan(stdout, *own, bytes_beside_engine(nx, ny));
    flush_plan();
  }
#ifdef UPSCALE_HAVE_MUMPS
  // This rank's band, as the run hands it over.
  const CellRows band = band_of_rank(ny);
  const GridSystem mine(nx, ny, h, band.first, band.last);
  const engine::MumpsPlan plan = engine::plan_mumps(mine.pattern, options);
  if (leads_output()) engine::print_plan(stdout, plan), flush_plan();
#else
  std::printf("MUMPS plan: not in this build (the MUMPS backend needs MPI and libmumps-dev)\n");
#endif
}

}  // namespace tensor
