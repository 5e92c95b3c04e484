// NoDeviceKernels.cpp - the kernels' device runs in builds without CUDA:
// there are none, and the CUDA backend does not exist either.
#include "DeviceRuns.h"

const DeviceRuns deviceRuns = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

void setSinglePassLaunch(SinglePassLaunch) {}

bool cooperativeLaunchOffered() { return false; }

std::string deviceLaunchReport() { return "no kernel runs on a device in this build\n"; }
