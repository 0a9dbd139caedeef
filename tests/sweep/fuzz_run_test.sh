#!/usr/bin/env bash
# fuzz/run.sh on a fresh clone: a target without kept findings (no
# regressions folder) must still run. The compiler is replaced by one that
# writes a stand-in target, which fails as libFuzzer does when a corpus
# folder it is given does not exist.
set -euo pipefail
repo="$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/fuzz-run-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
git clone --quiet "$repo" "$work/src" 2>/dev/null || cp -r "$repo" "$work/src"
cp "$repo/fuzz/run.sh" "$work/src/fuzz/run.sh"
rm -rf "$work/src/fuzz/regressions/deck"
cat > "$work/cxx" <<'STUB'
#!/usr/bin/env bash
while [[ $# -gt 0 && "$1" != -o ]]; do shift; done
cat > "$2" <<'TARGET'
#!/usr/bin/env bash
for a in "$@"; do
  [[ "$a" == -* || -d "$a" ]] || { echo "ERROR: folder $a does not exist" >&2; exit 1; }
done
echo "ran with $# arguments"
TARGET
chmod +x "$2"
STUB
chmod +x "$work/cxx"
FUZZ_CXX="$work/cxx" FUZZ_BUILD_DIR="$work/build" "$work/src/fuzz/run.sh" fuzz_deck 1
