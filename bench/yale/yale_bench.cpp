// Solver benchmark: orders, factorises and solves one system and reports
// the ordering time, the factor-and-solve time, the entries of L and U, the
// multiply-adds of the factorisation and their rate, and the residual.
//
//   yale_bench [--grid NX NY] [--type s|d|c|z] [--repeat R] [--ftz]
//   yale_bench --mm MATRIX.mtx [--rhs B.mtx] [--type s|d|c|z] [--repeat R] [--nwork W] [--ftz]
//   yale_bench --deck DECK [--shear] [--repeat R]
//
// The grid system has the pattern of the compressional finite-element test
// on NX x NY cells (default 60 x 60) with random diagonally dominant values.
// A Matrix Market system without a right-hand side is solved for b = A*1,
// and the error against the all-ones solution is printed too. The deck
// system is the finite-element test of an input deck (the compressional
// one, or the shear one with --shear), assembled as the programs assemble
// it; its model and assembly times are printed too. It writes no file (a
// deck with model 1 reads "porosity.frac" from the working directory).
#include <algorithm>
#include <ctime>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "tests/fixtures/deck_system.hpp"
#include "sparse_io/grid_matrix.hpp"
#include "sparse_io/matrix_market.hpp"
#include "core/capacities.hpp"
#include "yale/elimination_kernel.hpp"
#include "yale/yale.hpp"

namespace {

using yale_bench::ValueTraits;
// CPU seconds of the process (user + system): on a shared machine the
// wall clock measures the neighbours too.
double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct System {
  int32_t n = 0;
  std::vector<int32_t> ia, ja;
  std::vector<core::zcomplex> a, b;
  bool b_is_ones_product = false;
  std::string label;
};

struct Options {
  std::string type = "z";
  int nx = 60, ny = 60;
  std::string mm, rhs, deck;
  bool shear = false;
  int repeat = 3;
  int64_t nwork = 0;
  bool ftz = false;
};

[[noreturn]] void usage(const char* why) {
  std::fprintf(stderr,
               "yale_bench: %s\n"
               "usage: yale_bench [--grid NX NY] [--type s|d|c|z] [--repeat R] [--ftz]\n"
               "       yale_bench --mm MATRIX.mtx [--rhs B.mtx] [--type s|d|c|z] [--repeat R] [--nwork W] [--ftz]\n"
               "       yale_bench --deck DECK [--shear] [--repeat R]\n",
               why);
  std::exit(2);
}

long parse_int(const char* s, long lo, long hi, const char* what) {
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  if (end == s || *end != '\0' || v < lo || v > hi) usage((std::string("bad ") + what).c_str());
  return v;
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto need = [&](int k) {
      if (i + k >= argc) usage(("missing value after " + a).c_str());
    };
    if (a == "--grid") {
      need(2);
      o.nx = static_cast<int>(parse_int(argv[++i], 1, 2000, "NX"));
      o.ny = static_cast<int>(parse_int(argv[++i], 1, 2000, "NY"));
    } else if (a == "--type") {
      need(1);
      o.type = argv[++i];
      if (o.type != "s" && o.type != "d" && o.type != "c" && o.type != "z") usage("type is s, d, c or z");
    } else if (a == "--mm") {
      need(1);
      o.mm = argv[++i];
    } else if (a == "--rhs") {
      need(1);
      o.rhs = argv[++i];
    } else if (a == "--deck") {
      need(1);
      o.deck = argv[++i];
    } else if (a == "--shear") {
      o.shear = true;
    } else if (a == "--repeat") {
      need(1);
      o.repeat = static_cast<int>(parse_int(argv[++i], 1, 1000, "repeat count"));
    } else if (a == "--ftz") {
      o.ftz = true;
    } else if (a == "--nwork") {
      need(1);
      o.nwork = parse_int(argv[++i], 1, std::numeric_limits<int32_t>::max(), "nwork");
    } else {
      usage(("unknown argument " + a).c_str());
    }
  }
  if (!o.rhs.empty() && o.mm.empty()) usage("--rhs needs --mm");
  if (!o.deck.empty() && (!o.mm.empty() || o.type != "z")) usage("--deck takes neither --mm nor --type");
  if (o.shear && o.deck.empty()) usage("--shear needs --deck");
  return o;
}

