// The ranks of one MPI job must run one computation: the same arguments on
// the same input files. mpirun can start ranks with different command lines
// (the MPMD form "-np 1 A : -np 1 B") or in folders holding different files;
// each rank would then assemble its part of a different system, and the job
// would hang in a collective step or report a tensor of no sample. So
// before the analysis rank 0 broadcasts a digest of its argument list and
// of its input files' contents, every rank compares it with its own, and a
// mismatch anywhere stops every rank with one sentence from rank 0.
#pragma once

#include <string>
#include <vector>

namespace tensor {

// The SHA-256 (hex) of the arguments (argv[1..], each with its length, so
// that "a b" and "ab" differ) and of the contents of each file of `files`
// (a file that cannot be read counts as such, by its name).
std::string job_digest(const std::vector<std::string>& args, const std::vector<std::string>& files);

// The exit status of a job whose ranks disagree.
inline constexpr int kRanksDisagreeStatus = 2;

// Compares this rank's digest with rank 0's on every rank (collective: every
// rank of the job calls it once, before the analysis). Returns 0 when all
// agree; otherwise kRanksDisagreeStatus on every rank, rank 0 having said
// which rank differs. Outside an MPI job it returns 0.
int ranks_agree(const std::string& digest);

}  // namespace tensor
