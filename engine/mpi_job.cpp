#include "engine/mpi_job.hpp"

#include <mpi.h>

#include <cstdio>
#include <exception>
#include <utility>

namespace engine::mpi {

namespace {
std::string& phase_slot() {
  static std::string phase = "start-up";
  return phase;
}
// The phase an exception escaped from, "" while none has.
std::string& failed_phase_slot() {
  static std::string phase;
  return phase;
}
}  // namespace

const std::string& current_phase() { return phase_slot(); }

PhaseScope::PhaseScope(std::string phase)
    : previous_(std::exchange(phase_slot(), std::move(phase))), exceptions_(std::uncaught_exceptions()) {
  if (exceptions_ == 0) failed_phase_slot().clear();  // earlier failures were handled
}

PhaseScope::~PhaseScope() {
  if (std::uncaught_exceptions() > exceptions_ && failed_phase_slot().empty()) failed_phase_slot() = phase_slot();
  phase_slot() = std::move(previous_);
}

int run_job(int& argc, char**& argv, const std::function<int(Ranks)>& body) {
  MPI_Init(&argc, &argv);
  Ranks r;
  MPI_Comm_rank(MPI_COMM_WORLD, &r.rank);
  MPI_Comm_size(MPI_COMM_WORLD, &r.size);
  const char* program = argc > 0 ? argv[0] : "program";
  int status = 0;
  try {
    status = body(r);
  } catch (const std::exception& e) {
    const std::string& phase = failed_phase_slot().empty() ? current_phase() : failed_phase_slot();
    std::fprintf(stderr, "%s: rank %d of %d failed during %s: %s\n", program, r.rank, r.size, phase.c_str(),
                 e.what());
    std::fflush(stderr);
    MPI_Abort(MPI_COMM_WORLD, 1);
  }
  MPI_Finalize();
  return status;
}

}  // namespace engine::mpi
