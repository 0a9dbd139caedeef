// A program run as one MPI job: every rank runs the same body; an exception
// on any rank prints one line naming the rank and the phase it was in, then
// ends the whole job (MPI_Abort), so that no other rank waits forever in a
// collective step the failed rank will never reach.
#pragma once

#include <functional>
#include <string>
#include <utility>

namespace engine::mpi {

// The phase this rank is in ("analysis", "factorisation", "solve", or a
// program's own step), named in the failure message.
const std::string& current_phase();

// Sets the phase for its lifetime and restores the previous one after; an
// exception leaving the scope keeps the innermost phase it left as the one
// a failure message names.
class PhaseScope {
 public:
  explicit PhaseScope(std::string phase);
  ~PhaseScope();
  PhaseScope(const PhaseScope&) = delete;
  PhaseScope& operator=(const PhaseScope&) = delete;

 private:
  std::string previous_;
  int exceptions_ = 0;
};

struct Ranks {
  int rank = 0, size = 1;
};

// The cell rows first..last (1-based) a rank assembles: ny rows cut into
// `ranks` bands of nearly equal height, in rank order.
inline std::pair<int, int> cell_row_band(int ny, int rank, int ranks) {
  return {static_cast<int>(static_cast<long long>(rank) * ny / ranks) + 1,
          static_cast<int>(static_cast<long long>(rank + 1) * ny / ranks)};
}

// Initialises MPI, runs body(ranks) and finalises; returns the body's
// status. On an exception: "<program>: rank R of P failed during <phase>:
// <what>" on stderr, then MPI_Abort with status 1.
int run_job(int& argc, char**& argv, const std::function<int(Ranks)>& body);

}  // namespace engine::mpi
