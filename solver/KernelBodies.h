// KernelBodies.h - what one thread of each solver kernel does to its cell.
//
// Every kernel runs one thread per cell of the 128 x 128 grid; thread t owns
// element t, with i = t mod (N + 2) and j = t div (N + 2). A launch (and every
// sweep of a relaxation) has three phases:
//   1. cell phase: each cell computes and writes its own value;
//   2. side copies: border cells copy their interior neighbour (copy rule) or
//      are set to 0 (zero rule);
//   3. corners: the four corner cells take the average of their two border
//      neighbours, in a fixed order.
// Each function below is one phase for one cell on plain arrays, as the
// reference loops and the device threads run it; the arithmetic itself is in
// CellFormulas.h, shared with the vector code.
//
// The relaxations (diffusion and pressure) update their field in place: a
// cell reads its neighbours as the field stands, so in a sweep that visits
// the cells in increasing t, (i - 1, j) and (i, j - 1) hold this sweep's
// values and (i + 1, j) and (i, j + 1) the previous sweep's. Border cells
// keep the previous sweep's values through the cell phase and are refilled
// by the side and corner phases after it, so both walls of each axis look
// alike to the cells beside them.
#pragma once

#include "CellFormulas.h"

namespace kernel {

// Every element of a field of an N x N grid with its border.
FLUID_HD inline int cellCount(int N) { return (N + 2) * (N + 2); }
FLUID_HD inline int cellAt(int N, int i, int j) { return i + (N + 2) * j; }
FLUID_HD inline int cellI(int N, int t) { return t % (N + 2); }
FLUID_HD inline int cellJ(int N, int t) { return t / (N + 2); }
FLUID_HD inline bool isBorder(int N, int i, int j) { return i == 0 || i == N + 1 || j == 0 || j == N + 1; }

// --- border rules -------------------------------------------------------------

// Copy rule, side phase: a border cell takes its interior neighbour. The four
// tests run one after another, so a corner ends with its last side copy until
// the corner phase replaces it.
FLUID_HD inline void copyRuleSide(int N, int t, float* x) {
    const int i = cellI(N, t), j = cellJ(N, t);
    if (i == 0) x[t] = x[cellAt(N, 1, j)];
    if (i == N + 1) x[t] = x[cellAt(N, N, j)];
    if (j == 0) x[t] = x[cellAt(N, i, 1)];
    if (j == N + 1) x[t] = x[cellAt(N, i, N)];
}

// Copy rule, corner phase: corner k (0..3) in the order (0,0), (0,N+1),
// (N+1,0), (N+1,N+1) averages its two side neighbours.
FLUID_HD inline void copyRuleCorner(int N, int k, float* x) {
    switch (k) {
        case 0: x[cellAt(N, 0, 0)] = cornerAverage(x[cellAt(N, 1, 0)], x[cellAt(N, 0, 1)]); break;
        case 1: x[cellAt(N, 0, N + 1)] = cornerAverage(x[cellAt(N, 0, N)], x[cellAt(N, 1, N + 1)]); break;
        case 2: x[cellAt(N, N + 1, 0)] = cornerAverage(x[cellAt(N, N, 0)], x[cellAt(N, N + 1, 1)]); break;
        default: x[cellAt(N, N + 1, N + 1)] = cornerAverage(x[cellAt(N, N, N + 1)], x[cellAt(N, N + 1, N)]); break;
    }
}

// Zero rule: every border cell, corners included, becomes 0.
FLUID_HD inline void zeroRuleSide(int N, int t, float* x) {
    if (isBorder(N, cellI(N, t), cellJ(N, t))) x[t] = 0.0f;
}

// Border phase selected by b (0: copy rule, otherwise zero rule).
FLUID_HD inline void borderSide(int N, int b, int t, float* x) {
    if (b == 0)
        copyRuleSide(N, t, x);
    else
        zeroRuleSide(N, t, x);
}
FLUID_HD inline void borderCorner(int N, int b, int k, float* x) {
    if (b == 0) copyRuleCorner(N, k, x);
    // zero rule: the corners are border cells already set to 0
}

// --- cell phases -------------------------------------------------------------------

FLUID_HD inline void addSourceCell(int N, int t, float* x, const float* s, float dt) {
    const int c = t % ((N + 2) * (N + 2));
    x[c] = addSourceValue(x[c], s[c], dt);
}

// One relaxation sweep of one interior cell, in place. Border cells have no
// cell phase in a relaxation: they keep their values until the border phase.
// The mask is the int field or a copy of it as one byte per cell (the GPU's,
// in fast memory): only zero or nonzero matters.
template <typename Mask>
FLUID_HD inline void diffuseCell(int N, int t, float* x, const float* x0, float a, float divisor,
                                 const Mask* boundary) {
    const int i = cellI(N, t), j = cellJ(N, t);
    x[t] = diffuseValue(isFluid(boundary[t]), x0[t], x[cellAt(N, i - 1, j)], x[cellAt(N, i + 1, j)],
                        x[cellAt(N, i, j - 1)], x[cellAt(N, i, j + 1)], a, divisor);
}

// Border and solid cells get 0; interior fluid cells the traced sample,
// reflected along j for b == 1. The border rule follows.
FLUID_HD inline void advectCell(int N, int b, int t, float* d, const float* d0, const float* u, const float* v,
                                float dt, const int* boundary) {
    const int i = cellI(N, t), j = cellJ(N, t);
    if (isBorder(N, i, j) || isSolid(boundary[t])) {
        d[t] = 0.0f;
        return;
    }
    const float n = static_cast<float>(N);
    const auto sample = [&](int i0, int j0, float* d00, float* d01, float* d10, float* d11) {
        *d00 = d0[cellAt(N, i0, j0)];
        *d01 = d0[cellAt(N, i0, j0 + 1)];
        *d10 = d0[cellAt(N, i0 + 1, j0)];
        *d11 = d0[cellAt(N, i0 + 1, j0 + 1)];
    };
    float value = advectValue(static_cast<float>(i), static_cast<float>(j), u[t], v[t], dt * n, n + 0.5f, sample);
    if (b == 1)
        value = reflectAlongJ(value, isSolid(boundary[cellAt(N, i, j - 1)]), isSolid(boundary[cellAt(N, i, j + 1)]));
    d[t] = value;
}

// Divergence of (u, v) into div (border cells 0 until the border rule);
// pressure cleared everywhere.
FLUID_HD inline void projectStep1Cell(int N, int t, const float* u, const float* v, float* p, float* div,
                                      const int* boundary, float h) {
    const int i = cellI(N, t), j = cellJ(N, t);
    if (isBorder(N, i, j))
        div[t] = 0.0f;
    else
        div[t] = divergenceValue(isFluid(boundary[t]), u[cellAt(N, i + 1, j)], u[cellAt(N, i - 1, j)],
                                 v[cellAt(N, i, j + 1)], v[cellAt(N, i, j - 1)],
                                 isSolid(boundary[cellAt(N, i - 1, j)]), isSolid(boundary[cellAt(N, i + 1, j)]), h);
    p[t] = 0.0f;
}

// One pressure sweep of one interior cell, in place (see diffuseCell).
template <typename Mask>
FLUID_HD inline void projectStep2Cell(int N, int t, float* p, const float* div, const Mask* boundary) {
    const int i = cellI(N, t), j = cellJ(N, t);
    p[t] = pressureValue(isFluid(boundary[t]), div[t], p[cellAt(N, i - 1, j)], p[cellAt(N, i + 1, j)],
                         p[cellAt(N, i, j - 1)], p[cellAt(N, i, j + 1)], isSolid(boundary[cellAt(N, i, j - 1)]),
                         isSolid(boundary[cellAt(N, i, j + 1)]));
}

// Subtracts the pressure gradient from u and v (border cells 0 until the
// border rule).
FLUID_HD inline void projectStep3Cell(int N, int t, float* u, float* v, const float* p, const int* boundary,
                                      float h) {
    const int i = cellI(N, t), j = cellJ(N, t);
    if (isBorder(N, i, j)) {
        u[t] = 0.0f;
        v[t] = 0.0f;
        return;
    }
    const int fluid = isFluid(boundary[t]);
    u[t] = gradientCorrected(fluid, u[t], p[cellAt(N, i + 1, j)], p[cellAt(N, i - 1, j)],
                             isSolid(boundary[cellAt(N, i, j - 1)]), isSolid(boundary[cellAt(N, i, j + 1)]), h);
    v[t] = gradientCorrected(fluid, v[t], p[cellAt(N, i, j + 1)], p[cellAt(N, i, j - 1)],
                             isSolid(boundary[cellAt(N, i - 1, j)]), isSolid(boundary[cellAt(N, i + 1, j)]), h);
}

}  // namespace kernel
