#include "engine/mumps_support.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <stdexcept>

#include "core/memory_room.hpp"

namespace engine {

OrderingChoice mumps_ordering(Ordering ordering) {
  switch (ordering) {
    case Ordering::metis: return {1, 5, 0};
    case Ordering::minimum_degree: return {1, 0, 0};
    case Ordering::automatic:
    case Ordering::geometric: break;
  }
  return {0, 7, 0};
}

void check_out_of_core_dir(const std::string& dir) {
  struct stat st {};
  if (dir.empty()) throw std::invalid_argument("out-of-core folder: the path is empty, expected a writable folder");
  if (stat(dir.c_str(), &st) != 0)
    throw std::invalid_argument("out-of-core folder '" + dir + "' does not exist; expected a writable folder");
  if (!S_ISDIR(st.st_mode))
    throw std::invalid_argument("out-of-core folder '" + dir + "' is not a folder; expected a writable folder");
  if (access(dir.c_str(), W_OK | X_OK) != 0)
    throw std::invalid_argument("out-of-core folder '" + dir + "' is not writable; expected a writable folder");
}

void check_pattern(const Pattern& p, int rank, MPI_Comm comm) {
  const std::string who = "rank " + std::to_string(rank) + ": ";
  long long n[2] = {-p.n, p.n}, agreed[2] = {0, 0};
  MPI_Allreduce(n, agreed, 2, MPI_LONG_LONG, MPI_MAX, comm);
  if (-agreed[0] != agreed[1])
    throw std::invalid_argument(who + "the ranks disagree on the order of the matrix (" + std::to_string(-agreed[0]) +
                                " to " + std::to_string(agreed[1]) + ")");
  if (p.n < 1 || p.n > INT_MAX)
    throw std::invalid_argument(who + "matrix order " + std::to_string(p.n) + ", expected 1 to " +
                                std::to_string(INT_MAX) + " (MUMPS's 32-bit indices)");
  if (p.row.size() != p.col.size())
    throw std::invalid_argument(who + std::to_string(p.row.size()) + " row indices but " +
                                std::to_string(p.col.size()) + " column indices");
  for (std::size_t e = 0; e < p.row.size(); ++e)
    if (p.col[e] < 0 || p.col[e] > p.row[e] || p.row[e] >= p.n)
      throw std::invalid_argument(who + "entry " + std::to_string(e) + " at (" + std::to_string(p.row[e]) + ", " +
                                  std::to_string(p.col[e]) + "), expected 0 <= col <= row < " + std::to_string(p.n));
}

void check_right_hand_sides(std::span<const zcomplex> b, Index n, Index nrhs, int rank, MPI_Comm comm) {
  long long k[2] = {-nrhs, nrhs}, agreed[2] = {0, 0};
  MPI_Allreduce(k, agreed, 2, MPI_LONG_LONG, MPI_MAX, comm);
  if (-agreed[0] != agreed[1] || nrhs < 0)
    throw std::invalid_argument("rank " + std::to_string(rank) + ": right-hand side counts differ between ranks (" +
                                std::to_string(-agreed[0]) + " to " + std::to_string(agreed[1]) + ")");
  if (nrhs > INT_MAX) throw std::invalid_argument("block of " + std::to_string(nrhs) + " right-hand sides, too many");
  if (rank == 0 && static_cast<Index>(b.size()) != n * nrhs)
    throw std::invalid_argument("right-hand sides: " + std::to_string(b.size()) + " values, expected n x nrhs = " +
                                std::to_string(n) + " x " + std::to_string(nrhs));
}

std::int64_t available_memory_bytes() {
  const std::int64_t room = core::memory_room().bytes;
  return room > 0 ? room : 0;
}

namespace {

std::string megabytes(std::int64_t bytes) { return std::to_string((bytes + 500000) / 1000000) + " MB"; }

// Each rank's need and availability: its own limit, or its node's memory
// shared by the node's ranks in proportion to their needs.
std::pair<std::int64_t, std::int64_t> need_and_room(std::int64_t needed, std::int64_t limit, MPI_Comm comm,
                                                    bool& node_wide) {
  node_wide = limit <= 0;
  if (!node_wide) return {needed, limit};
  MPI_Comm node;
  MPI_Comm_split_type(comm, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &node);
  long long mine = needed, together = 0;
  MPI_Allreduce(&mine, &together, 1, MPI_LONG_LONG, MPI_SUM, node);
  MPI_Comm_free(&node);
  const std::int64_t room = available_memory_bytes();
  return {together, room > 0 ? room : together};
}

}  // namespace

MemoryVerdict memory_verdict(std::int64_t needed, std::int64_t limit, MPI_Comm comm) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  bool node_wide = false;
  auto [need, room] = need_and_room(needed, limit, comm, node_wide);
  int mine = need > room ? rank : -1, worst = -1;
  MPI_Allreduce(&mine, &worst, 1, MPI_INT, MPI_MAX, comm);
  MemoryVerdict v;
  if (worst < 0) return v;
  long long pair[2] = {need, room};
  MPI_Bcast(pair, 2, MPI_LONG_LONG, worst, comm);
  v.failed_rank = worst;
  v.needed = pair[0];
  v.available = pair[1];
  v.message = "the factorisation needs " + megabytes(v.needed) +
              (node_wide ? " on the node of rank " : " on rank ") + std::to_string(worst) +
              " (MUMPS's estimate after the analysis), but " + megabytes(v.available) +
              (node_wide ? " are available there" : " are allowed per rank") +
              "; use more ranks on more machines, a smaller sample";
  return v;
}

}  // namespace engine