System grid_system(int nx, int ny, bool complex_values) {
  const yale_bench::Pattern p = yale_bench::grid_pattern(nx, ny);
  System s;
  s.n = p.n;
  s.ia = p.ia;
  s.ja = p.ja;
  if (complex_values) {
    s.a = yale_bench::dominant_values<core::zcomplex>(p, 2024);
  } else {
    for (double v : yale_bench::dominant_values<double>(p, 2024)) s.a.push_back({v, 0.0});
  }
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(-1, 1);
  s.b.resize(static_cast<std::size_t>(s.n));
  for (auto& x : s.b) x = {u(gen), complex_values ? u(gen) : 0.0};
  s.label = "grid " + std::to_string(nx) + " x " + std::to_string(ny) + " (compressional-test pattern, random values)";
  return s;
}

std::optional<System> deck_system(const Options& o) {
  const drivers::ProgramSetup& setup = o.shear ? drivers::kSpectrumSetup : drivers::kCompressionalSetup;
  std::optional<yale_bench::DeckSystem> d = yale_bench::deck_system(o.deck, setup);
  if (!d) return std::nullopt;
  std::printf(" model time          %.4f s\n", d->model_seconds);
  std::printf(" assembly time       %.4f s\n", d->assembly_seconds);
  System s;
  s.n = d->n;
  s.ia = std::move(d->ia);
  s.ja = std::move(d->ja);
  s.a = std::move(d->a);
  s.b = std::move(d->b);
  s.label = (o.shear ? "shear test (swave_spectrum) of " : "compressional test of ") + o.deck;
  return s;
}

std::optional<System> mm_system(const Options& o) {
  System s;
  try {
    std::ifstream f(o.mm);
    if (!f) {
      std::fprintf(stderr, "yale_bench: cannot open %s\n", o.mm.c_str());
      return std::nullopt;
    }
    mm::Matrix m = mm::read_matrix(f, o.mm);
    if (m.is_complex() && (o.type == "s" || o.type == "d")) {
      std::fprintf(stderr, "yale_bench: %s is complex: choose --type c or z\n", o.mm.c_str());
      return std::nullopt;
    }
    s.n = m.n;
    s.ia = std::move(m.ia);
    s.ja = std::move(m.ja);
    s.a = std::move(m.a);
    s.label = o.mm + " (" + std::to_string(m.entries_read) + " entries read, " + std::to_string(m.zeros_added) +
              " explicit zeros added for a symmetric pattern)";
    if (!o.rhs.empty()) {
      std::ifstream fb(o.rhs);
      if (!fb) {
        std::fprintf(stderr, "yale_bench: cannot open %s\n", o.rhs.c_str());
        return std::nullopt;
      }
      bool cplx = false;
      s.b = mm::read_vector(fb, o.rhs, s.n, cplx);
      if (cplx && (o.type == "s" || o.type == "d")) {
        std::fprintf(stderr, "yale_bench: %s is complex: choose --type c or z\n", o.rhs.c_str());
        return std::nullopt;
      }
    } else {
      s.b.assign(static_cast<std::size_t>(s.n), core::zcomplex{0, 0});
      for (int32_t i = 1; i <= s.n; ++i)
        for (int32_t e = s.ia[i - 1]; e < s.ia[i]; ++e) s.b[i - 1] += s.a[e - 1];
      s.b_is_ones_product = true;
    }
  } catch (const mm::ReadError& e) {
    std::fprintf(stderr, "yale_bench: %s\n", e.what());
    return std::nullopt;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "yale_bench: %s: not enough memory to hold the matrix\n", o.mm.c_str());
    return std::nullopt;
  }
  return s;
}

const char* describe(int32_t flag, int32_t n) {
  if (flag == 0) return "success";
  if (flag == 11 * n + 1) return "job outside 1..5";
  if (flag == 10 * n + 1) return "workspace too small for the partition";
  const int32_t kind = (flag - 1) / n;
  switch (kind) {
    case 1: return "a row has no entry";
    case 2: return "a row holds a column twice";
    case 3: return "column storage of L exhausted";
    case 4: return "value storage of L too small";
    case 5: return "no diagonal in the structure of a row";
    case 6: return "column storage of U exhausted";
    case 7: return "value storage of U too small";
    case 8: return "zero pivot";
    case 9: return "ordering's list storage exhausted";
    default: return "unknown";
  }
}

