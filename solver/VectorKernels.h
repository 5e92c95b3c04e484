// VectorKernels.h - the kernels in vector form, written once for every lane count.
//
// Included only by FastKernelsSse2.cpp, FastKernelsAvx2.cpp and
// FastKernelsAvx512.cpp, each compiled for its instruction set; everything
// here sits in an unnamed namespace, so each of them gets its own copy.
// Every value is computed by the formulas of CellFormulas.h, one vector
// operation per arithmetic step, so each lane rounds exactly as the reference
// does; branches are masks (VectorLanes.h).
//
// Kernels without a relaxation (sources, advection, divergence, gradient):
// a cell reads only inputs that the phase does not write, so vectors run
// along whole rows, border columns included (the caller's border pass
// replaces whatever lands there). A row that is not a whole number of
// vectors ends with a vector that overlaps its predecessor; a kernel that
// updates a field in place computes that vector first and stores it last.
//
// Relaxations (diffusion, pressure) update in place, sweep after sweep, in
// increasing cell order. So cell (i, j) in sweep k needs (i - 1, j) and
// (i, j - 1) from sweep k and (i + 1, j) and (i, j + 1) from sweep k - 1. On
// the anti-diagonal d = i + j no cell needs another, so the fields are kept
// in diagonal order (VectorCode.h) and a diagonal is computed as whole
// vectors: its neighbours lie in the rows d - 1 and d + 1, at the same or the
// next column. Sweep k can work on diagonal d as soon as sweep k has done
// d - 1 and sweep k - 1 has done d + 1; so wave T runs diagonal 2 + T - 2k of
// every sweep k at once, twenty independent diagonals that keep the vector
// units busy while each waits for its inputs.
//
// Border cells keep the previous sweep's values through the cell phase. Each
// is read by one interior cell only, its neighbour across the border, so
// right after a diagonal is done its interior cells next to the border write
// their border neighbours' end-of-sweep values (the copy, or 0): the reader
// has already read the old value in this sweep and reads the new one in the
// next. Corners are read by no interior cell; the caller sets them at the end.
#pragma once

#include <algorithm>
#include <climits>
#include <cstring>

#include "CellFormulas.h"
#include "Kernels.h"
#include "VectorCode.h"

#define FLUID_VECTOR_INLINE inline __attribute__((always_inline))

