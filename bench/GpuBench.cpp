// Whole simulation steps on the host backend and on the CUDA backend, in the
// same run and from the same scene, timed by the wall clock (the host thread
// mostly waits for the device). A step includes its seven allocations,
// uploads, fifteen launches, downloads and frees, as gpuCalcFluid does them.
// Without a CUDA device the GPU benchmarks report an error and are skipped.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "BenchFields.h"
#include "Fluid.h"
#include "GpuBackend.h"
#include "Kernels.h"

namespace {

void fillFields() { fillBenchmarkFields(); }

// Steps on the backend; on the host backend with the given host realisation
// (nullptr: the host backend's default one).
void runSteps(benchmark::State& state, const fluidrt::Backend* backend, const KernelSet* hostKernels) {
    setActiveHostKernels(hostKernels);
    fillFields();
    fluidrt::setBackend(backend);
    for (auto _ : state) {
        gpuCalcFluid();  // ends with downloads, so the device has finished the step
        benchmark::DoNotOptimize(dens[IX(64, 64)]);
    }
    fluidrt::setBackend(nullptr);
    state.counters["steps/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Step_HostReference(benchmark::State& state) { runSteps(state, nullptr, &referenceKernels()); }
BENCHMARK(BM_Step_HostReference)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Step_HostDefault(benchmark::State& state) { runSteps(state, nullptr, nullptr); }
BENCHMARK(BM_Step_HostDefault)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Step_Gpu(benchmark::State& state) {
    const fluidrt::Backend* gpu = gpuBackend();
    if (!gpu) {
        state.SkipWithError("no CUDA device");
        return;
    }
    runSteps(state, gpu, nullptr);
}
BENCHMARK(BM_Step_Gpu)->Unit(benchmark::kMillisecond)->UseRealTime();

// Ten steps from the same scene on both backends; the fields must agree bit
// for bit (this scene stays finite, so there are no NaNs to tell apart).
void checkAgreement() {
    const fluidrt::Backend* gpu = gpuBackend();
    if (!gpu) {
        std::printf("GPU backend: none (no CUDA device)\n");
        return;
    }
    float* fields[] = {u, v, u_prev, v_prev, dens, dens_prev};
    std::vector<float> host[6];
    setActiveHostKernels(&referenceKernels());
    fillFields();
    for (int s = 0; s < 10; ++s) gpuCalcFluid();
    for (int f = 0; f < 6; ++f) host[f].assign(fields[f], fields[f] + cellsPerField);
    fillFields();
    fluidrt::setBackend(gpu);
    for (int s = 0; s < 10; ++s) gpuCalcFluid();
    fluidrt::setBackend(nullptr);
    long differing = 0;
    for (int f = 0; f < 6; ++f) differing += std::memcmp(host[f].data(), fields[f], bytesPerField) != 0;
    std::printf("GPU backend: ten steps %s the host's bit for bit (%ld of 6 fields differ)\n",
                differing == 0 ? "match" : "DO NOT match", differing);
}

}  // namespace

int main(int argc, char** argv) {
    registerFluidKernels();
    benchmark::Initialize(&argc, argv);
    checkAgreement();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
