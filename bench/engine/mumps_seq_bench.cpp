// Sequential MUMPS on the system engine_bench factorises: the same tiled
// deck, LDL^T (SYM=2) or LU (SYM=0), METIS or MUMPS's own choice of
// ordering. Prints one line of key=value pairs.
//
//   mumps_seq_bench N [ldlt|lu] [metis|automatic] [deck]
#include <mpi.h>
#include <zmumps_c.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/fixtures/grid_system.hpp"
#include "bench/engine/clocks.hpp"
#include "bench/engine/process_memory.hpp"

namespace {

using engine_bench::Clock;
using engine_bench::cpu_now;
using engine_bench::since;

double count(int infog) { return infog >= 0 ? infog : -1e6 * infog; }  // MUMPS writes millions as negatives

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: mumps_seq_bench N [ldlt|lu] [metis|automatic] [deck]\n");
    return 2;
  }
  MPI_Init(&argc, &argv);
  const int N = std::atoi(argv[1]);
  const bool lu = argc > 2 && std::string(argv[2]) == "lu";
  const bool automatic = argc > 3 && std::string(argv[3]) == "automatic";
  const std::string deck = argc > 4 ? argv[4] : "examples/ice.deck";
  auto g = engine_bench::grid_system(deck, N);
  if (!g) return 1;
  std::vector<MUMPS_INT> irn, jcn;
  std::vector<mumps_double_complex> a;
  for (std::size_t k = 0; k < g->values.size(); ++k) {
    const auto r = static_cast<MUMPS_INT>(g->pattern.row[k] + 1), c = static_cast<MUMPS_INT>(g->pattern.col[k] + 1);
    irn.push_back(r), jcn.push_back(c), a.push_back({g->values[k].re, g->values[k].im});
    if (lu && r != c) irn.push_back(c), jcn.push_back(r), a.push_back({g->values[k].re, g->values[k].im});
  }
  std::vector<mumps_double_complex> rhs;
  for (const auto& v : g->rhs) rhs.push_back({v.re, v.im});
  g->pattern = {}, g->values = {};
  const std::int64_t base = engine_bench::status_bytes("VmRSS");
  engine_bench::reset_peak();
  ZMUMPS_STRUC_C id{};
  id.comm_fortran = -987654;  // the communicator of all processes
  id.par = 1, id.sym = lu ? 0 : 2, id.job = -1;
  zmumps_c(&id);
  id.icntl[0] = -1, id.icntl[1] = -1, id.icntl[2] = -1, id.icntl[3] = 0;  // silent
  id.icntl[6] = automatic ? 7 : 5;  // ordering: 5 METIS, 7 MUMPS's choice
  id.icntl[27] = 1;                 // sequential analysis
  id.n = static_cast<MUMPS_INT>(rhs.size());
  id.nnz = static_cast<MUMPS_INT8>(a.size());
  id.irn = irn.data(), id.jcn = jcn.data(), id.a = a.data(), id.rhs = rhs.data();
  double seconds[3], cpu[3];
  for (int job = 1; job <= 3; ++job) {
    id.job = job;
    auto t = Clock::now();
    const double c0 = cpu_now();
    zmumps_c(&id);
    seconds[job - 1] = since(t), cpu[job - 1] = cpu_now() - c0;
    if (id.infog[0] < 0) {
      std::fprintf(stderr, "mumps_seq_bench: job %d failed, INFOG(1) = %d, INFOG(2) = %d\n", job, id.infog[0], id.infog[1]);
      return 1;
    }
  }
  const std::int64_t peak = engine_bench::status_bytes("VmHWM") - base;
  std::printf("mumps N=%d n=%d %s ordering=%d analyse_s=%.3f analyse_cpu_s=%.3f factorise_s=%.3f factorise_cpu_s=%.3f solve_s=%.3f factor_entries=%.0f "
              "flops_estimate=%.4e memory_effective_MB=%d memory_estimate_MB=%d peak_GB=%.3f\n",
              N, id.n, lu ? "LU" : "LDLT", id.infog[6], seconds[0], cpu[0], seconds[1], cpu[1], seconds[2], count(id.infog[28]),
              id.rinfog[2], id.infog[21], id.infog[16], static_cast<double>(peak) / 1e9);
  id.job = -2;
  zmumps_c(&id);
  MPI_Finalize();
  return 0;
}
