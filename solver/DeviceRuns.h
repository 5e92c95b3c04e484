// DeviceRuns.h - the six kernels' runs on the CUDA backend, for their rows
// (KernelLaunch.cpp), and how they start: defined by DeviceKernels.cu where
// the build has CUDA, and by NoDeviceKernels.cpp (no runs) where it has not.
#pragma once

#include <string>

#include "../runtime/DeviceRuntime.h"

struct DeviceRuns {
    fluidrt::KernelRun addSource, diffuse, advect, projectStep1, projectStep2, projectStep3;
};
extern const DeviceRuns deviceRuns;

// How advection, divergence and gradient start on the device: one
// cooperative launch with grid-wide barriers between the cell phase, the side
// copies and the corners, or three ordinary launches, one for each phase.
// Automatic (the default) takes the cooperative launch where the device
// offers it. Both give the same fields.
enum class SinglePassLaunch { Automatic, Cooperative, ThreeLaunches };
void setSinglePassLaunch(SinglePassLaunch how);
// Whether the current device offers cooperative launches (false without one).
bool cooperativeLaunchOffered();

// One line per kernel on how it last ran on the device: its grid and block,
// for the single-pass kernels whether cooperatively, and for the relaxations
// the schedule's threads and waves and which inputs lay in shared memory.
std::string deviceLaunchReport();
