#!/usr/bin/env bash
# The page's figures, in one command on one machine: the median time of one
# whole step with the 4-lane fast kernels timed in the page in headless
# chromium (performance.now(), cross-origin isolated for its full
# resolution) against the native fast step held to 4 lanes (SSE2), three
# rounds each in turns, the middle of each one's medians compared; then the
# page's frames per second with the default views.
#
# Usage: scripts/web-page-bench.sh [STEPS]   (default 1000)
set -euo pipefail
cd "$(dirname "$0")/.."
steps="${1:-1000}"
native="${BUILD_DIR:-build}"
if [ ! -f "$native/CMakeCache.txt" ]; then
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$native" --target step_timing -j"$(nproc)" >/dev/null
scripts/web.sh >/dev/null

host=()
page=()
for round in 1 2 3; do
  host+=("$("$native/bench/step_timing" "$steps" 4 | sed -n 's/^median step \([0-9.]*\) ms.*/\1/p')")
  page+=("$(node web/page-bench.js build-web "$steps" 1 | sed -n 's/^page median step \([0-9.]*\)$/\1/p')")
done
fps="$(node web/page-bench.js build-web "$steps" 0 | sed -n 's/^frames per second //p')"
python3 - "$fps" "${host[@]}" "${page[@]}" <<'PY'
import statistics
import sys
fps = sys.argv[1]
values = [float(x) for x in sys.argv[2:]]
host, page = values[:3], values[3:]
h, p = statistics.median(host), statistics.median(page)
print("median step, 4 lanes: native %.4f ms, in the page (headless chromium) %.4f ms; ratio %.2f" % (h, p, p / h))
print("  rounds: native %s; page %s" % (", ".join("%.4f" % x for x in host), ", ".join("%.4f" % x for x in page)))
print("frames per second in the page, default views, headless chromium: %s" % fps)
PY
