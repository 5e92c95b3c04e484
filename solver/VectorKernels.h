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
// Border cells keep their values through the cell phase. Each is read by one
// interior cell only, its neighbour across the border, so as soon as that
// cell's diagonal is done the border cell takes its end-of-sweep value (the
// copy, or 0): its reader has read the old value in this sweep and reads the
// new one in the next. The corners, which no interior cell reads, are left
// to the caller's border pass at the end.
//
// The order of the vectors depends only on the grid size, so it is worked
// out once (relaxPlan) as one flat list per wave, and split once per
// obstacle mask into vectors with no solid cell near them, whose masks are
// known to be empty, and the others.
#pragma once

#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>
#include <vector>

#include "CellFormulas.h"
#include "KernelBodies.h"
#include "Kernels.h"
#include "VectorCode.h"

#define FLUID_VECTOR_INLINE inline __attribute__((always_inline))

#if defined(__AVX2__)
#include <immintrin.h>
#endif

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
    static constexpr bool gathers = false;
    using D = double __attribute__((vector_size(16)));
    // The lanes whose bit is set.
    FLUID_VECTOR_INLINE static I fromBits(unsigned bits) { return (I{1, 2, 4, 8} & static_cast<int>(bits)) != 0; }
    // The lanes first, first + 1, ...
    FLUID_VECTOR_INLINE static I lanesFrom(int first) { return I{0, 1, 2, 3} + first; }

    // Stores the lanes of v whose bit is set, leaving the others' memory alone.
    FLUID_VECTOR_INLINE static void storeLanes(float* p, unsigned bits, const F& v) {
        F old;
        std::memcpy(&old, p, sizeof old);
        const F merged = kernel::choose(fromBits(bits), v, old);
        std::memcpy(p, &merged, sizeof merged);
    }
    // A run of cells moved by one is loaded again: SSE2 has no cheap shift
    // across two vectors.
    static constexpr bool shiftByShuffle = false;
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
#if defined(__AVX2__)
    // Lane l takes base[index[l]] where mask is set, 0 elsewhere.
    static constexpr bool gathers = true;
    FLUID_VECTOR_INLINE static F gather(const float* base, const I& index, const I& mask) {
        return (F)_mm256_mask_i32gather_ps(_mm256_setzero_ps(), base, (__m256i)index, (__m256)mask, 4);
    }
#else
    static constexpr bool gathers = false;
