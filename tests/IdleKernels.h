// IdleKernels.h - a kernel set that leaves every field as it is. Installed
// with setActiveHostKernels, it lets a step run its whole driver (buffers,
// copies, launches, swaps) while the host fields keep what a test put there.
#pragma once

#include "Kernels.h"

inline const KernelSet& idleKernels() {
    static const KernelSet set = {
        "idle",
        [](int, float*, const float*, float) {},
        [](int, int, float*, const float*, float, float, const int*) {},
        [](int, int, float*, const float*, const float*, const float*, float, const int*) {},
        [](int, const float*, const float*, float*, float*, const int*) {},
        [](int, float*, const float*, const int*) {},
        [](int, float*, float*, const float*, const int*) {},
    };
    return set;
}
