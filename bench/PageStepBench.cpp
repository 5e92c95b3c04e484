// PageStepBench.cpp - the page's step benchmark (`?bench=STEPS`), a
// WebAssembly program of its own that the page loads instead of the
// simulation: the median time of one whole step with the 4-lane fast
// kernels (StepMedian.h, as the native step_timing measures it).
#include <emscripten.h>

#include "StepMedian.h"

// Negative where a step handed launches to the reference kernels.
extern "C" EMSCRIPTEN_KEEPALIVE double webStepMedianMs(int steps) { return medianStepMs(steps, 4); }

// The page calls webStepMedianMs once the module is ready; main does nothing.
int main() { return 0; }
