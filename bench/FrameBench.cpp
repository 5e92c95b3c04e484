// Frame benchmarks: one full frame's drawing at 512 x 512 with all four views
// on and density everywhere, per-cell against batched, in a real GL context.
// Needs an X server (run under xvfb-run); without one it reports an error.
#include <GL/glut.h>
#include <benchmark/benchmark.h>

#include <random>

#include "FrameLoop.h"
#include "FrontEndState.h"
#include "GlDrawing.h"
#include "DesktopPlatform.h"
#include "GlutGlue.h"
#include "Fluid.h"

namespace {

bool haveWindow = false;

// Velocities of +-0.5 * speed: lines of up to 20 * speed pixels.
void fillFields(float speed = 0.05f) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int k = 0; k < cellsPerField; ++k) {
        dens[k] = 0.05f + unit(rng);
        u[k] = speed * (unit(rng) - 0.5f);
        v[k] = speed * (unit(rng) - 0.5f);
        boundary[k] = rng() % 20 == 0;
    }
    showBoundary = showDensity = showVelocity = showGrid = 1;
}

void frame(benchmark::State& state, bool perCell, bool allViews, float speed = 0.05f) {
    if (!haveWindow) {
        state.SkipWithError("no X display");
        return;
    }
    fillFields(speed);
    if (!allViews) showVelocity = showGrid = 0;
    usePerCellDrawing = perCell;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        drawField();
        glutSwapBuffers();
        glFinish();
    }
}

void BM_Frame_PerCell_AllViews(benchmark::State& s) { frame(s, true, true); }
void BM_Frame_Batched_AllViews(benchmark::State& s) { frame(s, false, true); }
void BM_Frame_PerCell_DefaultViews(benchmark::State& s) { frame(s, true, false); }
void BM_Frame_Batched_DefaultViews(benchmark::State& s) { frame(s, false, false); }
// A fast flow: velocity lines of up to 20 pixels in every cell.
void BM_Frame_PerCell_AllViewsFastFlow(benchmark::State& s) { frame(s, true, true, 1.0f); }
void BM_Frame_Batched_AllViewsFastFlow(benchmark::State& s) { frame(s, false, true, 1.0f); }
BENCHMARK(BM_Frame_PerCell_AllViewsFastFlow)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Frame_Batched_AllViewsFastFlow)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Frame_PerCell_AllViews)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Frame_Batched_AllViews)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Frame_PerCell_DefaultViews)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Frame_Batched_DefaultViews)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One view at a time, batched: where a frame's time goes.
void BM_Frame_Batched_SingleView(benchmark::State& state) {
    if (!haveWindow) {
        state.SkipWithError("no X display");
        return;
    }
    fillFields();
    const int view = static_cast<int>(state.range(0));
    showBoundary = view == 0;
    showDensity = view == 1;
    showVelocity = view == 2;
    showGrid = view == 3;
    usePerCellDrawing = 0;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        drawField();
        glutSwapBuffers();
        glFinish();
    }
}
BENCHMARK(BM_Frame_Batched_SingleView)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    platform = desktopPlatform;
    benchmark::Initialize(&argc, argv);
    if (getenv("DISPLAY")) {
        glutglue::openWindow(argc, argv, GLUT_DEPTH);
        reshapeWindow(startWindowSide, startWindowSide);
        haveWindow = true;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
