#!/bin/sh
# The spectrum benchmark of tensor_upscale: 100 frequencies spaced evenly on
# a log scale from 1e-3 to 1e5 Hz of examples/ice.deck refined to N x N
# cells, both tests (or the periodic test), by the reduced sweep; against a
# one-frequency run of the same sample (CPU ratio, target <= 12) and against
# direct solves at five of its frequencies (each modulus' difference
# relative to |C|, target <= 1e-6, and within the bounds the two runs
# report). Wall and CPU time of both runs are printed.
#   bench/spectrum_reduced.sh [BUILD_DIR] [N] [BOUNDARY] [THREADS]
#   (defaults: build 120 sealed 1; BOUNDARY periodic or sealed)
set -eu
build=${1:-build}
n=${2:-120}
boundary=${3:-sealed}
threads=${4:-1}
bin=$build/tensor/tensor_upscale
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s/^60   nx/$n   nx/; s/^60   ny/$n   ny/" "$here/examples/ice.deck" > "$work/ice.deck"
common="--boundary $boundary --threads $threads --quiet"
# "CPU WALL" seconds of a run.
cpu() { /usr/bin/time -f "%U %S %e" -o "$work/t" "$@" > /dev/null 2>&1; awk '{print $1 + $2, $3}' "$work/t"; }
one=$(cpu "$bin" "$work/ice.deck" --freq 1 $common -o "$work/one")
sweep=$(cpu "$bin" "$work/ice.deck" --freq 1e-3:1e5:100 $common -o "$work/sweep")
# Rows after the two header lines (names, units).
for k in 3 27 51 76 99; do
  f=$(awk -F, -v k="$k" 'NR == k + 3 {print $1}' "$work/sweep/tensor.csv")
  "$bin" "$work/ice.deck" --freq "$f" $common --frequency-method direct -o "$work/direct$k" > /dev/null 2>&1
done
python3 - "$work" $one $sweep <<'PY'
import csv, json, math, sys
work, one, one_wall, sweep, sweep_wall = sys.argv[1], *map(float, sys.argv[2:6])
def rows(path):
    r = list(csv.reader(open(path)))
    return [dict(zip(r[0], x)) for x in r[2:]]
s = rows(work + "/sweep/tensor.csv")
run = json.load(open(work + "/sweep/run.json"))
print("grid %s x %s, 100 frequencies, %s boundaries" % (run["grid"]["nx"], run["grid"]["ny"], run["boundary"]))
print("CPU one frequency %.2f s, sweep %.2f s, ratio %.2f (target <= 12)" % (one, sweep, sweep / one))
print("wall one frequency %.2f s, sweep %.2f s" % (one_wall, sweep_wall))
print("method %s, factorisations %d at %s Hz" % (run["frequency_method"], run["full_factorisations"],
      ", ".join("%.3g" % f for f in run["factorisation_frequencies_hz"])))
def z(r, c): return complex(float(r[c + "_re"]), float(r[c + "_im"]))
comps = [c for c in ["c11", "c13", "c31", "c33", "c55", "c15", "c35", "c51", "c53"]
         if s[0].get(c + "_re", "") not in ("", "nan") and not math.isnan(z(s[0], c).real)]
worst = 0.0
for k in (3, 27, 51, 76, 99):
    d = rows(work + "/direct%d/tensor.csv" % k)[0]
    r = s[k]
    size = max(abs(z(d, c)) for c in comps)
    diff = max(abs(z(r, c) - z(d, c)) for c in comps) / size
    allowed = float(r["forward_error_bound"]) + float(d["forward_error_bound"])
    worst = max(worst, diff)
    print("%10.4g Hz: max |reduced - direct| / |C| = %.2e, bounds reduced %.2e direct %.2e%s" % (
        float(r["freq_hz"]), diff, float(r["forward_error_bound"]), float(d["forward_error_bound"]),
        "" if diff <= allowed else "  OUTSIDE THE BOUNDS"))
print("worst difference %.2e (target <= 1e-6)" % worst)
PY
