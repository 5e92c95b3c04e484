#!/usr/bin/env bash
# The browser build's figures, in one command on one machine: the median
# time of one whole step with the 4-lane fast kernels natively (SSE2, held
# to 4 lanes), as WebAssembly under node, and in the page in headless
# chromium (performance.now(), cross-origin isolated for its full
# resolution); three rounds each in turns, the middle of each one's medians
# compared. Then the page's frames per second with the default views, on a
# phone's screen and at 1280 x 800.
#
# Usage: scripts/web-bench.sh [STEPS]   (default 1000)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
steps="${1:-1000}"
native="${BUILD_DIR:-build}"
build_targets "$native" -- step_timing
scripts/web.sh >/dev/null

median_of() { "$@" | sed -n 's/^median step \([0-9.]*\) ms.*/\1/p'; }
host=()
wasm=()
page=()
for _ in 1 2 3; do
  host+=("$(median_of "$native/bench/step_timing" "$steps" 4)")
  wasm+=("$(median_of node build-web/checks/step_timing.js "$steps" 4)")
  page+=("$(node bench/web/page-bench.js build-web "$steps" 1 no-fps | sed -n 's/^page median step \([0-9.]*\)$/\1/p')")
done
fps="$(node bench/web/page-bench.js build-web "$steps" 0 | sed -n 's/^frames per second //p' | paste -sd ';' -)"
python3 - "$fps" "${host[@]}" "${wasm[@]}" "${page[@]}" <<'PY'
import statistics
import sys
fps = sys.argv[1]
values = [float(x) for x in sys.argv[2:]]
runs = {"native": values[0:3], "node": values[3:6], "page": values[6:9]}
h = statistics.median(runs["native"])
print("median step, 4 lanes: native %.4f ms" % h)
for name in ("node", "page"):
    m = statistics.median(runs[name])
    print("  WebAssembly in %s: %.4f ms, ratio to native %.2f" % (name, m, m / h))
for name, xs in runs.items():
    print("  rounds, %s: %s" % (name, ", ".join("%.4f" % x for x in xs)))
for screen in fps.split(";"):
    print("frames per second in the page, default views, headless chromium, %s" % screen)
PY
