// UMFPACK on the assembled system of a deck, for comparison with the
// programs' own solver: the CPU seconds (user + system) of its symbolic
// analysis, numeric factorisation and solve, once per repetition, and the
// residual.  Built only where UMFPACK is installed; the programs never use it.
//
//   umfpack_bench DECK [REPEATS]
//
// Run it in a scratch directory: the coefficient routines write their
// plotting files.
#include <suitesparse/umfpack.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "tests/fixtures/deck_system.hpp"

namespace {

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: umfpack_bench DECK [REPEATS]\n");
    return 2;
  }
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const auto s = yale_bench::deck_system(argv[1], drivers::kCompressionalSetup);
  if (!s) return 1;
  const int n = s->n;
  // The rows of A, 0-based, read by UMFPACK as the columns of A^T; the
  // system A x = b is then its transposed solve.
  std::vector<int> ap(s->ia.begin(), s->ia.end()), ai(s->ja.begin(), s->ja.end());
  for (int& v : ap) --v;
  for (int& v : ai) --v;
  std::vector<double> ax, bx, x(2 * static_cast<std::size_t>(n));
  for (const auto& v : s->a) ax.insert(ax.end(), {v.re, v.im});
  for (const auto& v : s->b) bx.insert(bx.end(), {v.re, v.im});

  double control[UMFPACK_CONTROL], info[UMFPACK_INFO];
  umfpack_zi_defaults(control);
  std::printf(" system              compressional test of %s, n = %d, nnz = %d\n", argv[1], n, ap[n]);
  for (int r = 0; r < repeats; ++r) {
    void *symbolic = nullptr, *numeric = nullptr;
    const double t0 = cpu_seconds();
    int st = umfpack_zi_symbolic(n, n, ap.data(), ai.data(), ax.data(), nullptr, &symbolic, control, info);
    if (st == UMFPACK_OK) st = umfpack_zi_numeric(ap.data(), ai.data(), ax.data(), nullptr, symbolic, &numeric, control, info);
    if (st == UMFPACK_OK)
      st = umfpack_zi_solve(UMFPACK_Aat, ap.data(), ai.data(), ax.data(), nullptr, x.data(), nullptr, bx.data(),
                            nullptr, numeric, control, info);
    const double t = cpu_seconds() - t0;
    umfpack_zi_free_symbolic(&symbolic);
    umfpack_zi_free_numeric(&numeric);
    if (st != UMFPACK_OK) {
      std::printf(" UMFPACK status %d\n", st);
      return 1;
    }
    std::printf(" umfpack cpu seconds %.4f\n", t);
  }
  // |A x - b| / (|A| |x|), max norms.
  double rmax = 0, amax = 0, xmax = 0;
  for (int i = 0; i < n; ++i) {
    std::complex<double> ri(-bx[2 * i], -bx[2 * i + 1]);
    double rowsum = 0;
    for (int e = ap[i]; e < ap[i + 1]; ++e) {
      const std::complex<double> a(ax[2 * e], ax[2 * e + 1]), xj(x[2 * ai[e]], x[2 * ai[e] + 1]);
      ri += a * xj;
      rowsum += std::abs(a);
    }
    rmax = std::max(rmax, std::abs(ri));
    amax = std::max(amax, rowsum);
    xmax = std::max(xmax, std::abs(std::complex<double>(x[2 * i], x[2 * i + 1])));
  }
  std::printf(" residual            %.3e  (|Ax-b| / (|A| |x|), max norms)\n", rmax / (amax * xmax));
  std::printf(" nnz(L), nnz(U)      %.0f %.0f\n", info[UMFPACK_LNZ], info[UMFPACK_UNZ]);
  return 0;
}
