// WebBench.cpp - the page's step benchmark (`?bench=STEPS`): the median time
// of one whole step with the 4-lane fast kernels, timed with
// performance.now(), on the same fields as bench/StepTiming.cpp so that the
// two compare: every step starts from the same state (StepScenario.h, seed 7).
// The page runs it instead of the simulation, never beside it.
#include <emscripten.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "FastKernels.h"
#include "Fluid.h"
#include "Kernels.h"
#include "StepScenario.h"

// Negative when there is no 4-lane code or a step handed launches to the
// reference kernels.
extern "C" EMSCRIPTEN_KEEPALIVE double webStepMedianMs(int steps) {
    if (steps < 1) return -1.0;
    registerFluidKernels();
    setActiveHostKernels(&fastKernels());
    if (setFastKernelsVectorWidth(4) != 4) return -1.0;
    scenario::Generator g{7};
    scenario::start(g);
    scenario::stir(g);
    float* const fields[6] = {u, v, u_prev, v_prev, dens, dens_prev};
    std::vector<float> start(6 * cellsPerField);
    for (int f = 0; f < 6; ++f) std::memcpy(&start[f * cellsPerField], fields[f], bytesPerField);

    const long handedOver = fastKernelsReferenceLaunches();
    std::vector<double> ms(static_cast<std::size_t>(steps));
    for (double& t : ms) {
        for (int f = 0; f < 6; ++f) std::memcpy(fields[f], &start[f * cellsPerField], bytesPerField);
        const double begin = emscripten_get_now();  // performance.now()
        gpuCalcFluid();
        t = emscripten_get_now() - begin;
    }
    if (fastKernelsReferenceLaunches() != handedOver) return -1.0;
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}