#endif
    using D = double __attribute__((vector_size(32)));
    FLUID_VECTOR_INLINE static I fromBits(unsigned bits) {
        return (I{1, 2, 4, 8, 16, 32, 64, 128} & static_cast<int>(bits)) != 0;
    }
    // The lanes first, first + 1, ...
    FLUID_VECTOR_INLINE static I lanesFrom(int first) { return I{0, 1, 2, 3, 4, 5, 6, 7} + first; }

    FLUID_VECTOR_INLINE static void storeLanes(float* p, unsigned bits, const F& v) {
#if defined(__AVX2__)
        _mm256_maskstore_ps(p, (__m256i)fromBits(bits), (__m256)v);
#else
        F old;
        std::memcpy(&old, p, sizeof old);
        const F merged = kernel::choose(fromBits(bits), v, old);
        std::memcpy(p, &merged, sizeof merged);
#endif
    }
    // A run of cells moved by one: west takes its first cell from the vector
    // before, east its last from the vector after.
    static constexpr bool shiftByShuffle = true;
    FLUID_VECTOR_INLINE static F west(const F& prev, const F& cur) {
        return FLUID_SHUFFLE(I, prev, cur, 7, 8, 9, 10, 11, 12, 13, 14);
    }
    FLUID_VECTOR_INLINE static F east(const F& cur, const F& next) {
        return FLUID_SHUFFLE(I, cur, next, 1, 2, 3, 4, 5, 6, 7, 8);
    }
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
    static constexpr bool gathers = true;
    FLUID_VECTOR_INLINE static F gather(const float* base, const I& index, __mmask16 mask) {
        return _mm512_mask_i32gather_ps(_mm512_setzero_ps(), mask, index, base, 4);
    }
    FLUID_VECTOR_INLINE static __mmask16 fromBits(unsigned bits) { return static_cast<__mmask16>(bits); }
    FLUID_VECTOR_INLINE static I lanesFrom(int first) {
        return _mm512_add_epi32(_mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0),
                                _mm512_set1_epi32(first));
    }
    // The four cells (i0, j0), (i0, j0 + 1), (i0 + 1, j0), (i0 + 1, j0 + 1)
    // of a field with rows S apart, gathered per lane.
    FLUID_VECTOR_INLINE static void sample(const float* p, int S, const I& i0, const I& j0, F* d00, F* d01, F* d10,
                                           F* d11) {
        const __m512i at = _mm512_add_epi32(i0, _mm512_mullo_epi32(j0, _mm512_set1_epi32(S)));
        *d00 = gather(p, at, 0xffff);
        *d10 = gather(p + 1, at, 0xffff);
        *d01 = gather(p + S, at, 0xffff);
        *d11 = gather(p + S + 1, at, 0xffff);
    }
    FLUID_VECTOR_INLINE static void storeLanes(float* p, unsigned bits, const F& v) {
        _mm512_storeu_ps(p, _mm512_mask_blend_ps(fromBits(bits), _mm512_loadu_ps(p), v));
    }
    static constexpr bool shiftByShuffle = true;
    // (The zero-masking forms with all lanes kept are the plain valignd;
    // unlike the unmasked intrinsics they do not trip GCC's
    // uninitialised-value warning.)
    FLUID_VECTOR_INLINE static F west(const F& prev, const F& cur) {
        return _mm512_castsi512_ps(
            _mm512_maskz_alignr_epi32(0xffff, _mm512_castps_si512(cur), _mm512_castps_si512(prev), 15));
    }
    FLUID_VECTOR_INLINE static F east(const F& cur, const F& next) {
        return _mm512_castsi512_ps(
            _mm512_maskz_alignr_epi32(0xffff, _mm512_castps_si512(next), _mm512_castps_si512(cur), 1));
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

using kernel::cellCount;

// --- NaN scan ---------------------------------------------------------------------------

// Whether p[0..count) holds a NaN of the foreign sign (isNaNOfSign,
// VectorCode.h). Four vectors per round, each with its own accumulator, so
// that the scan runs at the speed of the loads.
template <int L>
bool holdsForeignNaN(const float* p, int count, int32_t foreignSign) {
    using I = typename Lanes<L>::I;
    I found0 = {}, found1 = {}, found2 = {}, found3 = {};
    int k = 0;
    for (; k + 4 * L <= count; k += 4 * L) {
        found0 |= isNaNOfSign(load<I>(p + k), foreignSign);
        found1 |= isNaNOfSign(load<I>(p + k + L), foreignSign);
        found2 |= isNaNOfSign(load<I>(p + k + 2 * L), foreignSign);
        found3 |= isNaNOfSign(load<I>(p + k + 3 * L), foreignSign);
    }
    const I found = (found0 | found1) | (found2 | found3);
    bool any = false;
    for (int l = 0; l < L; ++l) any = any || found[l] != 0;
    for (; k < count; ++k) {
        int32_t bits;
        std::memcpy(&bits, p + k, sizeof bits);
        any = any || isNaNOfSign(bits, foreignSign);
    }
    return any;
}

// Whether p[0..count) holds a value of magnitude above `limit`, an infinity
// or a NaN.
template <int L>
bool holdsBeyond(const float* p, int count, float limit) {
    using I = typename Lanes<L>::I;
    std::int32_t limitBits;
    std::memcpy(&limitBits, &limit, sizeof limitBits);
    I found = {};
    int k = 0;
    for (; k + L <= count; k += L) found |= (load<I>(p + k) & INT32_MAX) > limitBits;
    bool any = false;
    for (int l = 0; l < L; ++l) any = any || found[l] != 0;
    for (; k < count; ++k) {
        std::int32_t bits;
        std::memcpy(&bits, p + k, sizeof bits);
        any = any || (bits & INT32_MAX) > limitBits;
    }
    return any;
}

// Appends to `found` the places k in [0, count) where p[k] is -0, in order.
template <int L>
void findNegativeZeros(const float* p, int count, std::vector<int>* found) {
    using I = typename Lanes<L>::I;
    const auto isNegativeZero = [p](int k) {
        std::int32_t bits;
        std::memcpy(&bits, p + k, sizeof bits);
        return bits == INT32_MIN;
    };
    int k = 0;
    for (; k + L <= count; k += L) {
        const I hit = load<I>(p + k) == INT32_MIN;
        bool any = false;
        for (int l = 0; l < L; ++l) any = any || hit[l] != 0;
        if (any)
            for (int l = 0; l < L; ++l)
                if (isNegativeZero(k + l)) found->push_back(k + l);
    }
    for (; k < count; ++k)
        if (isNegativeZero(k)) found->push_back(k);
}

// Fluid cells take x0, solid cells 0 (border cells too; the caller's border
// pass replaces them).
template <int L>
void keepFluid(int N, float* x, const float* x0, const int* boundary) {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    const int cells = cellCount(N);
    int k = 0;
    for (; k + L <= cells; k += L)
        store(x + k, kernel::keepWhere(kernel::isFluid(load<I>(boundary + k)), load<F>(x0 + k)));
    for (; k < cells; ++k) x[k] = kernel::keepWhere(kernel::isFluid(boundary[k]), x0[k]);
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
    const auto sample = [&](const I& i0, const I& j0, F* d00, F* d01, F* d10, F* d11) {
        if constexpr (L == 16) {
            Lanes<L>::sample(d0, S, i0, j0, d00, d01, d10, d11);
        } else {
            const I at = i0 + j0 * S;
            pairsAt<L>(d0, at, d00, d10);
            pairsAt<L>(d0 + S, at, d01, d11);
        }
    };
    for (int j = 1; j <= N; ++j) {
        const F fj = F{} + static_cast<float>(j);
        for (int i = 0; i < S; i += L) {
            const int ci = i < S - L ? i : S - L;
            const int c = ci + S * j;
            F value = kernel::advectValue(kernel::toFloat(Lanes<L>::lanesFrom(ci)), fj, load<F>(u + c), load<F>(v + c), dt * n,
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

// --- diagonal order and back --------------------------------------------------------------

// The 32-bit lanes 0, step, 2 * step, ...
template <int L>
FLUID_VECTOR_INLINE typename Lanes<L>::I laneMultiples(int step) {
    std::int32_t lanes[L];
    for (int l = 0; l < L; ++l) lanes[l] = l * step;
    return load<typename Lanes<L>::I>(lanes);
}

// Field (4-byte cells: floats, or the mask's ints) from grid order into
// diagonal order: each diagonal row gathered from the grid, where the
// processor gathers; cell by cell otherwise. Cells outside the grid get 0.
template <int L, class T>
void toDiagonal(const DiagonalGrid& g, const T* grid, T* diagonal) {
    static_assert(sizeof(T) == sizeof(float), "4-byte cells");
    const int S = g.N + 2;
    if constexpr (Lanes<L>::gathers) {
        using I = typename Lanes<L>::I;
        const I step = laneMultiples<L>(1 - S);  // cell (c + l, r - c - l) lies (S - 1) * l before (c, r - c)
        for (int r = 0; r <= 2 * S - 2; ++r) {
            const int lo = std::max(0, r - (S - 1)), hi = std::min(S - 1, r);
            for (int c = lo / L * L; c <= hi; c += L) {
                const int first = std::max(lo - c, 0), last = std::min(hi - c, L - 1);
                const unsigned bits = ((2u << last) - 1u) & ~((1u << first) - 1u);
                const float* base = reinterpret_cast<const float*>(grid) + (c + S * (r - c));
                const auto v = Lanes<L>::gather(base, step, Lanes<L>::fromBits(bits));
                std::memcpy(diagonal + diagonalAt(g, c, r - c), &v, sizeof v);
            }
        }
    } else {
        for (int j = 0; j < S; ++j)
            for (int i = 0; i < S; ++i) diagonal[diagonalAt(g, i, j)] = grid[i + S * j];
    }
}

template <int L>
void fromDiagonal(const DiagonalGrid& g, const float* diagonal, float* grid) {
    const int S = g.N + 2;
    if constexpr (Lanes<L>::gathers) {
        using I = typename Lanes<L>::I;
        const I step = laneMultiples<L>(g.stride + 1);  // (i + l, j) lies l rows and l columns on
        const auto all = Lanes<L>::fromBits((1u << L) - 1u);
        for (int j = 0; j < S; ++j)
            for (int i = 0; i < S; i += L) {
                const int c = std::min(i, S - L);
                store(grid + c + S * j, Lanes<L>::gather(diagonal + diagonalAt(g, c, j), step, all));
            }
    } else {
        for (int j = 0; j < S; ++j)
            for (int i = 0; i < S; ++i) grid[i + S * j] = diagonal[diagonalAt(g, i, j)];
    }
}

// --- relaxations in diagonal order -----------------------------------------------------

// One vector of a diagonal at the diagonal's ends: the cells at `at` and the
// L - 1 after it, and its lanes that hold the diagonal's interior cells, one
// bit per lane (the others, border cells or places outside the grid, are
// not written). The vectors between a diagonal's ends are listed by place
// alone.
struct EdgeTask {
    std::int32_t at;
    std::uint32_t inside;
};

// A border cell that takes its end-of-sweep value, the copy of the interior
// cell `from` or 0, once that cell's diagonal is done.
struct BorderWrite {
    std::int32_t from, to;
};

// Every vector of a relaxation, wave by wave: in wave w, diagonal 2 + w - 2k
// of every sweep k. A diagonal's interior cells, i from lo = max(1, d - N) to
// hi = min(N, d - 1), are covered by the aligned vectors that hold them, so
// that every load of a neighbouring diagonal is a whole vector that some
// store wrote. Built once per grid size. Within a wave the order does not
// matter, so each wave lists its edge vectors and then its inner ones, and
// the loops over them have no branch whose outcome changes from one
// diagonal to the next.
struct RelaxPlan {
    DiagonalGrid grid{0, 0};
    std::vector<std::int32_t> inner;
    std::vector<EdgeTask> edges;
    std::vector<BorderWrite> borderWrites;
    std::vector<int> innerEnd, edgeEnd, borderEnd;  // per wave: one past its last task
};

template <int L>
const RelaxPlan& relaxPlan(const DiagonalGrid& g) {
    static RelaxPlan plan;
    if (plan.grid.N == g.N && plan.grid.stride == g.stride) return plan;
    plan = RelaxPlan{};
    const int N = g.N, diagonals = 2 * N - 1;  // interior diagonals 2 .. 2N
    const int waves = diagonals + 2 * (relaxationSweeps - 1);
    const auto bits = [](int first, int last) {
        first = std::max(first, 0);
        last = std::min(last, L - 1);
        return static_cast<std::uint16_t>(first > last ? 0u : ((2u << last) - 1u) & ~((1u << first) - 1u));
    };
    for (int wave = 0; wave < waves; ++wave) {
        const int firstSweep = wave < diagonals ? 0 : (wave - diagonals) / 2 + 1;
        const int lastSweep = std::min(relaxationSweeps - 1, wave / 2);
        for (int k = firstSweep; k <= lastSweep; ++k) {
            const int d = 2 + wave - 2 * k, lo = std::max(1, d - N), hi = std::min(N, d - 1);
            // (Columns diagonalMargin + c are whole vectors for c a multiple of L.)
            const int first = lo / L * L, last = hi / L * L;
            for (int c = first; c <= last; c += L) {
                const int at = diagonalAt(g, c, d - c);
                if (c != first && c != last) {
                    plan.inner.push_back(at);
                    continue;
                }
                plan.edges.push_back(EdgeTask{at, bits(lo - c, hi - c)});
            }
            // The border neighbours of this diagonal's cells next to the
            // border; each is read by that cell alone, which has read it in
            // this sweep and reads the new value in the next.
            const auto write = [&](int i, int j, int borderI, int borderJ) {
                plan.borderWrites.push_back(BorderWrite{diagonalAt(g, i, j), diagonalAt(g, borderI, borderJ)});
            };
            if (lo == 1) write(1, d - 1, 0, d - 1);
            if (hi == d - 1) write(d - 1, 1, d - 1, 0);
            if (hi == N) write(N, d - N, N + 1, d - N);
            if (lo == d - N) write(d - N, N, d - N, N + 1);
        }
        plan.innerEnd.push_back(static_cast<int>(plan.inner.size()));
        plan.edgeEnd.push_back(static_cast<int>(plan.edges.size()));
        plan.borderEnd.push_back(static_cast<int>(plan.borderWrites.size()));
    }
    plan.grid = g;
    return plan;
}

template <int L>
struct Neighbours {
    typename Lanes<L>::F west, east, south, north;
};

// The neighbours of the vector of cells at `cells` on diagonal d, from the
// diagonals d - 1 and d + 1. Every load is a whole aligned vector, like every
// store, so that a load meeting a recent store takes its data straight from
// it; west and east are shifted out of two neighbouring vectors.
template <int L>
FLUID_VECTOR_INLINE Neighbours<L> neighboursOf(const float* cells, int stride) {
    using F = typename Lanes<L>::F;
    const float* below = cells - stride;
    const float* above = cells + stride;
    Neighbours<L> n;
    n.south = load<F>(below);
    n.north = load<F>(above);
    if constexpr (Lanes<L>::shiftByShuffle) {
        n.west = Lanes<L>::west(load<F>(below - L), n.south);
        n.east = Lanes<L>::east(n.north, load<F>(above + L));
    } else {
        n.west = load<F>(below - 1);
        n.east = load<F>(above + 1);
    }
    return n;
}

// The inner vectors of a plan split by the obstacle mask: "clean" ones hold
// fluid cells only and have fluid cells only below and above them (so no
// cell of theirs is cleared or flipped), the others are "mixed". Made again
// whenever the mask changes (a new generation).
struct MaskedPlan {
    unsigned generation = 0;
    const RelaxPlan* plan = nullptr;
    std::vector<std::int32_t> clean, mixed;
    std::vector<int> cleanEnd, mixedEnd;  // per wave
};

template <int L>
const MaskedPlan& maskedPlan(const DiagonalGrid& g, const int* mask, unsigned generation) {
    static MaskedPlan split;
    const RelaxPlan& plan = relaxPlan<L>(g);
    if (split.plan == &plan && split.generation == generation) return split;
    split = MaskedPlan{generation, &plan, {}, {}, {}, {}};
    int next = 0;
    for (const int end : plan.innerEnd) {
        for (; next < end; ++next) {
            const int at = plan.inner[next];
            bool solid = false;
            for (int l = 0; l < L; ++l)
                solid = solid || mask[at + l] != 0 || mask[at - g.stride + l] != 0 || mask[at + g.stride + l] != 0;
            (solid ? split.mixed : split.clean).push_back(at);
        }
        split.cleanEnd.push_back(static_cast<int>(split.clean.size()));
        split.mixedEnd.push_back(static_cast<int>(split.mixed.size()));
    }
    return split;
}

// All sweeps (see the top of this file); the side cells are left as they
// were at launch. cell(at, neighbours, clean) computes one vector.
template <int L, class Cell>
FLUID_VECTOR_INLINE void relaxDiagonals(const DiagonalGrid& g, int b, float* x, const int* mask, unsigned generation,
                                        const Cell& cell) {
    const RelaxPlan& plan = relaxPlan<L>(g);
    const MaskedPlan& split = maskedPlan<L>(g, mask, generation);
    const int stride = g.stride;
    const std::int32_t* clean = split.clean.data();
    const std::int32_t* mixed = split.mixed.data();
    const EdgeTask* edges = plan.edges.data();
    const BorderWrite* borders = plan.borderWrites.data();
    int nextClean = 0, nextMixed = 0, nextEdge = 0, nextBorder = 0;
    // Within a wave: the edge vectors, the clean and the mixed inner ones,
    // then the border cells they give values to.
    for (std::size_t wave = 0; wave < plan.innerEnd.size(); ++wave) {
        for (const int end = plan.edgeEnd[wave]; nextEdge < end; ++nextEdge) {
            const EdgeTask& t = edges[nextEdge];
            Lanes<L>::storeLanes(x + t.at, t.inside, cell(t.at, neighboursOf<L>(x + t.at, stride), std::false_type{}));
        }
        for (const int end = split.cleanEnd[wave]; nextClean < end; ++nextClean) {
            const int at = clean[nextClean];
            store(x + at, cell(at, neighboursOf<L>(x + at, stride), std::true_type{}));
        }
        for (const int end = split.mixedEnd[wave]; nextMixed < end; ++nextMixed) {
            const int at = mixed[nextMixed];
            store(x + at, cell(at, neighboursOf<L>(x + at, stride), std::false_type{}));
        }
        for (const int end = plan.borderEnd[wave]; nextBorder < end; ++nextBorder) {
            const BorderWrite& w = borders[nextBorder];
            x[w.to] = kernel::sideValue(b, x[w.from]);
        }
    }
}

template <int L, bool divide>
struct DiffuseCell {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    const float* x0;
    const int* mask;
    float a, divisor;
    FLUID_VECTOR_INLINE F operator()(int at, const Neighbours<L>& n, std::true_type /*clean*/) const {
        return kernel::diffuseValue<divide>(kernel::AllLanes{}, load<F>(x0 + at), n.west, n.east, n.south, n.north, a,
                                            divisor);
    }
    FLUID_VECTOR_INLINE F operator()(int at, const Neighbours<L>& n, std::false_type) const {
        return kernel::diffuseValue<divide>(kernel::isFluid(load<I>(mask + at)), load<F>(x0 + at), n.west, n.east,
                                            n.south, n.north, a, divisor);
    }
};

template <int L>
void diffuse(const DiagonalGrid& g, int b, float* x, const float* x0, const int* mask, unsigned generation, float a,
             float divisor) {
    if (divisor == 1.0f)
        relaxDiagonals<L>(g, b, x, mask, generation, DiffuseCell<L, false>{x0, mask, a, divisor});
    else
        relaxDiagonals<L>(g, b, x, mask, generation, DiffuseCell<L, true>{x0, mask, a, divisor});
}

template <int L>
struct PressureCell {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    int stride;
    const float* div;
    const int* mask;
    FLUID_VECTOR_INLINE F operator()(int at, const Neighbours<L>& n, std::true_type /*clean*/) const {
        return kernel::pressureValue(kernel::AllLanes{}, load<F>(div + at), n.west, n.east, n.south, n.north,
                                     kernel::NoLanes{}, kernel::NoLanes{});
    }
    FLUID_VECTOR_INLINE F operator()(int at, const Neighbours<L>& n, std::false_type) const {
        return kernel::pressureValue(kernel::isFluid(load<I>(mask + at)), load<F>(div + at), n.west, n.east, n.south,
                                     n.north, kernel::isSolid(load<I>(mask + at - stride)),
                                     kernel::isSolid(load<I>(mask + at + stride)));
    }
};

template <int L>
void pressure(const DiagonalGrid& g, float* p, const float* div, const int* mask, unsigned generation) {
    relaxDiagonals<L>(g, 0, p, mask, generation, PressureCell<L>{g.stride, div, mask});
}

// The table of one instruction set, `width` lanes wide: relaxations with
// `relaxLanes` lanes, advection with `advectLanes`, the other kernels with
// `lanes`.
template <int width, int lanes, int relaxLanes, int advectLanes = lanes>
constexpr VectorCode vectorCode() {
    return VectorCode{width,
                      holdsForeignNaN<lanes>,
                      holdsBeyond<lanes>,
                      findNegativeZeros<lanes>,
                      keepFluid<lanes>,
                      addSource<lanes>,
                      diffuse<relaxLanes>,
                      advect<advectLanes>,
                      divergence<lanes>,
                      pressure<relaxLanes>,
                      subtractGradient<lanes>,
                      toDiagonal<relaxLanes, float>,
                      toDiagonal<relaxLanes, int>,
                      fromDiagonal<relaxLanes>};
}

}  // namespace