namespace {

using kernel::F4;
using kernel::F8;
using kernel::I4;
using kernel::I8;
using std::int32_t;

// Two-vector shuffles with constant lane indices: GCC 12 and clang have
// __builtin_shufflevector, older GCC only __builtin_shuffle.
#if defined(__has_builtin)
#if __has_builtin(__builtin_shufflevector)
#define FLUID_SHUFFLE(I, a, b, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#endif
#endif
#ifndef FLUID_SHUFFLE
#define FLUID_SHUFFLE(I, a, b, ...) __builtin_shuffle(a, b, I{__VA_ARGS__})
#endif

// Per lane count: the float and int lane types, the first `count` lanes as a
// mask, and the split of per-lane pairs of horizontally adjacent cells into
// first and second cells (the pairs are loaded into two vectors, lanes in
// pairOrder).
template <int L>
struct Lanes;
template <>
struct Lanes<4> {
    using F = F4;
    using I = I4;
    using D = double __attribute__((vector_size(16)));
    FLUID_VECTOR_INLINE static I firstLanes(int count) { return I{0, 1, 2, 3} < count; }
    static constexpr int pairOrder[4] = {0, 1, 2, 3};
    FLUID_VECTOR_INLINE static F firstOfPairs(const F& lo, const F& hi) {
        return FLUID_SHUFFLE(I, lo, hi, 0, 2, 4, 6);
    }
    FLUID_VECTOR_INLINE static F secondOfPairs(const F& lo, const F& hi) {
        return FLUID_SHUFFLE(I, lo, hi, 1, 3, 5, 7);
    }
};
template <>
struct Lanes<8> {
    using F = F8;
    using I = I8;
    using D = double __attribute__((vector_size(32)));
    FLUID_VECTOR_INLINE static I firstLanes(int count) { return I{0, 1, 2, 3, 4, 5, 6, 7} < count; }
    // Shuffles stay within 128-bit halves, so the halves take lanes 0, 1, 4, 5
    // and 2, 3, 6, 7.
    static constexpr int pairOrder[8] = {0, 1, 4, 5, 2, 3, 6, 7};
    FLUID_VECTOR_INLINE static F firstOfPairs(const F& lo, const F& hi) {
        return FLUID_SHUFFLE(I, lo, hi, 0, 2, 8, 10, 4, 6, 12, 14);
    }
    FLUID_VECTOR_INLINE static F secondOfPairs(const F& lo, const F& hi) {
        return FLUID_SHUFFLE(I, lo, hi, 1, 3, 9, 11, 5, 7, 13, 15);
    }
};
#if defined(__AVX512F__)
template <>
struct Lanes<16> {
    using F = __m512;
    using I = __m512i;
    FLUID_VECTOR_INLINE static __mmask16 firstLanes(int count) {
        return static_cast<__mmask16>((1u << count) - 1u);
    }
};
#endif

template <class V, class T>
FLUID_VECTOR_INLINE V load(const T* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class T, class V>
FLUID_VECTOR_INLINE void store(T* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

int cellCount(int N) { return (N + 2) * (N + 2); }

// --- NaN scan ---------------------------------------------------------------------------

constexpr int32_t infinityBits = 0x7f800000;

// Xoring the foreign sign into the sign bit turns a NaN of that sign into the
// only kind of value whose bits, as an int, exceed those of +infinity. Four
// vectors per round, each with its own accumulator, so that the scan runs at
// the speed of the loads.
template <int L>
bool holdsForeignNaN(const float* p, int count, int32_t foreignSign) {
    using I = typename Lanes<(L > 8 ? 8 : L)>::I;
    constexpr int W = L > 8 ? 8 : L;
    I found0 = {}, found1 = {}, found2 = {}, found3 = {};
    int k = 0;
    for (; k + 4 * W <= count; k += 4 * W) {
        found0 |= (load<I>(p + k) ^ foreignSign) > infinityBits;
        found1 |= (load<I>(p + k + W) ^ foreignSign) > infinityBits;
        found2 |= (load<I>(p + k + 2 * W) ^ foreignSign) > infinityBits;
        found3 |= (load<I>(p + k + 3 * W) ^ foreignSign) > infinityBits;
    }
    const I found = (found0 | found1) | (found2 | found3);
    bool any = false;
    for (int l = 0; l < W; ++l) any = any || found[l] != 0;
    for (; k < count; ++k) {
        int32_t bits;
        std::memcpy(&bits, p + k, sizeof bits);
        any = any || (bits ^ foreignSign) > infinityBits;
    }
    return any;
}

// --- kernels on the grid's own order ------------------------------------------------------

// x may be s itself: every vector reads its own cells before writing them.
template <int L>
void addSource(int N, float* x, const float* s, float dt) {
    using F = typename Lanes<L>::F;
    const int cells = cellCount(N);
    const int last = cells - L;
    const F tail = kernel::addSourceValue(load<F>(x + last), load<F>(s + last), dt);
    for (int c = 0; c + L <= cells; c += L) store(x + c, kernel::addSourceValue(load<F>(x + c), load<F>(s + c), dt));
    store(x + last, tail);
}

// Per lane l, the cells p[at[l]] (into *first) and p[at[l] + 1] (*second),
// read as one 8-byte pair per lane.
template <int L>
FLUID_VECTOR_INLINE void pairsAt(const float* p, const typename Lanes<L>::I& at, typename Lanes<L>::F* first,
                                 typename Lanes<L>::F* second) {
    using F = typename Lanes<L>::F;
    using D = typename Lanes<L>::D;
    D half[2];
    for (int k = 0; k < L; ++k) {
        double pair;
        std::memcpy(&pair, p + at[Lanes<L>::pairOrder[k]], sizeof pair);
        half[k / (L / 2)][k % (L / 2)] = pair;
    }
    const F lo = (F)half[0], hi = (F)half[1];
    *first = Lanes<L>::firstOfPairs(lo, hi);
    *second = Lanes<L>::secondOfPairs(lo, hi);
}

template <int L>
void advect(int N, int b, float* d, const float* d0, const float* u, const float* v, float dt, const int* boundary) {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    const int S = N + 2;
    const float n = static_cast<float>(N);
    I lane;
    for (int l = 0; l < L; ++l) lane[l] = l;
    const auto sample = [&](const I& i0, const I& j0, F* d00, F* d01, F* d10, F* d11) {
        const I at = i0 + j0 * S;
        pairsAt<L>(d0, at, d00, d10);
        pairsAt<L>(d0 + S, at, d01, d11);
    };
    for (int j = 1; j <= N; ++j) {
        const F fj = F{} + static_cast<float>(j);
        for (int i = 0; i < S; i += L) {
            const int ci = i < S - L ? i : S - L;
            const int c = ci + S * j;
            F value = kernel::advectValue(kernel::toFloat(lane + ci), fj, load<F>(u + c), load<F>(v + c), dt * n,
                                          n + 0.5f, sample);
            if (b == 1)
                value = kernel::reflectAlongJ(value, kernel::isSolid(load<I>(boundary + c - S)),
                                              kernel::isSolid(load<I>(boundary + c + S)));
            store(d + c, kernel::keepWhere(kernel::isFluid(load<I>(boundary + c)), value));
        }
    }
}

template <int L>
void divergence(int N, const float* u, const float* v, float* div, const int* boundary) {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    const int S = N + 2, end = S * (N + 1);
    const float h = kernel::gridSpacing(N);
    for (int t = S; t < end; t += L) {
        const int c = t < end - L ? t : end - L;
        store(div + c, kernel::divergenceValue(kernel::isFluid(load<I>(boundary + c)), load<F>(u + c + 1),
                                               load<F>(u + c - 1), load<F>(v + c + S), load<F>(v + c - S),
                                               kernel::isSolid(load<I>(boundary + c - 1)),
                                               kernel::isSolid(load<I>(boundary + c + 1)), h));
    }
}

template <int L>
FLUID_VECTOR_INLINE void gradientAt(int N, int c, const float* u, const float* v, const float* p,
                                    const int* boundary, float h, typename Lanes<L>::F* un,
                                    typename Lanes<L>::F* vn) {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    const int S = N + 2;
    const I fluid = kernel::isFluid(load<I>(boundary + c));
    *un = kernel::gradientCorrected(fluid, load<F>(u + c), load<F>(p + c + 1), load<F>(p + c - 1),
                                    kernel::isSolid(load<I>(boundary + c - S)),
                                    kernel::isSolid(load<I>(boundary + c + S)), h);
    *vn = kernel::gradientCorrected(fluid, load<F>(v + c), load<F>(p + c + S), load<F>(p + c - S),
                                    kernel::isSolid(load<I>(boundary + c - 1)),
                                    kernel::isSolid(load<I>(boundary + c + 1)), h);
}

template <int L>
void subtractGradient(int N, float* u, float* v, const float* p, const int* boundary) {
    using F = typename Lanes<L>::F;
    const int S = N + 2, end = S * (N + 1);
    const float h = kernel::gridSpacing(N);
    F uTail, vTail;
    gradientAt<L>(N, end - L, u, v, p, boundary, h, &uTail, &vTail);
    for (int c = S; c + L <= end; c += L) {
        F un, vn;
        gradientAt<L>(N, c, u, v, p, boundary, h, &un, &vn);
        store(u + c, un);
        store(v + c, vn);
    }
    store(u + end - L, uTail);
    store(v + end - L, vTail);
}

// --- relaxations in diagonal order -----------------------------------------------------

// Diagonal d of one sweep: its interior cells, i from max(1, d - N) to
// min(N, d - 1), as whole vectors (a last one overlapping its predecessor
// computes the same values again, since no cell of a diagonal reads
// another), or as one vector that keeps the old values beyond the diagonal's
// end when it is shorter than a vector. Then the border neighbours of its
// cells next to the border.
template <int L, class Cell>
FLUID_VECTOR_INLINE void relaxDiagonal(const DiagonalGrid& g, int b, float* x, int d, const Cell& cell) {
    using F = typename Lanes<L>::F;
    const int N = g.N, lo = std::max(1, d - N), hi = std::min(N, d - 1), count = hi - lo + 1;
    float* row = x + d * g.stride;
    if (count >= L) {
        for (int c = lo; c + L <= hi + 1; c += L) store(row + c, cell(d, c));
        if (count % L != 0) store(row + hi + 1 - L, cell(d, hi + 1 - L));
    } else {
        store(row + lo, kernel::choose(Lanes<L>::firstLanes(count), cell(d, lo), load<F>(row + lo)));
    }
    float* below = row - g.stride;
    float* above = row + g.stride;
    if (d - 1 <= N) {  // (1, d - 1) and (d - 1, 1) lie on this diagonal
        below[0] = b == 0 ? row[1] : 0.0f;          // (0, d - 1)
        below[d - 1] = b == 0 ? row[d - 1] : 0.0f;  // (d - 1, 0)
    }
    if (d - 1 >= N) {  // (N, d - N) and (d - N, N)
        above[N + 1] = b == 0 ? row[N] : 0.0f;      // (N + 1, d - N)
        above[d - N] = b == 0 ? row[d - N] : 0.0f;  // (d - N, N + 1)
    }
}

// All sweeps, wave by wave (see the top of this file).
template <int L, class Cell>
FLUID_VECTOR_INLINE void relaxDiagonals(const DiagonalGrid& g, int b, float* x, const Cell& cell) {
    const int diagonals = 2 * g.N - 1;  // interior diagonals 2 .. 2N
    const int waves = diagonals + 2 * (relaxationSweeps - 1);
    for (int wave = 0; wave < waves; ++wave) {
        const int firstSweep = wave < diagonals ? 0 : (wave - diagonals) / 2 + 1;
        const int lastSweep = std::min(relaxationSweeps - 1, wave / 2);
        for (int k = firstSweep; k <= lastSweep; ++k) relaxDiagonal<L>(g, b, x, 2 + wave - 2 * k, cell);
    }
}

template <int L, bool divide>
struct DiffuseCell {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    int stride;
    const float* x;
    const float* x0;
    const int* mask;
    float a, divisor;
    FLUID_VECTOR_INLINE F operator()(int d, int c) const {
        const float* below = x + (d - 1) * stride;
        const float* above = x + (d + 1) * stride;
        const int at = d * stride + c;
        return kernel::diffuseValue<divide>(kernel::isFluid(load<I>(mask + at)), load<F>(x0 + at),
                                            load<F>(below + c - 1), load<F>(above + c + 1), load<F>(below + c),
                                            load<F>(above + c), a, divisor);
    }
};

template <int L>
void diffuse(const DiagonalGrid& g, int b, float* x, const float* x0, const int* mask, float a, float divisor) {
    if (divisor == 1.0f)
        relaxDiagonals<L>(g, b, x, DiffuseCell<L, false>{g.stride, x, x0, mask, a, divisor});
    else
        relaxDiagonals<L>(g, b, x, DiffuseCell<L, true>{g.stride, x, x0, mask, a, divisor});
}

template <int L>
struct PressureCell {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    int stride;
    const float* p;
    const float* div;
    const int* mask;
    FLUID_VECTOR_INLINE F operator()(int d, int c) const {
        const float* below = p + (d - 1) * stride;
        const float* above = p + (d + 1) * stride;
        const int at = d * stride + c;
        return kernel::pressureValue(kernel::isFluid(load<I>(mask + at)), load<F>(div + at), load<F>(below + c - 1),
                                     load<F>(above + c + 1), load<F>(below + c), load<F>(above + c),
                                     kernel::isSolid(load<I>(mask + at - stride)),
                                     kernel::isSolid(load<I>(mask + at + stride)));
    }
};

template <int L>
void pressure(const DiagonalGrid& g, float* p, const float* div, const int* mask) {
    relaxDiagonals<L>(g, 0, p, PressureCell<L>{g.stride, p, div, mask});
}

// The table of one instruction set: relaxations with `relaxLanes` lanes, the
// other kernels with `lanes`.
template <int lanes, int relaxLanes>
constexpr VectorCode vectorCode() {
    return VectorCode{relaxLanes,     holdsForeignNaN<lanes>, addSource<lanes>,        diffuse<relaxLanes>,
                      advect<lanes>,  divergence<lanes>,      pressure<relaxLanes>,    subtractGradient<lanes>};
}

}  // namespace
