// DeviceRuns.h - the six kernels' runs on the CUDA backend, for their rows
// (KernelLaunch.cpp): defined by DeviceKernels.cu where the build has CUDA,
// and as nullptr by NoDeviceKernels.cpp where it has not.
#pragma once

#include "../runtime/DeviceRuntime.h"

struct DeviceRuns {
    fluidrt::KernelRun addSource, diffuse, advect, projectStep1, projectStep2, projectStep3;
};
extern const DeviceRuns deviceRuns;
