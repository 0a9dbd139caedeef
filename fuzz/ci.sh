#!/usr/bin/env bash
# Continuous integration of the fuzz targets: builds each, replays its seed
# corpus and every kept finding, then fuzzes it for a bounded time. Any
# crash, sanitizer report, broken property, timeout or memory blow-up fails
# the run (non-zero exit status); the input that caused it is left in the
# work folder and named in the log.
#
#   fuzz/ci.sh [seconds-per-target]      default 50
#
# Environment: FUZZ_BUILD_DIR (default <repo>/build-fuzz), FUZZ_WORK_DIR
# (default a fresh temporary folder, kept on failure).
set -uo pipefail
shopt -s nullglob
repo="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-50}"
build="${FUZZ_BUILD_DIR:-$repo/build-fuzz}"
work="${FUZZ_WORK_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/upscale-fuzz.XXXXXX")}"
source "$repo/fuzz/targets.sh"

built="$("$repo/fuzz/build.sh" "$build")" || { echo "fuzz: build failed" >&2; exit 1; }
failed=()
for t in "${FUZZ_TARGETS[@]}"; do
  if ! grep -qx "$t" <<<"$built"; then
    echo "fuzz: $t not built (its sources are not in the tree), skipped"
    continue
  fi
  mkdir -p "$work/$t/corpus"
  log="$work/$t.log"
  # Replay: seeds and kept findings, each once.
  inputs=()
  for d in "$(corpus_of "$t")" "$(regressions_of "$t")"; do
    [[ -d "$d" ]] && inputs+=("$d"/*)
  done
  if ! "$build/$t" "${FUZZ_OPTIONS[@]}" -artifact_prefix="$work/$t/" "${inputs[@]}" >"$log.replay" 2>&1; then
    echo "fuzz: $t fails on a kept input; see $log.replay"
    grep -E "property broken|ERROR:|SUMMARY:|Running:" "$log.replay" | tail -5
    failed+=("$t")
    continue
  fi
  # Fuzzing for a bounded time; new inputs go to the work folder only.
  if ! "$build/$t" "${FUZZ_OPTIONS[@]}" -max_total_time="$seconds" -artifact_prefix="$work/$t/" \
      "$work/$t/corpus" "$(corpus_of "$t")" >"$log" 2>&1; then
    echo "fuzz: $t found a failing input; see $log"
    grep -E "property broken|ERROR:|SUMMARY:|Test unit written" "$log" | tail -5
    failed+=("$t")
    continue
  fi
  echo "fuzz: $t clean, $(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$') inputs in ${seconds} s"
done

if ((${#failed[@]})); then
  echo "fuzz: FAILED: ${failed[*]} (work folder kept: $work)"
  exit 1
fi
[[ -z "${FUZZ_WORK_DIR:-}" ]] && rm -rf "$work"
echo "fuzz: all targets clean"
