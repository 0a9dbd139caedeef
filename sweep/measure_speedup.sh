#!/bin/sh
# Wall time of a 16-point sweep (4 frequencies x 4 water proportions) of a
# 30 x 30 deck, one run at a time and two at a time.
#   sweep/measure_speedup.sh BUILD_DIR [DECK]
# DECK defaults to examples/shale_small.deck with the grid set to 30 x 30
# (two layers of 15 cells).
set -eu
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
deck=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -z "$deck" ]; then
  deck=$work/grid30.deck
  sed -e '5s/^[0-9]*/30/' -e '6s/^[0-9]*/30/' -e '10s/^[0-9]*/15/' -e '30s/^[0-9]*/15/' \
    "$src/examples/shale_small.deck" > "$deck"
fi
for j in 1 2; do
  start=$(date +%s.%N)
  "$build/sweep/upscale_sweep" pwave_upscale "$deck" --exe "$build/drivers/pwave_upscale" \
    --freq 1:1000:4 --phiw 0.05,0.1,0.15,0.2 -o "$work/j$j" -j $j -q --no-plot || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" -v j="$j" 'BEGIN { printf "-j %s: %.2f s\n", j, b - a }'
done
