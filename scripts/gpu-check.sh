#!/usr/bin/env bash
# For a machine with a CUDA GPU that has a C++ compiler, CMake and nvcc and
# nothing else: configures the runtime layer, the solver and the GPU check
# alone (FLUID_FRONTEND=OFF: no GL, GLUT, PNG, EGL, GoogleTest or Google
# Benchmark), builds gpu_check and runs it. gpu_check prints the device,
# compares every kernel and whole steps on the GPU with the host reference
# bit for bit, and times the step on the host and on the GPU and each
# relaxation on the GPU.
#
#   scripts/gpu-check.sh [extra CMake arguments, e.g. -DCMAKE_CUDA_ARCHITECTURES=90]
#
# The build directory is build-gpu-check unless FLUID_GPU_BUILD_DIR names
# another. Exit status: gpu_check's (0 when every comparison holds, 1 when
# one does not, 3 when no CUDA device is visible), or 1 when the CUDA
# backend could not be built.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
build=${FLUID_GPU_BUILD_DIR:-build-gpu-check}

echo "== GPU"
if command -v nvidia-smi >/dev/null; then
    nvidia-smi --query-gpu=name,driver_version,compute_cap,memory.total --format=csv,noheader || true
else
    echo "nvidia-smi not found"
fi

echo "== configure ($build)"
start=$(date +%s)
status=0
configure_gpu_check "$build" "$@" || status=$?
cat "$build/configure.log"
[ "$status" -eq 0 ] || exit "$status"
if ! grep -q "GPU backend: built" "$build/configure.log"; then
    echo "gpu-check: the CUDA backend was not built (see the configure output above)" >&2
    exit 1
fi

echo "== build"
cmake --build "$build" -j"$(nproc)" --target gpu_check
echo "configured and built in $(( $(date +%s) - start )) s"

echo "== gpu_check"
status=0
"$build/tests/gpu/gpu_check" || status=$?
exit "$status"
