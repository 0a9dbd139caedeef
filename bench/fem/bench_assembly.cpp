// Time to assemble the global system, by grid size. The 60 x 60 grid is the
// largest a run holds (22,204 unknowns, 922,216 stored entries); its
// assembly should cost a small fraction of the factorisation.
#include <benchmark/benchmark.h>

#include <memory>

#include "core/capacities.hpp"
#include "core/coefficients.hpp"
#include "core/test_kind.hpp"
#include "fem/assembly.hpp"
#include "fem/numbering.hpp"
#include "fem/yale_system.hpp"

namespace {

// Coefficients of a water-saturated sandstone with some ice, two layers.
std::unique_ptr<core::Coefficients> sample_coefficients() {
  auto c = std::make_unique<core::Coefficients>();
  for (int k = 1; k <= core::kMaxCellsPerSide; ++k)
    for (int j = 1; j <= core::kMaxCellsPerSide; ++j) {
      const double s = (k % 8 < 4) ? 1.0 : 0.7;
      c->lambda1(j, k) = 1.2e10 * s;
      c->lambda3(j, k) = 4.1e9 * s;
      c->mu1(j, k) = 1.5e10 * s;
      c->mu3(j, k) = 2.0e9 * s;
      c->mu13(j, k) = 3.0e8 * s;
      c->b1(j, k) = 3.5e9;
      c->b2(j, k) = 1.1e9;
      c->m(j, k) = 4.8e9;
      c->d3(j, k) = 6.0e8 * s;
      c->p11(j, k) = 1900;
      c->p12(j, k) = -40;
      c->p13(j, k) = 15;
      c->p22(j, k) = 1100;
      c->p23(j, k) = -20;
      c->p33(j, k) = 600;
      c->f11(j, k) = 1.0e9 * s;
      c->f12(j, k) = 5.0e8 * s;
      c->f22(j, k) = 9.0e9 * s;
    }
  return c;
}

template <bool kByInsertion>
void assembly(benchmark::State& state, core::TestKind kind) {
  const int nx = static_cast<int>(state.range(0)), ny = nx;
  auto xnod = std::make_unique<fem::XnodTable>();
  auto coef = sample_coefficients();
  fem::YaleSystem sys(core::unknowns_of(nx, ny));
  fem::global_numbering(nx, ny, *xnod);
  const double omega = 2 * M_PI * 100.0, h = 0.1 / ny;
  for (auto _ : state) {
    if constexpr (kByInsertion) fem::global_sist_by_insertion(kind, omega, nx, ny, h, *xnod, *coef, sys);
    else fem::global_sist(kind, omega, nx, ny, h, *xnod, *coef, sys);
    benchmark::DoNotOptimize(sys.avec_data());
  }
  const int n = core::unknowns_of(nx, ny);
  state.counters["unknowns"] = n;
  state.counters["entries"] = sys.ia(n + 1) - 1;
}

void BM_Assembly(benchmark::State& state) { assembly<false>(state, core::TestKind::compressional); }
void BM_AssemblyShear(benchmark::State& state) { assembly<false>(state, core::TestKind::shear); }
// The plain insertion build, for comparison on small grids only: its time
// grows with the square of the entries.
void BM_AssemblyByInsertion(benchmark::State& state) { assembly<true>(state, core::TestKind::compressional); }

BENCHMARK(BM_Assembly)->Arg(10)->Arg(20)->Arg(40)->Arg(60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssemblyShear)->Arg(60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssemblyByInsertion)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace
