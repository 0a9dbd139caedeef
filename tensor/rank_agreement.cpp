#include "tensor/rank_agreement.hpp"

#include <cstdio>
#include <cstring>

#include "core/sha256.hpp"

#ifdef UPSCALE_HAVE_MUMPS
#include <mpi.h>
#endif

namespace tensor {

std::string job_digest(const std::vector<std::string>& args, const std::vector<std::string>& files) {
  core::Sha256 h;
  for (const std::string& a : args) {
    h.update("arg " + std::to_string(a.size()) + ":");
    h.update(a);
  }
  for (const std::string& f : files) {
    h.update("file " + std::to_string(f.size()) + ":");
    h.update(f);
    h.update(core::sha256_of_file(f).value_or("unreadable"));
  }
  return h.hex_digest();
}

#ifdef UPSCALE_HAVE_MUMPS

int ranks_agree(const std::string& digest) {
  int running = 0;
  MPI_Initialized(&running);
  if (!running) return 0;  // not an MPI job: nothing to compare
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  char root[65] = {}, mine[65] = {};
  std::snprintf(mine, sizeof mine, "%s", digest.c_str());
  std::memcpy(root, mine, sizeof root);
  MPI_Bcast(root, static_cast<int>(sizeof root), MPI_CHAR, 0, MPI_COMM_WORLD);
  const int differs = std::memcmp(root, mine, sizeof root) != 0 ? rank : -1;
  int first = -1;
  MPI_Allreduce(&differs, &first, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  if (first < 0) return 0;
  if (rank == 0)
    std::fprintf(stderr,
                 "tensor_upscale: rank %d of this MPI job was not given the arguments and input files of rank 0: "
                 "every rank must run the same command on the same files; nothing was computed\n",
                 first);
  return kRanksDisagreeStatus;
}

#else

int ranks_agree(const std::string&) { return 0; }

#endif

}  // namespace tensor
