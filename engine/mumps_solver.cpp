#include "engine/mumps_solver.hpp"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "engine/mpi_job.hpp"
#include "engine/mumps_backend.hpp"
#include "engine/mumps_errors.hpp"
#include "engine/mumps_support.hpp"

namespace engine {

namespace {

constexpr double kMumpsMegabyte = 1e6;  // MUMPS counts memory in units of 10^6 bytes

// MUMPS writes counts beyond 2^31 as minus the count in millions.
Index mumps_count(int value) { return value >= 0 ? Index{value} : Index{-value} * 1000000; }

const char* ordering_name(int code) {
  switch (code) {
    case 0: return "AMD";
    case 1: return "given";
    case 2: return "AMF";
    case 3: return "SCOTCH";
    case 4: return "PORD";
    case 5: return "METIS";
    case 6: return "QAMD";
    default: return "automatic";
  }
}

}  // namespace

namespace {

// A program that did not start MPI itself (a single process, not under
// mpirun) gets it started here and ended when the program ends.
void ensure_mpi() {
  int started = 0;
  MPI_Initialized(&started);
  if (started) return;
  MPI_Init(nullptr, nullptr);
  std::atexit([] {
    int finished = 0;
    MPI_Finalized(&finished);
    if (!finished) MPI_Finalize();
  });
}

}  // namespace

MumpsSolver::MumpsSolver() {
  ensure_mpi();
  MPI_Comm_dup(MPI_COMM_WORLD, &comm_);
  MPI_Comm_rank(comm_, &rank_);
  MPI_Comm_size(comm_, &size_);
  id_.comm_fortran = static_cast<MUMPS_INT>(MPI_Comm_c2f(comm_));
  id_.par = 1;  // rank 0 takes part in the work
  id_.sym = 2;  // general symmetric: complex symmetric, not Hermitian
  call(-1, "initialisation");
  icntl(1) = -1;  // MUMPS prints nothing: its errors come back as exceptions
  icntl(2) = -1;
  icntl(3) = -1;
  icntl(4) = 0;
}

MumpsSolver::~MumpsSolver() {
  int finished = 0;
  MPI_Finalized(&finished);
  // Ending MUMPS is collective: a rank unwinding alone (its own check
  // failed) leaves it to the end of the job instead of waiting for the others.
  if (finished || (std::uncaught_exceptions() > 0 && !failed_together_)) return;
  id_.job = -2;
  zmumps_c(&id_);
  MPI_Comm_free(&comm_);
}

void MumpsSolver::call(int job, const char* phase) {
  mpi::PhaseScope scope(phase);
  id_.job = job;
  zmumps_c(&id_);
  if (infog(1) < 0) {
    failed_together_ = true;
    throw mumps_error(phase, infog(1), infog(2), info(1), info(2), rank_);
  }
}

void MumpsSolver::set_controls(const Options& options) {
  icntl(5) = 0;   // assembled matrix
  icntl(18) = 3;  // each rank hands over its own entries
  icntl(20) = 0;  // dense right-hand sides
  icntl(21) = 0;  // solution gathered on rank 0
  const OrderingChoice choice = mumps_ordering(options.ordering);
  icntl(28) = choice.icntl28;
  icntl(7) = choice.icntl7;
  icntl(29) = choice.icntl29;
  if (options.threads > 0) icntl(16) = options.threads;
  max_refinement_steps_ = std::max(0, options.max_refinement_steps);
  out_of_core_ = !options.out_of_core_dir.empty();
  icntl(22) = out_of_core_ ? 1 : 0;
  if (out_of_core_) set_out_of_core(options.out_of_core_dir);
}

void MumpsSolver::set_out_of_core(const std::string& dir) {
  check_out_of_core_dir(dir);
  if (dir.size() >= sizeof(id_.ooc_tmpdir))
    throw std::invalid_argument("out-of-core folder '" + dir + "': the path has " + std::to_string(dir.size()) +
                                " characters, MUMPS takes at most " + std::to_string(sizeof(id_.ooc_tmpdir) - 1));
  std::memset(id_.ooc_tmpdir, 0, sizeof(id_.ooc_tmpdir));
  std::memcpy(id_.ooc_tmpdir, dir.data(), dir.size());
}

void MumpsSolver::analyse(const Pattern& pattern, const Options& options) {
  mpi::PhaseScope scope("analysis");
  check_pattern(pattern, rank_, comm_);
  irn_.resize(pattern.row.size());
  jcn_.resize(pattern.col.size());
  for (std::size_t e = 0; e < irn_.size(); ++e) {
    irn_[e] = static_cast<MUMPS_INT>(pattern.row[e] + 1);
    jcn_[e] = static_cast<MUMPS_INT>(pattern.col[e] + 1);
  }
  set_controls(options);
  id_.n = static_cast<MUMPS_INT>(pattern.n);
  id_.nnz_loc = static_cast<MUMPS_INT8>(irn_.size());
  id_.irn_loc = irn_.data();
  id_.jcn_loc = jcn_.data();
  id_.a_loc = nullptr;
  const double start = MPI_Wtime();
  call(1, "analysis");
  analysed_ = true;
  factorised_ = false;

  stats_ = Statistics{};
  stats_.n = pattern.n;
  long long local = static_cast<long long>(irn_.size()), total = 0;
  MPI_Allreduce(&local, &total, 1, MPI_LONG_LONG, MPI_SUM, comm_);
  stats_.matrix_entries = total;
  stats_.factor_entries = estimated_factor_entries();
  stats_.flops = estimated_flops();
  memory_needed_ = static_cast<std::int64_t>((out_of_core_ ? info(17) : info(15)) * kMumpsMegabyte);
  stats_.memory_bytes = memory_needed_;
  stats_.ordering = std::string("MUMPS ") + (infog(7) >= 0 ? ordering_name(infog(7)) : "parallel");
  if (icntl(28) == 2) stats_.ordering += " (parallel analysis)";
  stats_.analyse_seconds = MPI_Wtime() - start;
  check_memory(options);
}

Index MumpsSolver::estimated_factor_entries() const { return mumps_count(infog(20)); }

std::vector<std::int64_t> MumpsSolver::memory_per_rank(bool out_of_core) const {
  long long mine = static_cast<long long>((out_of_core ? info(17) : info(15)) * kMumpsMegabyte);
  std::vector<long long> all(static_cast<std::size_t>(size_));
  MPI_Allgather(&mine, 1, MPI_LONG_LONG, all.data(), 1, MPI_LONG_LONG, comm_);
  return {all.begin(), all.end()};
}

void MumpsSolver::check_memory(const Options& options) {
  const MemoryVerdict v = memory_verdict(memory_needed_, options.memory_limit, comm_);
  if (v.failed_rank < 0) return;
  failed_together_ = true;
  throw OutOfMemory(v.needed, v.available, v.message + (out_of_core_ ? "" : ", or --out-of-core DIR"));
}

void MumpsSolver::check_values(std::span<const zcomplex> values) const {
  if (!analysed_) throw std::logic_error("factorise called before analyse");
  if (values.size() != irn_.size())
    throw std::invalid_argument("rank " + std::to_string(rank_) + " hands over " + std::to_string(values.size()) +
                                " matrix values, its pattern has " + std::to_string(irn_.size()) + " entries");
}

void MumpsSolver::factorise(std::span<const zcomplex> values) {
  mpi::PhaseScope scope("factorisation");
  check_values(values);
  a_.resize(values.size());
  for (std::size_t e = 0; e < values.size(); ++e) a_[e] = {values[e].re, values[e].im};
  factorise_values(a_.data());
}

// The two layouts agree (two doubles, real part first), so MUMPS reads the
// caller's values where they are; it only reads them (A_loc is input).
void MumpsSolver::factorise_kept(std::span<const zcomplex> values) {
  static_assert(sizeof(zcomplex) == sizeof(mumps_double_complex) && offsetof(zcomplex, re) == 0 &&
                offsetof(zcomplex, im) == sizeof(double) && offsetof(mumps_double_complex, r) == 0 &&
                offsetof(mumps_double_complex, i) == sizeof(double));
  mpi::PhaseScope scope("factorisation");
  check_values(values);
  std::vector<mumps_double_complex>().swap(a_);  // a copy of an earlier factorisation is not needed
  factorise_values(reinterpret_cast<mumps_double_complex*>(const_cast<zcomplex*>(values.data())));
}

void MumpsSolver::factorise_values(mumps_double_complex* values) {
  id_.a_loc = values;
  const double start = MPI_Wtime();
  // A work array found too small (pivots delayed beyond the analysis's
  // estimate) is retried twice with double the relaxation.
  for (int attempt = 0;; ++attempt) {
    try {
      call(2, "factorisation");
      break;
    } catch (const MumpsError& e) {
      if (attempt == 2 || (e.code != -8 && e.code != -9)) throw;
      icntl(14) = 2 * std::max(icntl(14), 20);
    }
  }
  factorised_ = true;
  stats_.factorise_seconds = MPI_Wtime() - start;
  record_factorisation();
}

void MumpsSolver::record_factorisation() {
  stats_.factor_entries = mumps_count(infog(29));
  stats_.flops = id_.rinfog[2];
  stats_.memory_bytes = static_cast<std::int64_t>(info(22) * kMumpsMegabyte);
  stats_.perturbed_pivots = infog(25);
}

void MumpsSolver::solve(std::span<zcomplex> b, Index nrhs, bool refine) {
  mpi::PhaseScope scope("solve");
  if (!factorised_) throw std::logic_error("solve called before factorise");
  check_right_hand_sides(b, stats_.n, nrhs, rank_, comm_);
  const double start = MPI_Wtime();
  solve_columns(b, nrhs, refine);
  stats_.solve_seconds = MPI_Wtime() - start;
}

// Refinement and its error analysis run one right-hand side at a time (MUMPS
// refines a single column); the plain solve takes the whole block at once.
void MumpsSolver::solve_columns(std::span<zcomplex> b, Index nrhs, bool refine) {
  static_assert(sizeof(zcomplex) == sizeof(mumps_double_complex));
  const Index n = stats_.n;
  const Index calls = refine ? nrhs : (nrhs > 0 ? 1 : 0);
  // At most the allowed steps, stopping when the backward error reaches the
  // rounding level or stops falling (CNTL(2) left at its sqrt(eps) default
  // would stop at 1e-8). The backward error reported for a column is
  // omega1 + omega2 (Arioli, Demmel and Duff): the componentwise one, with
  // the rows whose |A||x| + |b| is tiny measured against ||A_i|| ||x||.
  icntl(10) = refine ? max_refinement_steps_ : 0;
  id_.cntl[1] = 1e-16;
  icntl(11) = refine ? 2 : 0;  // omega1, omega2 without condition numbers
  backward_errors_.assign(refine ? static_cast<std::size_t>(nrhs) : 0, 0.0);
  stats_.refinement_steps = 0;
  for (Index c = 0; c < calls; ++c) {
    id_.nrhs = static_cast<MUMPS_INT>(refine ? 1 : nrhs);
    id_.lrhs = static_cast<MUMPS_INT>(n);
    id_.rhs = rank_ == 0 ? reinterpret_cast<mumps_double_complex*>(b.data() + c * n) : nullptr;
    call(3, "solve");
    if (!refine) continue;
    double omega[2] = {id_.rinfog[6], id_.rinfog[7]};
    int steps = infog(15);
    MPI_Bcast(omega, 2, MPI_DOUBLE, 0, comm_);
    MPI_Bcast(&steps, 1, MPI_INT, 0, comm_);
    backward_errors_[static_cast<std::size_t>(c)] = omega[0] + omega[1];
    stats_.refinement_steps = std::max(stats_.refinement_steps, steps);
  }
  stats_.backward_error =
      backward_errors_.empty() ? 0.0 : *std::max_element(backward_errors_.begin(), backward_errors_.end());
}

std::unique_ptr<SparseSolver> make_mumps_solver() { return std::make_unique<MumpsSolver>(); }

}  // namespace engine
