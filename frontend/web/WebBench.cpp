// WebBench.cpp - the page's step benchmark (`?bench=STEPS`): the median time
// of one whole step with the 4-lane fast kernels (StepMedian.h, as the
// native step_timing measures it). The page runs it instead of the
// simulation, never beside it.
#include <emscripten.h>

#include "StepMedian.h"

// Negative where a step handed launches to the reference kernels.
extern "C" EMSCRIPTEN_KEEPALIVE double webStepMedianMs(int steps) { return medianStepMs(steps, 4); }
