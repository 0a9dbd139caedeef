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
  [fuzz_deck]="upscaling/readata.cpp upscaling/deck_checks.cpp core/text_in.cpp core/sha256.cpp core/text_out.cpp core/output_file.cpp core/stop_error.cpp core/stop_codes.cpp fuzz/stop_throws.cpp"
  [fuzz_porosity]="model/porosity.cpp core/text_in.cpp core/sha256.cpp core/stop_error.cpp core/stop_codes.cpp fuzz/stop_throws.cpp"
  [fuzz_matrix_market]="sparse_io/matrix_market.cpp core/text_in.cpp core/sha256.cpp"
  [fuzz_label_image]="tensor/images.cpp tensor/png_decoder.cpp tensor/tiff_decoder.cpp tensor/text_grid.cpp tensor/file_access.cpp core/sha256.cpp core/replace_file.cpp core/gnuplot_run.cpp core/output_file.cpp core/text_out.cpp core/stop_error.cpp core/stop_codes.cpp fuzz/stop_throws.cpp"
)
# Libraries a target links beyond the standard library.
declare -A libs=([fuzz_label_image]="-lpng -ltiff")
for t in fuzz_records fuzz_deck fuzz_porosity fuzz_matrix_market fuzz_label_image; do
  files=("$repo/fuzz/$t.cpp")
  for s in ${sources[$t]}; do files+=("$repo/$s"); done
  # shellcheck disable=SC2086  # the libraries are separate words
  "$cxx" "${flags[@]}" "${files[@]}" ${libs[$t]:-} -o "$out/$t"
  echo "$t"
done
