// Times the own backend on the compressional system of a deck's material
// tiled over N x N cells: one analysis, K factorisations (the frequencies of
// a spectrum: the imaginary part scaled), a refined solve. Prints one line
// of key=value pairs.
//
//   engine_bench N [threads] [automatic|metis|geometric] [K] [deck]
//
// K = 0 runs the analysis alone and prints what a factorisation would need.
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "tests/fixtures/grid_system.hpp"
#include "bench/engine/clocks.hpp"
#include "bench/engine/process_memory.hpp"

namespace {

using engine_bench::Clock;
using engine_bench::cpu_now;
using engine_bench::since;

engine::Ordering ordering_named(const std::string& s) {
  if (s == "metis") return engine::Ordering::metis;
  if (s == "geometric") return engine::Ordering::geometric;
  return engine::Ordering::automatic;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: engine_bench N [threads] [automatic|metis|geometric] [factorisations] [deck]\n");
    return 2;
  }
  const int N = std::atoi(argv[1]), threads = argc > 2 ? std::atoi(argv[2]) : 1;
  const std::string ordering = argc > 3 ? argv[3] : "automatic";
  const int repeats = argc > 4 ? std::atoi(argv[4]) : 1;
  const std::string deck = argc > 5 ? argv[5] : "examples/ice.deck";
  auto t = Clock::now();
  auto g = engine_bench::grid_system(deck, N);
  if (!g) return 1;
  const double assembly = since(t);
  engine::Options o;
  o.threads = threads;
  o.ordering = ordering_named(ordering);
  o.grid = &g->places;
  o.progress = [](double f) { std::fprintf(stderr, "\rfactorising %5.1f%%", 100 * f); };
  std::vector<engine::zcomplex> values = g->values;
  const std::int64_t base = engine_bench::status_bytes("VmRSS");
  engine_bench::reset_peak();
  auto solver = engine::make_solver(engine::Backend::own);
  const double a0 = cpu_now();
  solver->analyse(g->pattern, o);
  const double analyse_cpu = cpu_now() - a0;
  double factorise = 0, factorise_cpu = 0;
  for (int r = 0; r < repeats; ++r) {
    for (std::size_t k = 0; k < values.size(); ++k) values[k].im = g->values[k].im * (1.0 + 0.1 * r);
    t = Clock::now();
    const double c0 = cpu_now();
    solver->factorise(values);
    factorise += since(t), factorise_cpu += cpu_now() - c0;
  }
  std::fprintf(stderr, "\n");
  if (repeats == 0) {  // the analysis alone: what the factorisation would need
    const engine::Statistics& s = solver->statistics();
    std::printf("engine N=%d n=%lld ordering=\"%s\" analyse_cpu_s=%.3f factor_entries=%lld flops=%.4e estimate_GB=%.3f\n", N,
                static_cast<long long>(s.n), s.ordering.c_str(), analyse_cpu, static_cast<long long>(s.factor_entries),
                s.flops, static_cast<double>(s.memory_bytes) / 1e9);
    return 0;
  }
  std::vector<engine::zcomplex> x = g->rhs;
  solver->solve(x, 1, true);
  const std::int64_t peak = engine_bench::status_bytes("VmHWM") - base;
  // Plain solves, one vector at a time and four in one sweep of the factor.
  std::vector<engine::zcomplex> four;
  for (int c = 0; c < 4; ++c) four.insert(four.end(), g->rhs.begin(), g->rhs.end());
  double c0 = cpu_now();
  for (int c = 0; c < 4; ++c) solver->solve(std::span<engine::zcomplex>(four).subspan(c * x.size(), x.size()), 1, false);
  const double solve1_cpu = (cpu_now() - c0) / 4;
  c0 = cpu_now();
  solver->solve(four, 4, false);
  const double solve4_cpu = cpu_now() - c0;
  const engine::Statistics& s = solver->statistics();
  std::printf("solve1_cpu_s=%.3f solve4_cpu_s=%.3f ", solve1_cpu, solve4_cpu);
  std::printf("engine N=%d n=%lld entries=%zu threads=%d ordering=\"%s\" assembly_s=%.3f analyse_s=%.3f analyse_cpu_s=%.3f "
              "factorise_s=%.3f factorise_cpu_s=%.3f factorisations=%d solve_s=%.3f factor_entries=%lld flops=%.4e "
              "gflops_cpu=%.2f estimate_GB=%.3f peak_GB=%.3f perturbed=%lld refinement_steps=%d backward_error=%.2e\n",
              N, static_cast<long long>(s.n), g->values.size(), threads, s.ordering.c_str(), assembly,
              s.analyse_seconds, analyse_cpu, factorise / repeats, factorise_cpu / repeats, repeats, s.solve_seconds,
              static_cast<long long>(s.factor_entries), s.flops, s.flops / (factorise_cpu / repeats) / 1e9,
              static_cast<double>(s.memory_bytes) / 1e9, static_cast<double>(peak) / 1e9,
              static_cast<long long>(s.perturbed_pivots), s.refinement_steps, s.backward_error);
  return 0;
}
