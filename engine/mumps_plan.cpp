#include "engine/mumps_plan.hpp"

#include <algorithm>
#include <limits>

#include "engine/mumps_backend.hpp"

namespace engine {

MumpsPlan plan_mumps(const Pattern& pattern, Options options) {
  options.memory_limit = std::numeric_limits<std::int64_t>::max();
  MumpsSolver solver;
  solver.analyse(pattern, options);
  MumpsPlan plan;
  plan.ranks = solver.ranks();
  const Statistics& s = solver.statistics();
  plan.n = s.n;
  plan.matrix_entries = s.matrix_entries;
  plan.factor_entries = solver.estimated_factor_entries();
  plan.flops = solver.estimated_flops();
  plan.memory_in_core = solver.memory_per_rank(false);
  plan.memory_out_of_core = solver.memory_per_rank(true);
  plan.analyse_seconds = s.analyse_seconds;
  plan.ordering = s.ordering;
  return plan;
}

void print_plan(std::FILE* out, const MumpsPlan& p) {
  std::fprintf(out, "MUMPS plan on %d rank%s (%s)\n", p.ranks, p.ranks == 1 ? "" : "s", p.ordering.c_str());
  std::fprintf(out, "  unknowns              %lld\n", static_cast<long long>(p.n));
  std::fprintf(out, "  matrix entries given  %lld\n", static_cast<long long>(p.matrix_entries));
  std::fprintf(out, "  factor entries (est.) %lld\n", static_cast<long long>(p.factor_entries));
  std::fprintf(out, "  flops (est.)          %.4g\n", p.flops);
  std::fprintf(out, "  analysis time         %.3f s\n", p.analyse_seconds);
  std::int64_t peak = 0;
  for (std::size_t r = 0; r < p.memory_in_core.size(); ++r) {
    std::fprintf(out, "  rank %-4zu memory (est.) %10.1f MB in core %10.1f MB out of core\n", r,
                 static_cast<double>(p.memory_in_core[r]) / 1e6, static_cast<double>(p.memory_out_of_core[r]) / 1e6);
    peak = std::max(peak, p.memory_in_core[r]);
  }
  std::fprintf(out, "  largest rank          %.1f MB in core\n", static_cast<double>(peak) / 1e6);
}

void print_backend_plan(std::FILE* out, const char* name, const SparseSolver& solver) {
  const Statistics& s = solver.statistics();
  std::fprintf(out, "%s plan on 1 rank (%s)\n", name, s.ordering.c_str());
  std::fprintf(out, "  factor entries (est.) %lld\n", static_cast<long long>(s.factor_entries));
  std::fprintf(out, "  flops (est.)          %.4g\n", s.flops);
  std::fprintf(out, "  analysis time         %.3f s\n", s.analyse_seconds);
  std::fprintf(out, "  memory (est.)         %.1f MB\n", static_cast<double>(solver.memory_needed()) / 1e6);
}

}  // namespace engine
