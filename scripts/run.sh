#!/usr/bin/env bash
# Installs what building and running the program needs when it is missing
# (scripts/install-deps.sh program), builds the program and starts it; extra
# arguments go to the program (its own options, see --help, and the
# windowing library's).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh program
# A new build folder is configured for the program alone, since the test and
# benchmark libraries may not be installed; one that scripts/test.sh made
# keeps its settings.
options=()
[ -f build/CMakeCache.txt ] || options=(-DFLUID_BUILD_TESTS=OFF -DFLUID_BUILD_BENCH=OFF)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
cmake --build build -j"$(nproc)" --target fluid
exec ./build/fluid "$@"
