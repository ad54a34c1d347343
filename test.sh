#!/usr/bin/env bash
# Installs what is missing, builds ./build and runs every unit, GUI, calibration and golden test
# through ctest. With --full it then builds the benchmarks and the tools, runs the tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer in ./build-asan, and a short pass of every
# fuzzer in ./build-fuzz (clang; see docs/fuzzing.md).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
full=false
case "${1:-}" in
  "") ;;
  --full) full=true ;;
  *) echo "usage: ./test.sh [--full]" >&2; exit 2 ;;
esac
export QT_QPA_PLATFORM=offscreen

"$here/tools/setup.sh"
(cd "$here/build" && ctest --output-on-failure -j"$(nproc)")
$full || exit 0

"$here/tools/setup.sh" --target extras

export UBSAN_OPTIONS=print_stacktrace=1
"$here/tools/setup.sh" build-asan -DORVEK_SANITIZE=ON -DORVEK_BUILD_BENCH=OFF -DORVEK_NATIVE=OFF \
  -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g"
(cd "$here/build-asan" && ctest --output-on-failure -j"$(nproc)")

"$here/tools/setup.sh" build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DORVEK_FUZZ=ON -DORVEK_NATIVE=OFF
(cd "$here/build-fuzz" && ctest --output-on-failure -j"$(nproc)")
