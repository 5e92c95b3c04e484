// ReferenceKernels.cpp - the straightforward host realisation of the kernels.
//
// Each launch runs as three passes over the grid: the cell phase of every cell
// in increasing index order, then the side copies of the border rule, then the
// four corners. The two relaxations (diffusion, pressure) run 20 sweeps of
// those three passes, updating the interior cells in place in increasing
// index order (KernelBodies.h says what each cell then reads). This is the
// realisation every faster one is checked against.
#include "KernelBodies.h"
#include "Kernels.h"

namespace {

using kernel::cellCount;

void borderPasses(int N, int b, float* x) {
    const int cells = cellCount(N);
    for (int t = 0; t < cells; ++t) kernel::borderSide(N, b, t, x);
    for (int k = 0; k < 4; ++k) kernel::borderCorner(N, b, k, x);
}

void referenceAddSource(int N, float* x, const float* s, float dt) {
    const int cells = cellCount(N);
    for (int t = 0; t < cells; ++t) kernel::addSourceCell(N, t, x, s, dt);
}

// Runs cell(t) for every interior cell in increasing t.
template <class Cell>
void forInteriorCells(int N, const Cell& cell) {
    for (int j = 1; j <= N; ++j)
        for (int i = 1; i <= N; ++i) cell(kernel::cellAt(N, i, j));
}

void referenceDiffuse(int N, int b, float* x, const float* x0, float diff, float dt, const int* boundary) {
    const float a = kernel::diffusionFactor(N, diff, dt);
    const float divisor = kernel::diffusionDivisor(a);
    for (int sweep = 0; sweep < relaxationSweeps; ++sweep) {
        forInteriorCells(N, [&](int t) { kernel::diffuseCell(N, t, x, x0, a, divisor, boundary); });
        borderPasses(N, b, x);
    }
}

void referenceAdvect(int N, int b, float* d, const float* d0, const float* u, const float* v, float dt,
                     const int* boundary) {
    const int cells = cellCount(N);
    for (int t = 0; t < cells; ++t) kernel::advectCell(N, b, t, d, d0, u, v, dt, boundary);
    borderPasses(N, b, d);
}

void referenceProjectStep1(int N, const float* u, const float* v, float* p, float* div, const int* boundary) {
    const int cells = cellCount(N);
    const float h = kernel::gridSpacing(N);
    for (int t = 0; t < cells; ++t) kernel::projectStep1Cell(N, t, u, v, p, div, boundary, h);
    borderPasses(N, 0, div);
    borderPasses(N, 0, p);
}

void referenceProjectStep2(int N, float* p, const float* div, const int* boundary) {
    for (int sweep = 0; sweep < relaxationSweeps; ++sweep) {
        forInteriorCells(N, [&](int t) { kernel::projectStep2Cell(N, t, p, div, boundary); });
        borderPasses(N, 0, p);
    }
}

void referenceProjectStep3(int N, float* u, float* v, const float* p, const int* boundary) {
    const int cells = cellCount(N);
    const float h = kernel::gridSpacing(N);
    for (int t = 0; t < cells; ++t) kernel::projectStep3Cell(N, t, u, v, p, boundary, h);
    borderPasses(N, 0, u);
    borderPasses(N, 0, v);
}

const KernelSet referenceSet = {"reference",           referenceAddSource,    referenceDiffuse,
                                referenceAdvect,       referenceProjectStep1, referenceProjectStep2,
                                referenceProjectStep3};

}  // namespace

const KernelSet& referenceKernels() { return referenceSet; }
