// The front end's step (advanceSimulation, on the dummy platform) at each
// preset's settings and with the motion generator on, side by side in one
// run: the standard preset is the program's own step, and the others may
// cost no more than it does (a diff or viscosity of 0 takes the rate-0
// shortcut; clearing the sources is three passes over 16384 floats).
#include <benchmark/benchmark.h>

#include "AutoMotion.h"
#include "BenchFields.h"
#include "FrameLoop.h"
#include "Settings.h"

namespace {

void step(benchmark::State& state, const Preset& preset, bool withAuto) {
    fillBenchmarkFields();
    Setting settings[4];
    presetSettings(preset, settings);
    for (const Setting& s : settings) applySetting(s);
    if (withAuto) startAutoMotion(3);
    for (auto _ : state) {
        advanceSimulation(Stepping::always);
        benchmark::DoNotOptimize(dens);
    }
    stopAutoMotion();
}

void BM_Step(benchmark::State& state) { step(state, presets[state.range(0)], false); }
void BM_StepWithAuto(benchmark::State& state) { step(state, presets[state.range(0)], true); }

BENCHMARK(BM_Step)->DenseRange(0, sizeof presets / sizeof presets[0] - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepWithAuto)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
