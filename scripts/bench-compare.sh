#!/usr/bin/env bash
# The step and frame benchmarks of a previous commit and of this working
# tree, side by side in one command: REV is checked out into a temporary git
# worktree, both sides are built alike (Release, benchmarks on, tests and the
# CUDA backend off: solver_bench and frame_bench), and the two programs run
# in turns, REV then here, round after round, frame_bench on a virtual X
# server of its own. One table follows: each benchmark's median wall-clock
# time over the rounds on either side, the ratio here / REV, each side's
# spread over its rounds ((slowest - fastest) / median), which tells what
# "within noise" means on this machine, and whether the two sides' ranges
# of times overlap (as they do within noise) or which side is faster.
#
# Usage: scripts/bench-compare.sh [REV]   (default HEAD~1, the commit before this one)
#   ROUNDS     runs of each program on each side (default 3)
#   BENCH_FILTER  a --benchmark_filter regular expression for both programs
#                 (default: every benchmark)
#
# Run by hand, not by scripts/test.sh. Needs git, CMake, Google Benchmark,
# GLUT and Xvfb (scripts/install-deps.sh tests). This tree is built in
# build-bench-compare/ (kept, so a second run builds only what changed);
# REV's worktree and build are removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

rev=${1:-HEAD~1}
rounds=${ROUNDS:-3}
filter=${BENCH_FILTER:-}
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "bench-compare: ROUNDS must be a positive number, not '$rounds'" >&2; exit 2; }
commit=$(git rev-parse --verify --quiet "$rev^{commit}") ||
  { echo "bench-compare: '$rev' names no commit" >&2; exit 2; }
here_build=build-bench-compare
options=(-DFLUID_BUILD_BENCH=ON -DFLUID_BUILD_TESTS=OFF -DFLUID_CUDA=OFF)
targets=(solver_bench frame_bench)

work=$(mktemp -d)
remove_work() { rm -rf "$work"; }
on_exit remove_work
worktree="$work/rev"
git worktree add --quiet --detach "$worktree" "$commit"
remove_worktree() {
  git worktree remove --force "$worktree" 2>/dev/null || true
  git worktree prune
}
on_exit remove_worktree

describe() { git log -1 --format='%h "%s"' "$1"; }
echo "A: $rev = $(describe "$commit")"
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "B: this working tree (HEAD = $(describe HEAD), with uncommitted changes)"
else
  echo "B: this working tree (HEAD = $(describe HEAD))"
fi

echo "building A in its worktree, B in $here_build/ (Release; ${targets[*]})"
(cd "$worktree" && build_targets build "${options[@]}" -- "${targets[@]}")
build_targets "$here_build" "${options[@]}" -- "${targets[@]}"
a_dir="$worktree/build/bench"
b_dir="$here_build/bench"

start_xvfb 1280x1024x24

run() {  # side, program, round
  local out="$work/$1-$2-$3.json" dir
  if [ "$1" = A ]; then dir=$a_dir; else dir=$b_dir; fi
  if ! "$dir/$2" --benchmark_out="$out" --benchmark_out_format=json ${filter:+--benchmark_filter="$filter"} \
    >"$work/log" 2>&1; then
    echo "bench-compare: $2 of side $1 failed:" >&2
    cat "$work/log" >&2
    exit 1
  fi
}
for ((round = 1; round <= rounds; round++)); do
  echo "round $round of $rounds: solver_bench A, B; frame_bench A, B"
  for program in solver_bench frame_bench; do
    run A "$program" "$round"
    run B "$program" "$round"
  done
done

python3 - "$work" "$rounds" <<'PY'
import glob
import json
import os
import re
import statistics
import sys

work, rounds = sys.argv[1], int(sys.argv[2])
to_us = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
times = {}   # (program, name) -> {"A": [...], "B": [...]} in microseconds
order = []
failed = []
for path in sorted(glob.glob(os.path.join(work, "*.json"))):
    side, program, _ = os.path.basename(path)[:-len(".json")].split("-")
    if os.path.getsize(path) == 0:
        continue  # BENCH_FILTER matched none of this program's benchmarks
    with open(path) as f:
        report = json.load(f)
    for b in report["benchmarks"]:
        if b.get("run_type") == "aggregate":
            continue
        key = (program, re.sub(r"/min_time:[0-9.]+$", "", b.get("run_name", b["name"])))
        if b.get("error_occurred"):
            failed.append("%s %s on side %s: %s" % (program, key[1], side, b.get("error_message", "")))
            continue
        if key not in times:
            times[key] = {"A": [], "B": []}
            order.append(key)
        times[key][side].append(b["real_time"] * to_us[b.get("time_unit", "ns")])

def shown(us):
    return "%10.3f ms" % (us / 1e3) if us >= 1000 else "%10.2f us" % us

def spread(xs):
    return "%5.1f%%" % (100 * (max(xs) - min(xs)) / statistics.median(xs)) if len(xs) > 1 else "    -"

def verdict(a, b):
    if min(b) > max(a):
        return "B slower"
    if max(b) < min(a):
        return "B faster"
    return "overlap"

print()
print("%-40s %13s %13s %7s %8s %8s  %s" % ("benchmark (median of %d rounds)" % rounds, "A", "B", "B / A",
                                           "spread A", "spread B", "ranges"))
if not order:
    sys.exit("bench-compare: no benchmark ran" + (" (BENCH_FILTER matched none)" if failed == [] else ""))
for program in ("solver_bench", "frame_bench"):
    for key in [k for k in order if k[0] == program]:
        a, b = times[key]["A"], times[key]["B"]
        name = key[1][len("BM_"):] if key[1].startswith("BM_") else key[1]
        if not a or not b:
            print("%-40s %13s %13s   (only on side %s)" % (name, shown(statistics.median(a)) if a else "",
                                                         shown(statistics.median(b)) if b else "", "A" if a else "B"))
            continue
        ma, mb = statistics.median(a), statistics.median(b)
        print("%-40s %13s %13s %6.3fx %8s %8s  %s" % (name, shown(ma), shown(mb), mb / ma, spread(a), spread(b),
                                                    verdict(a, b)))
print("(wall-clock times; B / A above 1 means this tree is slower; spread: (slowest - fastest) / median of a")
print("side's rounds; ranges: whether the two sides' fastest-to-slowest ranges overlap, as they do within noise)")
for line in failed:
    print("failed: " + line)
sys.exit(1 if failed else 0)
PY
