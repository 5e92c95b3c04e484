#!/usr/bin/env bash
# The median time of one whole step with the 4-lane fast kernels, as
# WebAssembly under node and natively (SSE2, held to 4 lanes), in one command
# on one machine, and their ratio. The two programs run in turns, three times
# each, and the middle of each one's three medians is compared.
#
# Usage: scripts/web-bench.sh [STEPS]   (default 1000)
set -euo pipefail
cd "$(dirname "$0")/.."
steps="${1:-1000}"
native="${BUILD_DIR:-build}"
if [ ! -f "$native/CMakeCache.txt" ]; then
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$native" --target step_timing -j"$(nproc)" >/dev/null
scripts/web.sh >/dev/null

median_of() { "$@" | sed -n 's/^median step \([0-9.]*\) ms.*/\1/p'; }
wasm=()
host=()
for round in 1 2 3; do
  host+=("$(median_of "$native/bench/step_timing" "$steps" 4)")
  wasm+=("$(median_of node build-web/checks/step_timing.js "$steps" 4)")
done
python3 - "${host[@]}" "${wasm[@]}" <<'PY'
import statistics
import sys
values = [float(x) for x in sys.argv[1:]]
host, wasm = values[:3], values[3:]
h, w = statistics.median(host), statistics.median(wasm)
print("median step, 4 lanes: native %.4f ms, WebAssembly (node) %.4f ms; ratio %.2f" % (h, w, w / h))
print("  rounds: native %s; WebAssembly %s" % (", ".join("%.4f" % x for x in host), ", ".join("%.4f" % x for x in wasm)))
PY
