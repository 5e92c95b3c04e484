// NoGpuBackend.cpp - gpuBackend() for builds without the CUDA backend: there
// is never a GPU backend to offer, so callers stay on the host backend.
#include "GpuBackend.h"

const fluidrt::Backend* gpuBackend() { return nullptr; }
