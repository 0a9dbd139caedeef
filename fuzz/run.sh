#!/usr/bin/env bash
# Runs fuzz targets for as long as wanted, growing a private corpus.
#
#   fuzz/run.sh [target|all] [seconds] [jobs]
#       target   fuzz_records, fuzz_deck, fuzz_porosity, fuzz_matrix_market
#                or all (default), one after the other
#       seconds  per target (default 600; 0 runs until interrupted)
#       jobs     parallel fuzzing processes per target (default 1)
#
# The corpus grows in <repo>/build-fuzz/corpus/<target> and is reused by the
# next run; failing inputs are written to <repo>/build-fuzz/findings/<target>/.
# To keep a finding: fix the fault, then copy the input into
# fuzz/regressions/<short name>/ with a name that says what it exercises.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
which="${1:-all}"
seconds="${2:-600}"
jobs="${3:-1}"
build="${FUZZ_BUILD_DIR:-$repo/build-fuzz}"
source "$repo/fuzz/targets.sh"

"$repo/fuzz/build.sh" "$build" >/dev/null
targets=("${FUZZ_TARGETS[@]}")
[[ "$which" != all ]] && targets=("$which")
status=0
for t in "${targets[@]}"; do
  [[ -x "$build/$t" ]] || { echo "no target $t" >&2; exit 2; }
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  echo "== $t for ${seconds} s, $jobs job(s); findings in $build/findings/$t/"
  parallel=()
  ((jobs > 1)) && parallel=(-fork="$jobs")
  # libFuzzer refuses a folder that does not exist: a target may have no
  # seeds or no kept findings yet (git keeps no empty folder).
  folders=("$build/corpus/$t")
  for d in "$(corpus_of "$t")" "$(regressions_of "$t")"; do
    [[ -d "$d" ]] && folders+=("$d")
  done
  "$build/$t" "${FUZZ_OPTIONS[@]}" "${parallel[@]}" -max_total_time="$seconds" \
      -artifact_prefix="$build/findings/$t/" "${folders[@]}" || status=1
done
exit $status
