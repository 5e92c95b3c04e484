#!/usr/bin/env bash
# For a machine with a CUDA GPU: configures and builds with the CUDA backend in
# a build directory of its own, runs the GPU backend's tests (the GPU against
# the host reference, bit for bit) and then benchmarks whole steps on the host
# and on the GPU in the same run.
#
#   scripts/gpu-check.sh [extra CMake arguments, e.g. -DCMAKE_CUDA_ARCHITECTURES=90]
#
# The build directory is build-gpu-check unless FLUID_GPU_BUILD_DIR names
# another. Exits nonzero when the CUDA backend is not built, when the GPU
# tests are skipped (no device visible) or fail.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FLUID_GPU_BUILD_DIR:-build-gpu-check}

echo "== GPU"
if command -v nvidia-smi >/dev/null; then
    nvidia-smi --query-gpu=name,driver_version,compute_cap,memory.total --format=csv,noheader || true
else
    echo "nvidia-smi not found"
fi

echo "== configure ($build)"
configure_log=$(mktemp)
trap 'rm -f "$configure_log"' EXIT
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFLUID_CUDA=ON -DFLUID_BUILD_TESTS=ON -DFLUID_BUILD_BENCH=ON "$@" \
    | tee "$configure_log"
if ! grep -q "GPU backend: built" "$configure_log"; then
    echo "gpu-check: the CUDA backend was not built (see the configure output above)" >&2
    exit 1
fi

echo "== build"
start=$(date +%s)
cmake --build "$build" -j"$(nproc)" --target solver_tests gpu_bench
echo "built in $(( $(date +%s) - start )) s"

echo "== GPU backend tests"
test_log=$(mktemp)
trap 'rm -f "$configure_log" "$test_log"' EXIT
status=0
"$build/tests/solver_tests" --gtest_filter='GpuBackendTest.*' 2>&1 | tee "$test_log" || status=$?
if grep -q "^\[  SKIPPED \]" "$test_log"; then
    echo "gpu-check: GPU tests were skipped: no CUDA device visible to this process" >&2
    exit 1
fi
if [ "$status" -ne 0 ]; then
    echo "gpu-check: GPU tests failed" >&2
    exit "$status"
fi

echo "== step benchmark: host reference and GPU"
"$build/bench/gpu_bench" --benchmark_counters_tabular=true
