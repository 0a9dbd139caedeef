#!/usr/bin/env bash
# Counts the lines of the programs and of the tests and prints the ratio of
# test lines to program lines. A line counts when it is not blank and not
# only a comment: // in .cpp and .hpp files, # in .py files.
#
# The program folders are read from the tree: every top-level folder that
# holds a .cpp, .hpp or .py file, except the folders that are not program
# code (tests, bench, fuzz, tools, examples, doc, build folders and hidden
# folders). A new subsystem folder is therefore counted without an edit here.
#
#   tools/count_lines.sh            totals and the ratio
#   tools/count_lines.sh -v         also one line per folder
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
verbose=0
[[ "${1:-}" == "-v" ]] && verbose=1

# Non-blank, non-comment lines of the C++ and Python sources below the given
# folders.
count() {
  local cpp py
  cpp=$(find "$@" -type f \( -name '*.cpp' -o -name '*.hpp' \) -print0 2>/dev/null |
    xargs -0 -r cat | grep -Ecv '^[[:space:]]*(//.*)?$' || true)
  py=$(find "$@" -type f -name '*.py' -print0 2>/dev/null |
    xargs -0 -r cat | grep -Ecv '^[[:space:]]*(#.*)?$' || true)
  echo $((${cpp:-0} + ${py:-0}))
}

# Top-level folders that hold program sources.
program_folders() {
  local d
  for d in */; do
    d="${d%/}"
    case "$d" in
      tests | bench | fuzz | tools | examples | doc | build*) continue ;;
    esac
    if [[ -n "$(find "$d" -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.py' \) \
      -print -quit)" ]]; then
      echo "$d"
    fi
  done
}

cd "$repo"
program=0
for d in $(program_folders); do
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
