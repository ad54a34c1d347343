#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing) and configures and builds
# the project in ./build, or in the folder given first with the CMake options that follow it:
#   tools/setup.sh [--target NAME]... [DIR [CMAKE_OPTIONS...]]
# Without --target it builds the default targets (the window, the command line and the tests).
# Quiet unless something fails.
set -euo pipefail
cd "$(dirname "$0")/.."

build_args=()
while [ $# -gt 0 ] && [ "$1" = "--target" ]; do
  build_args+=(--target "$2")
  shift 2
done

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libfftw3-dev
          libsndfile1-dev nlohmann-json3-dev libcli11-dev libgtest-dev libgmock-dev
          libbenchmark-dev fonts-liberation2 alsa-utils clang libclang-rt-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  echo "Installing: ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

dir="${1:-build}"
if [ $# -gt 0 ]; then shift; fi
log=$dir/setup.log
mkdir -p "$dir"
if ! { cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" &&
       cmake --build "$dir" -j"$(nproc)" "${build_args[@]}"; } >"$log" 2>&1; then
  grep -E -A5 'error|Error|FAILED' "$log" | head -60
  echo "Build failed; the full log is $log" >&2
  exit 1
fi
