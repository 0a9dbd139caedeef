#!/usr/bin/env bash
# The sparse engine of the tensor program against sequential MUMPS on the
# compressional system of a deck's material tiled over N x N cells: both on
# one core (pinned to the same one, one-threaded OpenBLAS), then the engine
# on two threads and over a 30-frequency spectrum (one analysis, 30
# factorisations). Prints the raw lines and a table of the ratios. Times are
# processor seconds of the factorisation (the machine may be shared);
# memory is the rise of the process's peak resident size over the solver's
# life.
#
#   bench/measure_engine.sh [BUILD_DIR] [N ...]      (default: build 60 120 240)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(60 120 240)
engine="$build/bench/engine/engine_bench"
mumps="$build/bench/engine/mumps_seq_bench"
deck="$repo/examples/ice.deck"
[ -x "$engine" ] || { echo "measure_engine: $engine not built (cmake --build $build --target engine_bench)" >&2; exit 1; }
scratch="$(mktemp -d "${TMPDIR:-/tmp}/measure_engine.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"  # the coefficient routines leave their plotting files here

field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<< "$2"; }
printf '%5s %9s %9s %6s %9s %9s %6s %12s %9s %8s %8s %6s\n' N engine_s mumps_s ratio lu_s engine2_s speedup factor_entries gflops peak_GB mumps_GB spectrum_s
for n in "${sizes[@]}"; do
  e1=$(OPENBLAS_NUM_THREADS=1 taskset -c 0 "$engine" "$n" 1 automatic 1 "$deck" 2> /dev/null)
  echo "$e1" >&2
  m=""; lu=""
  if [ -x "$mumps" ]; then
    m=$(OPENBLAS_NUM_THREADS=1 taskset -c 0 "$mumps" "$n" ldlt metis "$deck")
    echo "$m" >&2
    lu=$(OPENBLAS_NUM_THREADS=1 taskset -c 0 "$mumps" "$n" lu metis "$deck")
    echo "$lu" >&2
  fi
  e2=$("$engine" "$n" 2 automatic 1 "$deck" 2> /dev/null)
  echo "$e2" >&2
  sp=$(OPENBLAS_NUM_THREADS=1 taskset -c 0 "$engine" "$n" 1 automatic 30 "$deck" 2> /dev/null)
  echo "$sp" >&2
  # The same factorisation on OpenBLAS's AVX2 (Haswell) and, where the
  # processor has it, AVX-512 (SkylakeX) kernels: the engine's dense work is
  # OpenBLAS's, whose kernel OPENBLAS_CORETYPE forces (here, not in tests).
  for coretype in Haswell $(grep -qw avx512f /proc/cpuinfo && echo SkylakeX); do
    ec=$(OPENBLAS_CORETYPE=$coretype OPENBLAS_NUM_THREADS=1 taskset -c 0 "$engine" "$n" 1 automatic 1 "$deck" 2> /dev/null)
    echo "OpenBLAS $coretype: $(field factorise_cpu_s "$ec") s, $(field gflops_cpu "$ec") GFlop/s" >&2
  done
  t1=$(field factorise_cpu_s "$e1")
  tm=$(field factorise_cpu_s "$m"); tl=$(field factorise_cpu_s "$lu")
  t2=$(field factorise_s "$e2"); w1=$(field factorise_s "$e1")
  spectrum=$(awk -v a="$(field analyse_cpu_s "$sp")" -v f="$(field factorise_cpu_s "$sp")" 'BEGIN { printf "%.1f", a + 30 * f }')
  ratio=$(awk -v a="$t1" -v b="$tm" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
  speedup=$(awk -v a="$w1" -v b="$t2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
  printf '%5s %9s %9s %6s %9s %9s %6s %12s %9s %8s %8s %6s\n' "$n" "$t1" "${tm:--}" "$ratio" "${tl:--}" "$t2" "$speedup" \
    "$(field factor_entries "$e1")" "$(field gflops_cpu "$e1")" "$(field peak_GB "$e1")" "$(field peak_GB "$m")" "$spectrum"
done
