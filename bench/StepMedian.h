// StepMedian.h - the median time of one whole step, with the fast kernels for
// the native timing program and the page's benchmark alike, and on any
// backend for the GPU check.
//
// Every step starts from the same fields (StepScenario.h, seed 7): fields
// left to run on drift into subnormal numbers, which slow every realisation
// down at a step count that depends on its rounding. Only gpuCalcFluid() is
// timed, with the steady clock (performance.now() under Emscripten).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "FastKernels.h"
#include "Fluid.h"
#include "Kernels.h"
#include "StepScenario.h"

// Milliseconds: the median of `steps` whole steps on the current backend
// with the active host kernels, every one from the same scenario fields.
inline double medianScenarioStepMs(int steps) {
    if (steps < 1) return -1.0;
    scenario::Generator g{7};
    scenario::start(g);
    scenario::stir(g);
    float* const fields[6] = {u, v, u_prev, v_prev, dens, dens_prev};
    std::vector<float> start(6 * cellsPerField);
    for (int f = 0; f < 6; ++f) std::memcpy(&start[f * cellsPerField], fields[f], bytesPerField);

    std::vector<double> ms(static_cast<std::size_t>(steps));
    for (double& t : ms) {
        for (int f = 0; f < 6; ++f) std::memcpy(fields[f], &start[f * cellsPerField], bytesPerField);
        const auto begin = std::chrono::steady_clock::now();
        gpuCalcFluid();
        t = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// The same with the fast kernels of `lanes` lanes on the host backend.
// Negative where there is no code of `lanes` lanes or a step handed launches
// to the reference kernels.
inline double medianStepMs(int steps, int lanes) {
    if (steps < 1) return -1.0;
    registerFluidKernels();
    setActiveHostKernels(&fastKernels());
    if (setFastKernelsVectorWidth(lanes) != lanes) return -1.0;
    const long handedOver = fastKernelsReferenceLaunches();
    const double ms = medianScenarioStepMs(steps);
    return fastKernelsReferenceLaunches() == handedOver ? ms : -1.0;
}
