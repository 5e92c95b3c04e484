#!/usr/bin/env bash
# Runs the solver benchmark once and prints, for the whole step and for each
# kernel, the reference and fast times of that run and their ratio
# reference / fast (wall-clock and CPU time).
#
# Usage: scripts/bench-ratios.sh [benchmark options...]
#   Without options the benchmark runs 5 repetitions of every benchmark in
#   random order (so that a change in machine load hits both sides alike) and
#   the medians are compared. BUILD_DIR names the build directory (default:
#   build); the benchmark is built there first if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
build="${BUILD_DIR:-build}"
bench="$build/bench/solver_bench"
build_targets "$build" -- solver_bench

if [ $# -eq 0 ]; then
  set -- --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true
fi
json="$(mktemp)"
log="$(mktemp)"
trap 'rm -f "$json" "$log"' EXIT
if ! "$bench" --benchmark_out="$json" --benchmark_out_format=json "$@" >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi

python3 - "$json" <<'PY'
import json
import statistics
import sys

with open(sys.argv[1]) as f:
    report = json.load(f)

to_us = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
runs = {}        # run name -> list of (real, cpu) in microseconds, one per repetition
medians = {}     # run name -> (real, cpu) from the median aggregate
for b in report["benchmarks"]:
    if b.get("error_occurred"):
        sys.exit("benchmark %s failed: %s" % (b["name"], b.get("error_message", "")))
    name = b.get("run_name", b["name"])
    scale = to_us[b.get("time_unit", "ns")]
    times = (b["real_time"] * scale, b["cpu_time"] * scale)
    if b.get("run_type") == "aggregate":
        if b.get("aggregate_name") == "median":
            medians[name] = times
    else:
        runs.setdefault(name, []).append(times)

def time_of(name):
    if name in medians:
        return medians[name]
    if name in runs:
        samples = runs[name]
        return (statistics.median(t[0] for t in samples), statistics.median(t[1] for t in samples))
    return None

def shown(us):
    return "%9.3f ms" % (us / 1e3) if us >= 1000 else "%9.2f us" % us

kernels = []
for name in list(medians) + list(runs):
    if name.startswith("BM_") and name.endswith("_Reference"):
        kernel = name[len("BM_"):-len("_Reference")]
        if kernel not in kernels and time_of("BM_%s_Fast" % kernel):
            kernels.append(kernel)
kernels.sort(key=lambda k: (k != "Step", k))
if not kernels:
    sys.exit("no pairs of BM_<name>_Reference and BM_<name>_Fast in the output")

print("%-16s %12s %12s %9s %9s" % ("", "reference", "fast", "ratio", "cpu ratio"))
for kernel in kernels:
    ref = time_of("BM_%s_Reference" % kernel)
    fast = time_of("BM_%s_Fast" % kernel)
    print("%-16s %12s %12s %8.1fx %8.1fx" % (kernel, shown(ref[0]), shown(fast[0]), ref[0] / fast[0], ref[1] / fast[1]))
paired = {"BM_%s_%s" % (k, side) for k in kernels for side in ("Reference", "Fast")}
for name in sorted(set(medians) | set(runs)):
    if name not in paired:
        print("%-16s %12s %12s" % (name[len("BM_"):] if name.startswith("BM_") else name, "", shown(time_of(name)[0])))
what = "medians of the repetitions" if medians or any(len(r) > 1 for r in runs.values()) else "one run each"
print("(wall-clock times, %s; cpu ratio: the same for CPU time)" % what)
context = report.get("context", {})
if "load_avg" in context:
    print("load average during the run: %s" % ", ".join("%.2f" % x for x in context["load_avg"]))
PY
