#include "engine/own_plan.hpp"

namespace engine {

void print_own_plan(std::FILE* out, const SparseSolver& own, std::int64_t beside_bytes) {
  const Statistics& s = own.statistics();
  const auto gb = [](std::int64_t bytes) { return static_cast<double>(bytes) / 1e9; };
  std::fprintf(out, "own engine plan on 1 rank (%s)\n", s.ordering.c_str());
  std::fprintf(out, "  unknowns              %lld\n", static_cast<long long>(s.n));
  std::fprintf(out, "  factor entries (est.) %lld\n", static_cast<long long>(s.factor_entries));
  std::fprintf(out, "  flops (est.)          %.4g\n", s.flops);
  std::fprintf(out, "  analysis time         %.3f s\n", s.analyse_seconds);
  std::fprintf(out, "  memory in core        %.3f GB\n", gb(s.in_core_bytes));
  std::fprintf(out, "  memory out of core    %.3f GB\n", gb(s.out_of_core_bytes));
  std::fprintf(out, "  disk out of core      %.3f GB\n", gb(s.disk_bytes));
  std::fprintf(out, "  memory (est.)         %.1f MB\n", static_cast<double>(own.memory_needed()) / 1e6);
  if (beside_bytes <= 0) return;
  std::fprintf(out, "  program in core       %.3f GB\n", gb(s.in_core_bytes + beside_bytes));
  std::fprintf(out, "  program out of core   %.3f GB\n", gb(s.out_of_core_bytes + beside_bytes));
}

}  // namespace engine
