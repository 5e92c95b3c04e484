// GpuBackend.h - the CUDA backend of the runtime layer, when there is one.
//
// gpuBackend() returns the backend that runs buffers, copies and launches on
// the current CUDA device, or nullptr when this build has no CUDA backend or
// the machine has no CUDA device. Install it with fluidrt::setBackend.
// Link the fluid_gpu_select target to get it; that target exists in every
// build (without CUDA it holds a fallback that always returns nullptr).
#pragma once

#include "DeviceRuntime.h"

const fluidrt::Backend* gpuBackend();
