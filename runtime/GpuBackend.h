// GpuBackend.h - the CUDA backend of the runtime layer, when there is one.
//
// gpuBackend() returns the backend that runs buffers, copies and launches on
// the current CUDA device, or nullptr when this build has no CUDA backend or
// the machine has no CUDA device. chooseBackend (DeviceRuntime.h) asks it;
// tests of the CUDA backend install it themselves. It comes from
// CudaBackend.cu, or from NoGpuBackend.cpp in builds without CUDA.
#pragma once

#include "DeviceRuntime.h"

const fluidrt::Backend* gpuBackend();
