// Solver benchmarks on the host backend: single kernels and whole steps, each
// with the reference realisation (BM_<name>_Reference) and the vectorised one
// (BM_<name>_Fast). scripts/bench-ratios.sh prints the ratios of one run.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "FastKernels.h"
#include "BenchFields.h"
#include "Fluid.h"
#include "Kernels.h"

namespace {

void fillFields() { fillBenchmarkFields(); }

using Field = std::vector<float>;
Field copyOf(const float* f) { return Field(f, f + cellsPerField); }

// The fast set must not hand any launch of a benchmark to the reference.
struct FallbackGuard {
    benchmark::State& state;
    const KernelSet& set;
    long before = fastKernelsReferenceLaunches();
    ~FallbackGuard() {
        if (&set == &fastKernels() && fastKernelsReferenceLaunches() != before)
            state.SkipWithError("the fast kernels ran the reference code");
    }
};

void addSourceLaunch(benchmark::State& state, const KernelSet& set) {
    fillFields();
    Field x = copyOf(dens);
    FallbackGuard guard{state, set};
    for (auto _ : state) {
        set.addSource(N, x.data(), dens_prev, dt);
        benchmark::DoNotOptimize(x.data());
    }
}

void diffuseLaunch(benchmark::State& state, const KernelSet& set) {
    fillFields();
    Field x = copyOf(dens);
    FallbackGuard guard{state, set};
    for (auto _ : state) {
        set.diffuse(N, 1, x.data(), dens_prev, diff, dt, boundary);
        benchmark::DoNotOptimize(x.data());
    }
}

void advectLaunch(benchmark::State& state, const KernelSet& set) {
    fillFields();
    Field d(cellsPerField);
    FallbackGuard guard{state, set};
    for (auto _ : state) {
        set.advect(N, 1, d.data(), dens, u, v, dt, boundary);
        benchmark::DoNotOptimize(d.data());
    }
}

void projectStep1Launch(benchmark::State& state, const KernelSet& set) {
    fillFields();
    Field p(cellsPerField), div(cellsPerField);
    FallbackGuard guard{state, set};
    for (auto _ : state) {
        set.projectStep1(N, u, v, p.data(), div.data(), boundary);
        benchmark::DoNotOptimize(div.data());
    }
}

void projectStep2Launch(benchmark::State& state, const KernelSet& set) {
    fillFields();
    Field p(cellsPerField), div(cellsPerField);
    referenceKernels().projectStep1(N, u, v, p.data(), div.data(), boundary);
    FallbackGuard guard{state, set};
    for (auto _ : state) {
        set.projectStep2(N, p.data(), div.data(), boundary);
        benchmark::DoNotOptimize(p.data());
    }
}

void projectStep3Launch(benchmark::State& state, const KernelSet& set) {
    fillFields();
    Field x = copyOf(u), y = copyOf(v), p = copyOf(dens_prev);
    FallbackGuard guard{state, set};
    for (auto _ : state) {
        set.projectStep3(N, x.data(), y.data(), p.data(), boundary);
        benchmark::DoNotOptimize(x.data());
    }
}

// One gpuCalcFluid() step: fifteen launches through the runtime layer, with
// its allocations and copies. Every step starts from the same fields: left
// to run on, the fields drift, and once the density has faded into
// subnormal numbers every realisation slows down several times, at a step
// count that depends on the realisation's rounding, so that the timings of
// two realisations would compare different states.
void step(benchmark::State& state, const KernelSet& set) {
    setActiveHostKernels(&set);
    fillFields();
    FallbackGuard guard{state, set};
    for (auto _ : state) {
        state.PauseTiming();
        fillFields();
        state.ResumeTiming();
        gpuCalcFluid();
        benchmark::DoNotOptimize(dens[IX(64, 64)]);
    }
    setActiveHostKernels(nullptr);
}

// The step, and one diffusion launch, with the fast kernels held to a
// narrower vector code than this processor's widest (the argument: 4 or 8
// lanes), as processors without AVX-512 or without AVX2 run them.
template <void (*run)(benchmark::State&, const KernelSet&)>
void atWidth(benchmark::State& state) {
    const int lanes = static_cast<int>(state.range(0));
    if (setFastKernelsVectorWidth(lanes) == lanes)
        run(state, fastKernels());
    else
        state.SkipWithError("this processor has no code of that width");
    setFastKernelsVectorWidth(16);
}
void BM_StepAtWidth_Fast(benchmark::State& state) { atWidth<step>(state); }
void BM_DiffuseLaunchAtWidth_Fast(benchmark::State& state) { atWidth<diffuseLaunch>(state); }

void BM_AddSource_Reference(benchmark::State& state) { addSourceLaunch(state, referenceKernels()); }
void BM_AddSource_Fast(benchmark::State& state) { addSourceLaunch(state, fastKernels()); }
void BM_DiffuseLaunch_Reference(benchmark::State& state) { diffuseLaunch(state, referenceKernels()); }
void BM_DiffuseLaunch_Fast(benchmark::State& state) { diffuseLaunch(state, fastKernels()); }
void BM_Advect_Reference(benchmark::State& state) { advectLaunch(state, referenceKernels()); }
void BM_Advect_Fast(benchmark::State& state) { advectLaunch(state, fastKernels()); }
void BM_ProjectStep1_Reference(benchmark::State& state) { projectStep1Launch(state, referenceKernels()); }
void BM_ProjectStep1_Fast(benchmark::State& state) { projectStep1Launch(state, fastKernels()); }
void BM_ProjectStep2_Reference(benchmark::State& state) { projectStep2Launch(state, referenceKernels()); }
void BM_ProjectStep2_Fast(benchmark::State& state) { projectStep2Launch(state, fastKernels()); }
void BM_ProjectStep3_Reference(benchmark::State& state) { projectStep3Launch(state, referenceKernels()); }
void BM_ProjectStep3_Fast(benchmark::State& state) { projectStep3Launch(state, fastKernels()); }
void BM_Step_Reference(benchmark::State& state) { step(state, referenceKernels()); }
void BM_Step_Fast(benchmark::State& state) { step(state, fastKernels()); }

BENCHMARK(BM_AddSource_Reference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddSource_Fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DiffuseLaunch_Reference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DiffuseLaunch_Fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Advect_Reference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Advect_Fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProjectStep1_Reference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProjectStep1_Fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProjectStep2_Reference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProjectStep2_Fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProjectStep3_Reference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProjectStep3_Fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step_Reference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Step_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepAtWidth_Fast)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiffuseLaunchAtWidth_Fast)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    registerFluidKernels();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
