#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, outside the CMake build (which uses g++).
#
#   fuzz/build.sh [out-dir]        default: <repo>/build-fuzz
#
# Prints the names of the targets it built.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$repo/build-fuzz}"
mkdir -p "$out"
cxx="${FUZZ_CXX:-$(command -v clang++-14 || command -v clang++)}"
flags=(-std=c++20 -g -O1 -Wall -Wextra -fno-omit-frame-pointer
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$repo")

# target: its own source, then the project sources it reads with.
declare -A sources=(
  [fuzz_records]="core/text_in.cpp core/sha256.cpp"
  [fuzz_deck]="drivers/readata.cpp drivers/deck_checks.cpp core/text_in.cpp core/sha256.cpp core/text_out.cpp core/output_file.cpp fuzz/stop_throws.cpp"
  [fuzz_porosity]="model/porosity.cpp core/text_in.cpp core/sha256.cpp fuzz/stop_throws.cpp"
  [fuzz_matrix_market]="sparse_io/matrix_market.cpp core/text_in.cpp core/sha256.cpp"
)
for t in fuzz_records fuzz_deck fuzz_porosity fuzz_matrix_market; do
  files=("$repo/fuzz/$t.cpp")
  for s in ${sources[$t]}; do files+=("$repo/$s"); done
  "$cxx" "${flags[@]}" "${files[@]}" -o "$out/$t"
  echo "$t"
done
