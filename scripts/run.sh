#!/usr/bin/env bash
# Builds the program and starts it; extra arguments go to the program
# (its own options, see --help, and the windowing library's).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target fluid
exec ./build/fluid "$@"
