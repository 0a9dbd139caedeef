#!/bin/sh
# Wall time of a 16-point sweep (4 frequencies x 4 water proportions) of a
# 30 x 30 deck, one run at a time and two at a time.
#   sweep/measure_speedup.sh BUILD_DIR [DECK] [REPEATS]
# DECK defaults to examples/shale_small.deck with the grid set to 30 x 30
# (two layers of 15 cells). The two settings are timed in turn, REPEATS times
# each (default 5), each time from an empty sweep directory, so that other
# work on the machine falls on both alike; the best and the median times and
# the ratio of the best times are printed.
set -eu
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
deck=${2:-}
repeats=${3:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -z "$deck" ]; then
  deck=$work/grid30.deck
  sed -e '5s/^[0-9]*/30/' -e '6s/^[0-9]*/30/' -e '10s/^[0-9]*/15/' -e '30s/^[0-9]*/15/' \
    "$src/examples/shale_small.deck" > "$deck"
fi
echo "cores available: $(nproc); load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
i=1
while [ "$i" -le "$repeats" ]; do
  for j in 1 2; do
    rm -rf "$work/j$j"
    start=$(date +%s.%N)
    "$build/sweep/upscale_sweep" pwave_upscale "$deck" --exe "$build/drivers/pwave_upscale" \
      --freq 1:1000:4 --phiw 0.05,0.1,0.15,0.2 -o "$work/j$j" -j $j -q --no-plot 2> /dev/null ||
      { echo "sweep with -j $j failed" >&2; exit 1; }
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }' >> "$work/times$j"
  done
  i=$((i + 1))
done
for j in 1 2; do
  sort -n "$work/times$j" | awk -v j="$j" '
    { t[NR] = $1 }
    END { printf "-j %s: best %.3f s, median %.3f s over %d runs (", j, t[1], t[int((NR + 1) / 2)], NR
          for (i = 1; i <= NR; ++i) printf "%s%.3f", (i > 1 ? " " : ""), t[i]; print ")" }'
done
b1=$(sort -n "$work/times1" | head -1)
b2=$(sort -n "$work/times2" | head -1)
awk -v a="$b1" -v b="$b2" 'BEGIN { printf "speedup (best -j 1 / best -j 2): %.2f\n", a / b }'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
