// Nested dissection of the matrix graph by METIS (multilevel bisection of
// the vertex graph, minimum degree on the small parts).
#include <metis.h>
#include <pthread.h>
#include <signal.h>

#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>

#include "engine/analysis.hpp"

namespace engine::detail {

std::vector<Index> metis_order(const Lower& a) {
  const Index n = a.n;
  std::vector<Index> order(static_cast<std::size_t>(n));
  std::iota(order.begin(), order.end(), Index{0});
  // The symmetric graph without loops, both directions of every edge.
  std::vector<idx_t> xadj(static_cast<std::size_t>(n) + 1, 0);
  for (Index j = 0; j < n; ++j)
    for (Index e = a.ptr[j]; e < a.ptr[j + 1]; ++e)
      if (a.row[e] != j) ++xadj[a.row[e] + 1], ++xadj[j + 1];
  for (Index j = 0; j < n; ++j) xadj[j + 1] += xadj[j];
  if (n < 3 || xadj[n] == 0) return order;
  if (n > std::numeric_limits<idx_t>::max() / 2 || a.row.size() > std::numeric_limits<idx_t>::max() / 2U)
    throw std::runtime_error("sparse engine: METIS of this build takes at most 2^30 unknowns and edges, the matrix has " +
                             std::to_string(n) + " unknowns and " + std::to_string(a.row.size()) + " entries");
  std::vector<idx_t> adj(static_cast<std::size_t>(xadj[n])), next(xadj.begin(), xadj.end() - 1);
  for (Index j = 0; j < n; ++j)
    for (Index e = a.ptr[j]; e < a.ptr[j + 1]; ++e)
      if (const Index i = a.row[e]; i != j) adj[next[i]++] = static_cast<idx_t>(j), adj[next[j]++] = static_cast<idx_t>(i);
  idx_t nv = static_cast<idx_t>(n);
  std::vector<idx_t> perm(static_cast<std::size_t>(n)), iperm(static_cast<std::size_t>(n));
  idx_t options[METIS_NOPTIONS];
  METIS_SetDefaultOptions(options);
  options[METIS_OPTION_NUMBERING] = 0;
  // METIS traps SIGTERM for its own errors while it runs: a stop signal
  // then would be taken for a failure of METIS ("status -4") and the run's
  // own record of the signal lost. The stop signals wait until METIS
  // returns, then end the run as they would have.
  sigset_t stop_signals, before;
  sigemptyset(&stop_signals);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stop_signals, sig);
  struct sigaction saved[3];
  const int sigs[3] = {SIGTERM, SIGINT, SIGHUP};
  pthread_sigmask(SIG_BLOCK, &stop_signals, &before);
  for (int i = 0; i < 3; ++i) sigaction(sigs[i], nullptr, &saved[i]);
  const int status = METIS_NodeND(&nv, xadj.data(), adj.data(), nullptr, options, perm.data(), iperm.data());
  for (int i = 0; i < 3; ++i) sigaction(sigs[i], &saved[i], nullptr);  // whatever METIS left installed
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (status != METIS_OK) throw std::runtime_error("sparse engine: METIS_NodeND failed with status " + std::to_string(status));
  for (Index k = 0; k < n; ++k) order[k] = perm[k];
  return order;
}

}  // namespace engine::detail
