#!/usr/bin/env bash
# Builds the browser build in build-web/ with Debian's Emscripten: the solver
# compiled to WebAssembly with 128-bit SIMD, and the programs of web/.
#
# Debian's emcc runs its JavaScript tools with node and needs Debian's
# JavaScript modules (acorn) for them; node from elsewhere does not look in
# /usr/share/nodejs, hence NODE_PATH.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v emcmake >/dev/null || ! command -v emcc >/dev/null; then
  echo "web.sh: Emscripten (emcc, emcmake) is not installed; run scripts/install-deps.sh tests" >&2
  exit 1
fi
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
if ! emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release -DFLUID_CUDA=OFF >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
cmake --build build-web -j"$(nproc)"
