// StepTiming.cpp - the median time of one whole step with the fast kernels
// (StepMedian.h), in a program that builds both natively and for
// WebAssembly, so that the two can be compared on one machine
// (scripts/web-bench.sh).
//
//   step_timing [STEPS [LANES]]    default: 1000 steps, 4 lanes
#include <cstdio>
#include <cstdlib>

#include "StepMedian.h"

int main(int argc, char** argv) {
    const int steps = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int lanes = argc > 2 ? std::atoi(argv[2]) : 4;
    if (steps < 1 || lanes < 1) {
        std::fprintf(stderr, "usage: step_timing [STEPS [LANES]]\n");
        return 1;
    }
    const double ms = medianStepMs(steps, lanes);
    if (ms < 0.0) {
        std::fprintf(stderr, "step_timing: no %d-lane code here, or a step fell back to the reference kernels\n",
                     lanes);
        return 1;
    }
    std::printf("median step %.4f ms (%d steps, %d lanes)\n", ms, steps, lanes);
    return 0;
}
