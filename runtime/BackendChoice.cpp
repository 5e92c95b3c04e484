// BackendChoice.cpp - which backend runs: chooseBackend (DeviceRuntime.h).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DeviceRuntime.h"
#include "GpuBackend.h"

namespace fluidrt {

const Backend& chooseBackend() {
    const Backend* gpu = gpuBackend();
    const Backend* chosen = gpu ? gpu : &hostBackend();
    if (const char* asked = std::getenv("FLUID_BACKEND")) {
        if (std::strcmp(asked, "host") == 0)
            chosen = &hostBackend();
        else if (std::strcmp(asked, "cuda") == 0 && !gpu)
            std::fprintf(stderr, "fluid: FLUID_BACKEND=cuda, but there is no CUDA device or backend; using %s\n",
                         chosen->name);
        else if (std::strcmp(asked, "cuda") != 0)
            std::fprintf(stderr, "fluid: FLUID_BACKEND must be host or cuda, not '%s'; using %s\n", asked,
                         chosen->name);
    }
    setBackend(chosen);
    return *chosen;
}

}  // namespace fluidrt
