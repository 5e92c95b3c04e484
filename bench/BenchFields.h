// BenchFields.h - the field state the solver benchmarks step: density and
// velocity everywhere, busy but finite, and a few walls.
#pragma once

#include <random>

#include "Fluid.h"

inline void fillBenchmarkFields() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    resetFields();
    for (int k = 0; k < cellsPerField; ++k) {
        u[k] = 0.05f * value(rng);
        v[k] = 0.05f * value(rng);
        dens[k] = 2.0f + value(rng);
        dens_prev[k] = value(rng);
        boundary[k] = (rng() % 50) == 0;
    }
}
