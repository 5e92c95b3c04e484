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
// Each function below is one phase for one cell, written so that it can run in
// a host loop or in a device thread. The relaxations (diffusion and pressure)
// read their neighbours from `prev`, a copy of the field as it stood before
// the sweep, so the result never depends on the order of the cells.
//
// All arithmetic is single precision in exactly the order written; the build
// forbids contraction into fused multiply-adds so every machine rounds alike.
#pragma once

#if defined(__CUDACC__)
#define FLUID_HD __host__ __device__
#else
#define FLUID_HD
#endif

namespace kernel {

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
        case 0: x[cellAt(N, 0, 0)] = 0.5f * (x[cellAt(N, 1, 0)] + x[cellAt(N, 0, 1)]); break;
        case 1: x[cellAt(N, 0, N + 1)] = 0.5f * (x[cellAt(N, 0, N)] + x[cellAt(N, 1, N + 1)]); break;
        case 2: x[cellAt(N, N + 1, 0)] = 0.5f * (x[cellAt(N, N, 0)] + x[cellAt(N, N + 1, 1)]); break;
        default: x[cellAt(N, N + 1, N + 1)] = 0.5f * (x[cellAt(N, N, N + 1)] + x[cellAt(N, N + 1, N)]); break;
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

// --- sources and diffusion -----------------------------------------------------

FLUID_HD inline void addSourceCell(int N, int t, float* x, const float* s, float dt) {
    const int c = t % ((N + 2) * (N + 2));
    x[c] = x[c] + s[c] * dt;
}

// Diffusion factor a = ((diff * dt) * N) * N, each product rounded to float.
FLUID_HD inline float diffusionFactor(int N, float diff, float dt) {
    const float n = static_cast<float>(N);
    return ((diff * dt) * n) * n;
}
FLUID_HD inline float diffusionDivisor(float a) { return (a * 4.0f) + 1.0f; }

// One relaxation sweep of one cell: border and solid cells become 0, fluid
// interior cells relax towards (x0 + a * neighbours) / (1 + 4a).
FLUID_HD inline void diffuseCell(int N, int t, float* x, const float* prev, const float* x0, float a,
                                 float divisor, const int* boundary) {
    const int i = cellI(N, t), j = cellJ(N, t);
    if (isBorder(N, i, j) || boundary[t] != 0) {
        x[t] = 0.0f;
        return;
    }
    const float s = ((prev[cellAt(N, i - 1, j)] + prev[cellAt(N, i + 1, j)]) + prev[cellAt(N, i, j - 1)]) +
                    prev[cellAt(N, i, j + 1)];
    x[t] = (x0[t] + a * s) / divisor;
}

// --- advection -------------------------------------------------------------------

// Traces the cell's centre back along its velocity, samples d0 bilinearly and,
// for b == 1, negates the value when the neighbour along j on the side of its
// sign is solid. Border and solid cells get 0; the border rule follows.
FLUID_HD inline void advectCell(int N, int b, int t, float* d, const float* d0, const float* u, const float* v,
                                float dt, const int* boundary) {
    const int i = cellI(N, t), j = cellJ(N, t);
    const float n = static_cast<float>(N);
    const float dt0 = dt * n;
    float x = static_cast<float>(i) - u[t] * dt0;
    float y = static_cast<float>(j) - v[t] * dt0;
    const float upper = n + 0.5f;
    if (x < 0.5f) x = 0.5f;
    if (x > upper) x = upper;
    if (y < 0.5f) y = 0.5f;
    if (y > upper) y = upper;

    if (isBorder(N, i, j) || boundary[t] != 0) {
        d[t] = 0.0f;
        return;
    }
    // After the clamp a finite coordinate lies in [0.5, N + 0.5]; a NaN one
    // (from a NaN velocity) samples cell 0, and its NaN weights make the
    // result NaN, as it must be.
    const int i0 = x == x ? static_cast<int>(x) : 0;
    const int j0 = y == y ? static_cast<int>(y) : 0;
    const int i1 = i0 + 1, j1 = j0 + 1;
    const float wx1 = x - static_cast<float>(i0);
    const float wx0 = 1.0f - wx1;
    const float wy1 = y - static_cast<float>(j0);
    const float wy0 = 1.0f - wy1;
    float value = wx0 * (wy0 * d0[cellAt(N, i0, j0)] + wy1 * d0[cellAt(N, i0, j1)]) +
                  wx1 * (wy0 * d0[cellAt(N, i1, j0)] + wy1 * d0[cellAt(N, i1, j1)]);
    if (b == 1) {
        if ((value < 0.0f && boundary[cellAt(N, i, j - 1)] != 0) ||
            (value > 0.0f && boundary[cellAt(N, i, j + 1)] != 0))
            value = -value;
    }
    d[t] = value;
}

// --- projection --------------------------------------------------------------------

FLUID_HD inline float gridSpacing(int N) { return 1.0f / static_cast<float>(N); }

// Divergence of (u, v) into div, with a sign flip when the neighbour along i on
// the side of its sign is solid; pressure cleared everywhere.
FLUID_HD inline void projectStep1Cell(int N, int t, const float* u, const float* v, float* p, float* div,
                                      const int* boundary, float h) {
    const int i = cellI(N, t), j = cellJ(N, t);
    if (isBorder(N, i, j) || boundary[t] != 0) {
        div[t] = 0.0f;
    } else {
        const float S = ((u[cellAt(N, i + 1, j)] - u[cellAt(N, i - 1, j)]) + v[cellAt(N, i, j + 1)]) -
                        v[cellAt(N, i, j - 1)];
        const float d = (-0.5f * h) * S;
        const bool flip = (d < 0.0f && boundary[cellAt(N, i - 1, j)] != 0) ||
                          (d > 0.0f && boundary[cellAt(N, i + 1, j)] != 0);
        div[t] = flip ? -d : d;
    }
    p[t] = 0.0f;
}

// One pressure sweep of one cell, reading the previous sweep's pressure; the
// value is negated when the neighbour along j on the side of its sign is solid.
FLUID_HD inline void projectStep2Cell(int N, int t, float* p, const float* prev, const float* div,
                                      const int* boundary) {
    const int i = cellI(N, t), j = cellJ(N, t);
    if (isBorder(N, i, j) || boundary[t] != 0) {
        p[t] = 0.0f;
        return;
    }
    const float s = (((div[t] + prev[cellAt(N, i - 1, j)]) + prev[cellAt(N, i + 1, j)]) + prev[cellAt(N, i, j - 1)]) +
                    prev[cellAt(N, i, j + 1)];
    const float q = s * 0.25f;
    const bool flip = (q < 0.0f && boundary[cellAt(N, i, j - 1)] != 0) ||
                      (q > 0.0f && boundary[cellAt(N, i, j + 1)] != 0);
    p[t] = flip ? -q : q;
}

// Subtracts the pressure gradient; each correction is added instead when the
// neighbour across its axis, on the side of its sign, is solid.
FLUID_HD inline void projectStep3Cell(int N, int t, float* u, float* v, const float* p, const int* boundary,
                                      float h) {
    const int i = cellI(N, t), j = cellJ(N, t);
    if (isBorder(N, i, j) || boundary[t] != 0) {
        u[t] = 0.0f;
        v[t] = 0.0f;
        return;
    }
    const float gx = (0.5f * (p[cellAt(N, i + 1, j)] - p[cellAt(N, i - 1, j)])) / h;
    if ((gx < 0.0f && boundary[cellAt(N, i, j - 1)] != 0) || (gx > 0.0f && boundary[cellAt(N, i, j + 1)] != 0))
        u[t] = u[t] + gx;
    else
        u[t] = u[t] - gx;
    const float gy = (0.5f * (p[cellAt(N, i, j + 1)] - p[cellAt(N, i, j - 1)])) / h;
    if ((gy < 0.0f && boundary[cellAt(N, i - 1, j)] != 0) || (gy > 0.0f && boundary[cellAt(N, i + 1, j)] != 0))
        v[t] = v[t] + gy;
    else
        v[t] = v[t] - gy;
}

}  // namespace kernel
