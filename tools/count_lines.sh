#!/usr/bin/env bash
# Counts the lines of the programs (core model waves fem yale upscaling drivers sweep engine tensor python sparse_io)
# and of the tests (tests/), non-blank and not only a // comment, in .cpp
# and .hpp files, and prints the ratio of test lines to program lines.
#
#   tools/count_lines.sh            totals and the ratio
#   tools/count_lines.sh -v         also one line per folder
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
verbose=0
[[ "${1:-}" == "-v" ]] && verbose=1

count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.hpp' \) -print0 2>/dev/null |
    xargs -0 -r cat | grep -Ev '^[[:space:]]*(//.*)?$' | wc -l
}

cd "$repo"
program=0
for d in core model waves fem yale upscaling drivers sweep engine tensor python sparse_io; do
  n=$(count "$d")
  program=$((program + n))
  ((verbose)) && printf '%-16s %6d\n' "$d" "$n"
done
if ((verbose)); then
  for d in tests/*/; do printf '%-16s %6d\n' "${d%/}" "$(count "$d")"; done
fi
tests=$(count tests)
printf 'program lines %d, test lines %d, tests / program %.2f\n' "$program" "$tests" \
  "$(awk -v t="$tests" -v p="$program" 'BEGIN { print t / p }')"
