#!/usr/bin/env bash
# Installs what the project needs, builds it, and runs it or its tests.
#
#   tools/setup.sh run      install what is missing, build the programs, run
#                           pwave_upscale on examples/ice_small.deck in a
#                           scratch folder and say where the results are
#   tools/setup.sh test     install what is missing, build, run the tests
#   tools/setup.sh install  only install what is missing (used by .ci/run)
#
# Packages come from Debian (apt-get, as root); as another user the missing
# ones are named and the build goes on with what there is (tests that need
# a missing tool are skipped). The one list of packages is here.
set -euo pipefail

packages=(
  cmake g++ make git libgtest-dev libbenchmark-dev   # build and tests
  parallel gnuplot-nox python3-meshio python3-jsonschema  # sweeps, plots, reading the VTK map and run.json back
  libopenblas-dev libmetis-dev libmumps-dev libmumps-seq-dev openmpi-bin libopenmpi-dev  # sparse engines
  libpng-dev libtiff-dev libtomlplusplus-dev         # images and configuration of the tensor program
  pybind11-dev python3-pybind11 python3-numpy python3-dev python3-pytest  # the Python module and its tests
)

src="$(cd "$(dirname "$0")/.." && pwd)"
build="${UPSCALE_BUILD_DIR:-$src/build}"

install_missing() {
  local missing=() p
  command -v dpkg-query > /dev/null 2>&1 || { echo "setup: no dpkg here; install by hand: ${packages[*]}" >&2; return 0; }
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ] || ! command -v apt-get > /dev/null 2>&1; then
    echo "setup: missing ${missing[*]}; install them as root (apt-get install ${missing[*]}); going on without" >&2
    return 0
  fi
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q "${missing[@]}" > /dev/null ||
    { apt-get update -q > /dev/null && apt-get install -y -q "${missing[@]}" > /dev/null; }
}

case "${1:-}" in
  install)
    install_missing
    ;;
  run)
    install_missing
    options=()
    [ -f "$build/CMakeCache.txt" ] || options=(-DUPSCALE_TESTS=OFF -DUPSCALE_BENCH=OFF)
    cmake -S "$src" -B "$build" "${options[@]}" > /dev/null
    cmake --build "$build" -j2 --target pwave_upscale swave_spectrum swave_saturation upscale_sweep > /dev/null
    out="$(mktemp -d "${TMPDIR:-/tmp}/upscale-example.XXXXXX")"
    cd "$out"
    status=0
    "$build/drivers/pwave_upscale" < "$src/examples/ice_small.deck" > report.txt 2> stderr.txt || status=$?
    grep -E "tied (modulus|velocity|1000/Q)" report.txt || true
    echo "pwave_upscale on examples/ice_small.deck ended with exit status $status (40 is a normal end)"
    echo "results in $out: report.txt (the report), run.json (the record), cell_maps.vtk (ParaView), tables and maps"
    [ "$status" -eq 40 ]
    ;;
  test)
    install_missing
    cmake -S "$src" -B "$build" -DUPSCALE_TESTS=ON > /dev/null
    cmake --build "$build" -j2
    ctest --test-dir "$build" --output-on-failure
    ;;
  *)
    sed -n '2,12p' "$0" >&2
    exit 2
    ;;
esac
