// Solver benchmarks on the host backend: single kernels and whole steps.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "Fluid.h"
#include "Kernels.h"

namespace {

// A busy but finite state: density and velocity everywhere, a few walls.
void fillFields() {
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

void BM_DiffuseLaunch_Reference(benchmark::State& state) {
    fillFields();
    std::vector<float> x(dens, dens + cellsPerField);
    for (auto _ : state) {
        referenceKernels().diffuse(N, 1, x.data(), dens_prev, diff, dt, boundary);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(BM_DiffuseLaunch_Reference)->Unit(benchmark::kMicrosecond);

void BM_Step_Reference(benchmark::State& state) {
    setActiveHostKernels(&referenceKernels());
    fillFields();
    for (auto _ : state) {
        gpuCalcFluid();
        benchmark::DoNotOptimize(dens[IX(64, 64)]);
    }
}
BENCHMARK(BM_Step_Reference)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    registerFluidKernels();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