bool capacity_flag(int32_t flag, int32_t n) {
  const int32_t kind = (flag - 1) / n;
  return flag == 10 * n + 1 || kind == 3 || kind == 6 || kind == 7 || kind == 9;
}

template <class V>
int run(const System& sys, const Options& o) {
  using Tr = ValueTraits<V>;
  const int32_t n = sys.n;
  std::vector<int32_t> ia = sys.ia, ja = sys.ja;
  std::vector<V> a(sys.a.size()), b(static_cast<std::size_t>(n)), z(static_cast<std::size_t>(n));
  for (std::size_t e = 0; e < a.size(); ++e) a[e] = Tr::make(sys.a[e].re, sys.a[e].im);
  for (int32_t i = 0; i < n; ++i) b[i] = Tr::make(sys.b[i].re, sys.b[i].im);
  std::vector<int32_t> perm(static_cast<std::size_t>(n)), iperm(static_cast<std::size_t>(n));

  const int64_t nnz = ia.back() - 1;
  // The programs' workspace for their grids; otherwise 500 words per
  // unknown, doubled while the factors do not fit.
  int64_t nwork = o.nwork > 0 ? o.nwork
                  : (n <= core::kMaxUnknowns && o.mm.empty()) ? core::kNwork
                                                               : std::max<int64_t>(500 * int64_t{n}, 4 * (n + nnz));
  const int64_t max_words = std::min<int64_t>(std::numeric_limits<int32_t>::max() / yale::kIntsPerValue<V>,
                                              (int64_t{16} << 30) / static_cast<int64_t>(sizeof(V)));

  std::printf(" system              %s\n", sys.label.c_str());
  std::printf(" value type          %s\n", o.type.c_str());
  std::printf(" n, nnz(A)           %d %lld\n", n, static_cast<long long>(nnz));

  for (;;) {
    if (nwork > max_words) {
      std::printf(" the factors do not fit in %lld words\n", static_cast<long long>(max_words));
      return 1;
    }
    const auto nw = static_cast<int32_t>(nwork);
    yale::BasicWorkspace<V> ws(nw);
    int32_t flag = 0, esp = 0;

    double t_order = 1e300, t_symbolic = 1e300, t_factor = 1e300;
    for (int r = 0; r < o.repeat; ++r) {
      const double t0 = cpu_seconds();
      yale::odrv<V>(n, ia, ja, a, perm, iperm, nw, ws, 1, flag);
      t_order = std::min(t_order, cpu_seconds() - t0);
      if (flag != 0) break;
    }
    if (flag == 0) {
      for (int r = 0; r < o.repeat; ++r) {
        // The symbolic step (job 5), then the numeric factorisation and
        // solve on its structure (job 2), timed apart.
        flag = 0;
        const double t0 = cpu_seconds();
        yale::ndrv<V>(n, perm, perm, iperm, ia, ja, a, b, z, nw, ws, esp, 5, flag);
        const double t1 = cpu_seconds();
        if (flag == 0) yale::ndrv<V>(n, perm, perm, iperm, ia, ja, a, b, z, nw, ws, esp, 2, flag);
        t_symbolic = std::min(t_symbolic, t1 - t0);
        t_factor = std::min(t_factor, cpu_seconds() - t1);
        if (flag != 0) break;
      }
    }
    if (flag != 0) {
      if (capacity_flag(flag, n) && o.nwork == 0) {
        nwork *= 2;
        continue;
      }
      std::printf(" FLAG=%d (%s), ESP=%d\n", flag, describe(flag, n), esp);
      return 1;
    }

    // Sizes and work, read from the structure left in the workspace.
    const int32_t nl = ws.iword(n + 1) - 1, nu = ws.iword(2 * n + 2) - 1;
    const auto l_start = ws.ints(1, n + 1), u_start = ws.ints(n + 2, n + 1), l_col = ws.ints(2 * n + 3, nl);
    int64_t updates = 0;  // inner updates: row_acc -= x * u_val
    for (int32_t k = 1; k <= n; ++k)
      for (int32_t p = l_start(k); p < l_start(k + 1); ++p) updates += u_start(l_col(p) + 1) - u_start(l_col(p));
    const int64_t solve_ops = int64_t{nl} + 2 * int64_t{nu} + n;  // forward, scaling of U, back substitution
    const int64_t total = updates + solve_ops;

    // Fill of the natural order, for comparison (structure only).
    int32_t nat_l = -1, nat_u = -1;
    {
      std::vector<int32_t> id(static_cast<std::size_t>(n));
      for (int32_t i = 0; i < n; ++i) id[i] = i + 1;
      int32_t f = 0, e = 0;
      std::vector<V> zz(static_cast<std::size_t>(n));
      yale::ndrv<V>(n, id, id, id, ia, ja, a, b, zz, nw, ws, e, 5, f);
      if (f == 0) nat_l = ws.iword(n + 1) - 1, nat_u = ws.iword(2 * n + 2) - 1;
    }

    // Residual in extended precision.
    long double rmax = 0, amax = 0, zmax = 0, err1 = 0;
    for (int32_t i = 1; i <= n; ++i) {
      std::complex<long double> r(-Tr::re(b[i - 1]), -Tr::im(b[i - 1]));
      long double rowsum = 0;
      for (int32_t e = ia[i - 1]; e < ia[i]; ++e) {
        const std::complex<long double> aij(Tr::re(a[e - 1]), Tr::im(a[e - 1]));
        const std::complex<long double> zj(Tr::re(z[ja[e - 1] - 1]), Tr::im(z[ja[e - 1] - 1]));
        r += aij * zj;
        rowsum += std::abs(aij);
      }
      rmax = std::max(rmax, std::abs(r));
      amax = std::max(amax, rowsum);
      const std::complex<long double> zi(Tr::re(z[i - 1]), Tr::im(z[i - 1]));
      zmax = std::max(zmax, std::abs(zi));
      err1 = std::max(err1, std::abs(zi - std::complex<long double>(1, 0)));
    }

    std::printf(" workspace           %d words, %d spare\n", nw, esp);
    std::printf(" ordering time       %.4f s\n", t_order);
    std::printf(" symbolic time       %.4f s\n", t_symbolic);
    std::printf(" factor+solve time   %.4f s  (numeric factorisation and solve)\n", t_factor);
    std::printf(" nnz(L), nnz(U)      %d %d\n", nl, nu);
    if (nat_l >= 0)
      std::printf(" natural order       nnz(L) %d, nnz(U) %d\n", nat_l, nat_u);
    else
      std::printf(" natural order       structure does not fit the workspace\n");
    std::printf(" multiply-adds       %lld (elimination %lld, solves %lld)\n", static_cast<long long>(total),
                static_cast<long long>(updates), static_cast<long long>(solve_ops));
    std::printf(" rate                %.1f million multiply-adds/s\n", static_cast<double>(total) / t_factor / 1e6);
    std::printf(" block kernel        %s\n", yale::block_kernel_name());
    std::printf(" residual            %.3e  (|Az-b| / (|A| |z|), max norms)\n",
                static_cast<double>(rmax / (amax * zmax)));
    if (sys.b_is_ones_product) std::printf(" error vs ones       %.3e\n", static_cast<double>(err1));
    return 0;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parse(argc, argv);
  if (o.ftz) {
    // Subnormal results flushed to zero: shows how much of the time goes to
    // the tiny entries far from the diagonal of a dominant matrix.
#if defined(__SSE__)
    _mm_setcsr(_mm_getcsr() | 0x8040);
#else
    std::fprintf(stderr, "yale_bench: --ftz is not available on this processor\n");
#endif
  }
  std::optional<System> sys;
  if (!o.deck.empty())
    sys = deck_system(o);
  else if (!o.mm.empty())
    sys = mm_system(o);
  else
    sys = grid_system(o.nx, o.ny, o.type == "c" || o.type == "z");
  if (!sys) return 1;
  if (o.type == "s") return run<float>(*sys, o);
  if (o.type == "d") return run<double>(*sys, o);
  if (o.type == "c") return run<core::ccomplex>(*sys, o);
  return run<core::zcomplex>(*sys, o);
}
