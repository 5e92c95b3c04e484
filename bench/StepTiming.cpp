// StepTiming.cpp - the median time of one whole step with the fast kernels,
// in a program that builds both natively and for WebAssembly, so that the
// two can be compared on one machine (scripts/web-bench.sh).
//
//   step_timing [STEPS [LANES]]    default: 1000 steps, 4 lanes
//
// Every step starts from the same fields (StepScenario.h, seed 7): fields
// left to run on drift into subnormal numbers, which slow every realisation
// down at a step count that depends on its rounding. Only gpuCalcFluid() is
// timed, with the steady clock (performance.now() under Emscripten).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FastKernels.h"
#include "Fluid.h"
#include "Kernels.h"
#include "StepScenario.h"

int main(int argc, char** argv) {
    const int steps = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int lanes = argc > 2 ? std::atoi(argv[2]) : 4;
    if (steps < 1 || lanes < 1) {
        std::fprintf(stderr, "usage: step_timing [STEPS [LANES]]\n");
        return 1;
    }
    registerFluidKernels();
    setActiveHostKernels(&fastKernels());
    const int used = setFastKernelsVectorWidth(lanes);
    if (used != lanes) {
        std::fprintf(stderr, "step_timing: no %d-lane code here (widest: %d)\n", lanes, used);
        return 1;
    }

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
        const auto begin = std::chrono::steady_clock::now();
        gpuCalcFluid();
        t = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    }
    if (fastKernelsReferenceLaunches() != handedOver) {
        std::fprintf(stderr, "step_timing: the fast kernels handed launches to the reference\n");
        return 1;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("median step %.4f ms, fastest %.4f ms (%d steps, %d lanes)\n", ms[ms.size() / 2], ms.front(), steps,
                lanes);
    return 0;
}
