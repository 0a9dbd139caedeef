#!/bin/sh
# CPU time (user + system) of a whole pwave_upscale run against UMFPACK's
# factorisation and solve of the same assembled system, measured in turn in
# the same sitting.
#
#   bench/measure_run.sh BUILD_DIR [DECK] [REPEATS]
#
# DECK defaults to examples/ice.deck (60 x 60 cells), REPEATS to 7.  Prints
# every time, the medians and their ratio; CPU time, not wall time, because
# the machine may be shared.  Without build/bench/yale/umfpack_bench (built
# where libsuitesparse-dev is installed) only the run is timed.  The run
# takes the kernel UPSCALE_KERNEL names (plain, avx2, avx512; default the
# widest); UMFPACK's BLAS runs one thread unless OPENBLAS_NUM_THREADS says
# otherwise.
set -eu
build=$(cd "${1:?usage: measure_run.sh BUILD_DIR [DECK] [REPEATS]}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
deck=$(cd "$(dirname "${2:-$here/examples/ice.deck}")" && pwd)/$(basename "${2:-$here/examples/ice.deck}")
repeats=${3:-7}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

export OPENBLAS_NUM_THREADS="${OPENBLAS_NUM_THREADS:-1}"
echo "kernel: ${UPSCALE_KERNEL:-widest}; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
: > run.times
: > umfpack.times
i=0
while [ "$i" -lt "$repeats" ]; do
  /usr/bin/time -f "%U %S" -o t "$build/drivers/pwave_upscale" < "$deck" > report 2> /dev/null || true
  tail -n 1 t | awk '{ print $1 + $2 }' >> run.times
  if [ -x "$build/bench/yale/umfpack_bench" ]; then
    "$build/bench/yale/umfpack_bench" "$deck" 1 | awk '/umfpack cpu seconds/ { print $4 }' >> umfpack.times
  fi
  i=$((i + 1))
done
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
echo "pwave_upscale run, CPU s:        $(tr '\n' ' ' < run.times)"
run=$(median < run.times)
echo "median:                          $run"
if [ -s umfpack.times ]; then
  echo "UMFPACK factor + solve, CPU s:   $(tr '\n' ' ' < umfpack.times)"
  umf=$(median < umfpack.times)
  echo "median:                          $umf"
  echo "ratio run / UMFPACK:             $(awk -v a="$run" -v b="$umf" 'BEGIN { printf "%.2f", a / b }')"
fi
