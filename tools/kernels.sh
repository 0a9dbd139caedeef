#!/usr/bin/env bash
# The dense kernels this processor runs, as UPSCALE_KERNEL names them:
#   tools/kernels.sh            all of them, plain first
#   tools/kernels.sh narrower   all but the widest (what a run takes by default)
set -euo pipefail
flags=$(grep -m1 '^flags' /proc/cpuinfo 2> /dev/null || true)
has() { [[ " $flags " == *" $1 "* ]]; }
kernels=(plain)
if has avx2 && has fma; then kernels+=(avx2); fi
if has avx512f && has avx512dq; then kernels+=(avx512); fi
if [ "${1:-}" = narrower ]; then unset 'kernels[-1]'; fi
echo "${kernels[@]}"
