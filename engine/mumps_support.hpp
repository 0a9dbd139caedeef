// The checks and choices around the MUMPS calls: the ordering controls, the
// out-of-core folder, each rank's entries, the right-hand sides, and the
// memory verdict every rank agrees on before the factorisation.
#pragma once

#include <mpi.h>

#include <cstdint>
#include <span>
#include <string>

#include "engine/sparse_solver.hpp"

namespace engine {

struct OrderingChoice {
  int icntl28;  // 0 automatic, 1 sequential, 2 parallel analysis
  int icntl7;   // sequential ordering
  int icntl29;  // parallel ordering
};
// automatic: MUMPS picks among what the build has (parallel PT-SCOTCH or
// ParMETIS if present, else METIS, SCOTCH or PORD); geometric dissection
// is not offered by MUMPS and becomes the automatic choice; metis: METIS;
// minimum_degree: approximate minimum degree.
OrderingChoice mumps_ordering(Ordering ordering);

// Refuses (std::invalid_argument naming the folder) a path that is not an
// existing, writable, searchable folder.
void check_out_of_core_dir(const std::string& dir);

// Checks this rank's entries: equal row and column counts, 0 <= col <= row
// < n, n the same on every rank and within MUMPS's 32-bit indices.
void check_pattern(const Pattern& pattern, int rank, MPI_Comm comm);

// On rank 0, b must hold n x nrhs values; nrhs must agree on every rank.
void check_right_hand_sides(std::span<const zcomplex> b, Index n, Index nrhs, int rank, MPI_Comm comm);

// Bytes the operating system can still give (MemAvailable), 0 if unknown.
std::int64_t available_memory_bytes();

struct MemoryVerdict {
  int failed_rank = -1;  // -1: every rank fits
  std::int64_t needed = 0, available = 0;
  std::string message;
};
// Collective: each rank's need against `limit` bytes per rank when limit >
// 0, else the needs of the ranks sharing a node against that node's
// available memory. Every rank gets the same verdict.
MemoryVerdict memory_verdict(std::int64_t needed, std::int64_t limit, MPI_Comm comm);

}  // namespace engine
