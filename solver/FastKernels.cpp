// FastKernels.cpp - the vectorised host realisation of the six kernels.
//
// Every cell phase is data parallel: a cell reads only inputs that the phase
// does not write (the relaxations read the previous sweep from a second
// buffer), so runs of consecutive cells are computed together, one vector
// operation per arithmetic step of KernelBodies.h. The vector code is written
// once with GCC vector types and compiled twice: as 4-lane code, which is
// plain SSE2 on every x86-64 processor, and as 8-lane code inside functions
// compiled for AVX2. The two relaxations, which take most of a step, also
// have 16-lane rows written with AVX-512 instructions. The widest code that
// the processor runs is chosen once, at run time.
//
// Why the results equal the reference's bit for bit:
// - Each lane performs the single-precision operations of KernelBodies.h in
//   the order written there: true IEEE division (never a reciprocal), no
//   reassociation, no fused multiply-add (the build forbids contraction, and
//   no function here is compiled for FMA).
// - Branches become masks. "Border or solid cell becomes 0" keeps the lanes
//   of fluid cells and clears the others to +0; a sign flip xors the sign bit
//   in the lanes whose condition (value < 0 or value > 0, together with the
//   solid neighbour) holds, which is never the case for zero or NaN.
// - Vectors run along whole rows, border columns included. Whatever the cell
//   phase leaves in a border cell is never read before the border pass
//   replaces it: side copies read only interior cells and corners read only
//   side cells. When a row (or run of rows) is not a whole number of vectors,
//   the last vector overlaps its predecessor; where a kernel updates a field
//   in place, that last vector is computed before the others and stored
//   after them.
// - A relaxation alternates between the caller's field and one scratch field
//   instead of copying the field before every sweep, and does each row's
//   border cells right after the row; its cell phase reads only the other
//   field, so the order does not matter.
// - A diffusion whose divisor is exactly 1 (diffusion rate 0) skips the
//   division: the numerator comes out of an addition, so it is never a
//   signalling NaN, and n / 1 is n for every other value (in the default
//   floating-point environment, which the program never changes).
// - When both operands of a commutative operation are NaNs of different
//   signs, the processor returns the first one, and which one is first is
//   the compiler's choice (register allocation), made differently in the
//   reference's code and here, and from one build to the next. Invalid
//   operations produce the processor's default NaN, and every operation in
//   these kernels passes a NaN on with its sign, so while all NaNs in the
//   inputs share the default NaN's sign, the choice cannot show. A launch
//   whose inputs hold a NaN of the other sign therefore runs the reference
//   realisation, as do grids narrower than the widest vector and fields that
//   overlap in memory in ways the vector code does not allow.
#include "FastKernels.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "KernelBodies.h"
#include "Kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define FLUID_X86 1
#define FLUID_TARGET_AVX2 __attribute__((target("avx2")))
#define FLUID_TARGET_AVX512 __attribute__((target("avx512f")))
#else
#define FLUID_X86 0
#define FLUID_TARGET_AVX2
#endif

// The vector helpers below return 32-byte vectors (and take them by
// reference); they are always inlined, so no call ever crosses the ABI that
// the compiler would warn about.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wunknown-warning-option"
#pragma clang diagnostic ignored "-Wpsabi"
#elif defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#define FLUID_VECTOR_INLINE inline __attribute__((always_inline))

namespace {

using std::int32_t;

typedef float F4 __attribute__((vector_size(16)));
typedef int32_t I4 __attribute__((vector_size(16)));
typedef float F8 __attribute__((vector_size(32)));
typedef int32_t I8 __attribute__((vector_size(32)));

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

template <int L>
struct Lanes;
// Per width: the vector types, and the shuffles that shift a run of cells by
// one, taking the cell that comes in from the neighbouring vector (west,
// east), or split per-lane pairs of horizontally adjacent cells into first
// and second cells. The pairs are loaded into two vectors, lanes in
// pairOrder.
template <>
struct Lanes<4> {
    using F = F4;  // four floats
    using I = I4;  // four ints, also the type of a comparison's lane mask
    using D = double __attribute__((vector_size(16)));
    static constexpr bool shuffleNeighbours = false;  // SSE2 shuffles cost more than loads
    FLUID_VECTOR_INLINE static F west(const F& prev, const F& cur) {
        return FLUID_SHUFFLE(I, prev, cur, 3, 4, 5, 6);
    }
    FLUID_VECTOR_INLINE static F east(const F& cur, const F& next) {
        return FLUID_SHUFFLE(I, cur, next, 1, 2, 3, 4);
    }
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
    static constexpr bool shuffleNeighbours = true;
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

constexpr int32_t signBit = INT32_MIN;
constexpr int32_t infinityBits = 0x7f800000;

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
template <class F>
FLUID_VECTOR_INLINE F splat(float s) {
    F v;
    for (unsigned l = 0; l < sizeof v / sizeof s; ++l) v[l] = s;
    return v;
}
// v in the lanes of mask, +0 in the others.
template <class I, class F>
FLUID_VECTOR_INLINE F keep(const I& mask, const F& v) {
    return (F)(mask & (I)v);
}
// v with its sign bit flipped in the lanes of mask.
template <class I, class F>
FLUID_VECTOR_INLINE F negateWhere(const I& mask, const F& v) {
    return (F)((mask & signBit) ^ (I)v);
}
// a in the lanes of mask, b in the others.
template <class I, class F>
FLUID_VECTOR_INLINE F choose(const I& mask, const F& a, const F& b) {
    return (F)((mask & (I)a) | (~mask & (I)b));
}
// Lanes whose mask cell is nonzero (solid), and those whose cell is 0 (fluid).
template <class I>
FLUID_VECTOR_INLINE I solid(const int* boundary) {
    return load<I>(boundary) != 0;
}
template <class I>
FLUID_VECTOR_INLINE I fluid(const int* boundary) {
    return load<I>(boundary) == 0;
}

int cellCount(int N) { return (N + 2) * (N + 2); }

// The sign bit of the NaNs that this processor's invalid operations produce,
// flipped: a NaN with this sign bit is one the vector code must not see.
int32_t foreignNaNSign() {
    static const int32_t sign = [] {
        volatile float zero = 0.0f;  // computed at run time, not folded
        const float nan = zero / zero;
        int32_t bits;
        std::memcpy(&bits, &nan, sizeof bits);
        return (bits & signBit) ^ signBit;
    }();
    return sign;
}

// Xoring the foreign sign into the sign bit turns a foreign NaN into the only
// kind of value whose bits, as an int, exceed those of +infinity.
bool isForeignNaN(float f, int32_t foreignSign) {
    int32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return (bits ^ foreignSign) > infinityBits;
}

// Four vectors per round, each with its own accumulator, so that the scan
// runs at the speed of the loads.
template <int L>
FLUID_VECTOR_INLINE bool holdsForeignNaN(const float* p, int count, int32_t foreignSign) {
    using I = typename Lanes<L>::I;
    I found0 = {}, found1 = {}, found2 = {}, found3 = {};
    int k = 0;
    for (; k + 4 * L <= count; k += 4 * L) {
        found0 |= (load<I>(p + k) ^ foreignSign) > infinityBits;
        found1 |= (load<I>(p + k + L) ^ foreignSign) > infinityBits;
        found2 |= (load<I>(p + k + 2 * L) ^ foreignSign) > infinityBits;
        found3 |= (load<I>(p + k + 3 * L) ^ foreignSign) > infinityBits;
    }
    const I found = (found0 | found1) | (found2 | found3);
    bool any = false;
    for (int l = 0; l < L; ++l) any = any || found[l] != 0;
    for (; k < count; ++k) any = any || isForeignNaN(p[k], foreignSign);
    return any;
}

bool overlap(const void* a, const void* b, std::size_t bytes) {
    const auto x = reinterpret_cast<std::uintptr_t>(a), y = reinterpret_cast<std::uintptr_t>(b);
    return x < y + bytes && y < x + bytes;
}

// --- border passes ---------------------------------------------------------------

// Copy rule: every side cell takes its interior neighbour (rows as block
// copies, columns cell by cell), then the corners average their two side
// neighbours as the kernel body does.
void copyRuleBorder(int N, float* x) {
    const int S = N + 2;
    std::memcpy(x + kernel::cellAt(N, 1, 0), x + kernel::cellAt(N, 1, 1), sizeof(float) * N);
    std::memcpy(x + kernel::cellAt(N, 1, N + 1), x + kernel::cellAt(N, 1, N), sizeof(float) * N);
    for (int t = S; t < S * (N + 1); t += S) {
        x[t] = x[t + 1];
        x[t + N + 1] = x[t + N];
    }
    for (int k = 0; k < 4; ++k) kernel::copyRuleCorner(N, k, x);
}

// Zero rule: every border cell becomes +0.
void zeroRuleBorder(int N, float* x) {
    const int S = N + 2;
    std::memset(x, 0, sizeof(float) * S);
    std::memset(x + S * (N + 1), 0, sizeof(float) * S);
    for (int t = S; t < S * (N + 1); t += S) {
        x[t] = 0.0f;
        x[t + N + 1] = 0.0f;
    }
}

void borderPass(int N, int b, float* x) {
    if (b == 0)
        copyRuleBorder(N, x);
    else
        zeroRuleBorder(N, x);
}

// Border pass of row j of a relaxation sweep, right after the row's cell
// phase: its two side cells, and the bottom or top border row once row 1 or
// row N is done. The corners wait until the last sweep, since no cell phase
// reads them.
FLUID_VECTOR_INLINE void rowBorder(int N, int b, int j, float* x) {
    const int S = N + 2, t = S * j;
    if (b == 0) {
        x[t] = x[t + 1];
        x[t + N + 1] = x[t + N];
        if (j == 1) std::memcpy(x + 1, x + S + 1, sizeof(float) * N);
        if (j == N) std::memcpy(x + S * (N + 1) + 1, x + S * N + 1, sizeof(float) * N);
    } else {
        x[t] = 0.0f;
        x[t + N + 1] = 0.0f;
        if (j == 1) std::memset(x, 0, sizeof(float) * S);
        if (j == N) std::memset(x + S * (N + 1), 0, sizeof(float) * S);
    }
}

// The corners of the last sweep, and its result into the caller's field.
void finishRelaxation(int N, int b, float* x, float* result) {
    if (b == 0)
        for (int k = 0; k < 4; ++k) kernel::copyRuleCorner(N, k, result);
    if (result != x) std::memcpy(x, result, sizeof(float) * cellCount(N));
}

// The sweeps of a relaxation; row(j, dst, src) is the cell phase of row j.
// The sweeps alternate between the caller's field and the scratch field.
template <class Row>
FLUID_VECTOR_INLINE void relax(int N, int b, float* x, float* scratch, const Row& row) {
    float* src = x;
    float* dst = scratch;
    for (int sweep = 0; sweep < relaxationSweeps; ++sweep) {
        for (int j = 1; j <= N; ++j) {
            row(j, dst, src);
            rowBorder(N, b, j, dst);
        }
        std::swap(src, dst);
    }
    finishRelaxation(N, b, x, src);
}

// --- the kernels in vector form ------------------------------------------------------
//
// Each returns false, having changed nothing, when an input holds a foreign
// NaN; the caller then runs the reference realisation.

template <int L>
FLUID_VECTOR_INLINE bool addSourceVector(int N, float* x, const float* s, float dt, int32_t foreign) {
    using F = typename Lanes<L>::F;
    const int cells = cellCount(N);
    if (holdsForeignNaN<L>(x, cells, foreign) || holdsForeignNaN<L>(s, cells, foreign)) return false;
    // x may be s itself: every vector reads its own cells before writing them.
    const int last = cells - L;
    const F tail = load<F>(x + last) + load<F>(s + last) * dt;
    for (int c = 0; c + L <= cells; c += L) store(x + c, load<F>(x + c) + load<F>(s + c) * dt);
    store(x + last, tail);
    return true;
}

// Diffusion cell phase of row j (all N + 2 cells; the border columns get
// values that the border pass replaces), reading src, writing dst. Where
// shuffles are cheap, the west and east neighbours come from the vectors
// already loaded for the row, shifted by one cell; elsewhere, and for a last
// vector that overlaps its predecessor (rows that are not a whole number of
// vectors), they are loaded.
template <int L, bool divide>
struct DiffuseRow {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    int N;
    const float* x0;
    float a, divisor;
    const int* boundary;

    FLUID_VECTOR_INLINE void operator()(int j, float* dst, const float* src) const {
        const int S = N + 2, begin = S * j, end = begin + S;
        int c = begin;
        if (Lanes<L>::shuffleNeighbours) {
            F prev = load<F>(src + begin - L), cur = load<F>(src + begin);
            for (; c + L <= end; c += L) {
                const F next = load<F>(src + c + L);
                cell(c, dst, src, Lanes<L>::west(prev, cur), Lanes<L>::east(cur, next));
                prev = cur;
                cur = next;
            }
        }
        for (; c < end; c += L) {
            const int v = c < end - L ? c : end - L;
            cell(v, dst, src, load<F>(src + v - 1), load<F>(src + v + 1));
        }
    }
    FLUID_VECTOR_INLINE void cell(int c, float* dst, const float* src, const F& west, const F& east) const {
        const int S = N + 2;
        const F s = ((west + east) + load<F>(src + c - S)) + load<F>(src + c + S);
        F value = load<F>(x0 + c) + a * s;
        if (divide) value = value / divisor;
        store(dst + c, keep(fluid<I>(boundary + c), value));
    }
};

template <int L>
FLUID_VECTOR_INLINE bool diffuseVector(int N, int b, float* x, const float* x0, float a, float divisor,
                                       const int* boundary, float* scratch, int32_t foreign) {
    const int cells = cellCount(N);
    if (holdsForeignNaN<L>(x, cells, foreign) || holdsForeignNaN<L>(x0, cells, foreign)) return false;
    if (divisor == 1.0f)
        relax(N, b, x, scratch, DiffuseRow<L, false>{N, x0, a, divisor, boundary});
    else
        relax(N, b, x, scratch, DiffuseRow<L, true>{N, x0, a, divisor, boundary});
    return true;
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
FLUID_VECTOR_INLINE bool advectVector(int N, int b, float* d, const float* d0, const float* u, const float* v,
                                      float dt, const int* boundary, int32_t foreign) {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    const int cells = cellCount(N);
    if (holdsForeignNaN<L>(d0, cells, foreign) || holdsForeignNaN<L>(u, cells, foreign) ||
        holdsForeignNaN<L>(v, cells, foreign))
        return false;
    const int S = N + 2;
    const float n = static_cast<float>(N);
    const float dt0 = dt * n;
    const float upper = n + 0.5f;
    const F half = splat<F>(0.5f), top = splat<F>(upper);
    I lane;
    for (int l = 0; l < L; ++l) lane[l] = l;

    for (int j = 1; j <= N; ++j) {
        const float fj = static_cast<float>(j);
        for (int i = 0; i < S; i += L) {
            const int ci = i < S - L ? i : S - L;
            const int c = kernel::cellAt(N, ci, j);
            F x = __builtin_convertvector(lane + ci, F) - load<F>(u + c) * dt0;
            F y = fj - load<F>(v + c) * dt0;
            x = choose(x < 0.5f, half, x);
            x = choose(x > upper, top, x);
            y = choose(y < 0.5f, half, y);
            y = choose(y > upper, top, y);
            // A NaN coordinate samples cell 0; its weights stay NaN. The
            // others lie in [0.5, N + 0.5], so the conversion is in range.
            const I i0 = __builtin_convertvector(choose(x != x, half, x), I);
            const I j0 = __builtin_convertvector(choose(y != y, half, y), I);
            const F wx1 = x - __builtin_convertvector(i0, F);
            const F wx0 = 1.0f - wx1;
            const F wy1 = y - __builtin_convertvector(j0, F);
            const F wy0 = 1.0f - wy1;
            const I at = i0 + j0 * S;
            F d00, d10, d01, d11;
            pairsAt<L>(d0, at, &d00, &d10);
            pairsAt<L>(d0 + S, at, &d01, &d11);
            F value = wx0 * (wy0 * d00 + wy1 * d01) + wx1 * (wy0 * d10 + wy1 * d11);
            if (b == 1) {
                const I flip = ((value < 0.0f) & solid<I>(boundary + c - S)) |
                               ((value > 0.0f) & solid<I>(boundary + c + S));
                value = negateWhere(flip, value);
            }
            store(d + c, keep(fluid<I>(boundary + c), value));
        }
    }
    borderPass(N, b, d);
    return true;
}

template <int L>
FLUID_VECTOR_INLINE bool projectStep1Vector(int N, const float* u, const float* v, float* p, float* div,
                                            const int* boundary, int32_t foreign) {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    const int cells = cellCount(N);
    if (holdsForeignNaN<L>(u, cells, foreign) || holdsForeignNaN<L>(v, cells, foreign)) return false;
    const int S = N + 2, end = S * (N + 1);
    const float scale = -0.5f * kernel::gridSpacing(N);
    for (int t = S; t < end; t += L) {
        const int c = t < end - L ? t : end - L;
        const F sum = ((load<F>(u + c + 1) - load<F>(u + c - 1)) + load<F>(v + c + S)) - load<F>(v + c - S);
        const F d = scale * sum;
        const I flip = ((d < 0.0f) & solid<I>(boundary + c - 1)) | ((d > 0.0f) & solid<I>(boundary + c + 1));
        store(div + c, keep(fluid<I>(boundary + c), negateWhere(flip, d)));
    }
    copyRuleBorder(N, div);
    // Pressure is cleared everywhere; the copy rule keeps zeros zero.
    std::memset(p, 0, sizeof(float) * cells);
    return true;
}

// Pressure cell phase of row j, reading src, writing dst. Its flips keep the
// vector units busier than the loads, so the west and east neighbours are
// loaded rather than shuffled.
template <int L>
struct PressureRow {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    int N;
    const float* div;
    const int* boundary;

    FLUID_VECTOR_INLINE void operator()(int j, float* dst, const float* src) const {
        const int S = N + 2, begin = S * j, end = begin + S;
        for (int t = begin; t < end; t += L) {
            const int c = t < end - L ? t : end - L;
            cell(c, dst, src, load<F>(src + c - 1), load<F>(src + c + 1));
        }
    }
    FLUID_VECTOR_INLINE void cell(int c, float* dst, const float* src, const F& west, const F& east) const {
        const int S = N + 2;
        const F s = (((load<F>(div + c) + west) + east) + load<F>(src + c - S)) + load<F>(src + c + S);
        const F q = s * 0.25f;
        const I flip = ((q < 0.0f) & solid<I>(boundary + c - S)) | ((q > 0.0f) & solid<I>(boundary + c + S));
        store(dst + c, keep(fluid<I>(boundary + c), negateWhere(flip, q)));
    }
};

template <int L>
FLUID_VECTOR_INLINE bool projectStep2Vector(int N, float* p, const float* div, const int* boundary, float* scratch,
                                            int32_t foreign) {
    const int cells = cellCount(N);
    if (holdsForeignNaN<L>(p, cells, foreign) || holdsForeignNaN<L>(div, cells, foreign)) return false;
    relax(N, 0, p, scratch, PressureRow<L>{N, div, boundary});
    return true;
}

// New u and v of the vector of cells starting at c. A correction g is added
// where its condition holds and subtracted elsewhere; u - (-g) equals u + g
// bit for bit (the condition excludes NaN g).
template <int L>
FLUID_VECTOR_INLINE void projectStep3At(int N, int c, const float* u, const float* v, const float* p,
                                        const int* boundary, float h, typename Lanes<L>::F* un,
                                        typename Lanes<L>::F* vn) {
    using F = typename Lanes<L>::F;
    using I = typename Lanes<L>::I;
    const int S = N + 2;
    const I isFluid = fluid<I>(boundary + c);
    const F gx = (0.5f * (load<F>(p + c + 1) - load<F>(p + c - 1))) / h;
    const I addX = ((gx < 0.0f) & solid<I>(boundary + c - S)) | ((gx > 0.0f) & solid<I>(boundary + c + S));
    *un = keep(isFluid, load<F>(u + c) - negateWhere(addX, gx));
    const F gy = (0.5f * (load<F>(p + c + S) - load<F>(p + c - S))) / h;
    const I addY = ((gy < 0.0f) & solid<I>(boundary + c - 1)) | ((gy > 0.0f) & solid<I>(boundary + c + 1));
    *vn = keep(isFluid, load<F>(v + c) - negateWhere(addY, gy));
}

template <int L>
FLUID_VECTOR_INLINE bool projectStep3Vector(int N, float* u, float* v, const float* p, const int* boundary,
                                            int32_t foreign) {
    using F = typename Lanes<L>::F;
    const int cells = cellCount(N);
    if (holdsForeignNaN<L>(u, cells, foreign) || holdsForeignNaN<L>(v, cells, foreign) ||
        holdsForeignNaN<L>(p, cells, foreign))
        return false;
    const int S = N + 2, end = S * (N + 1);
    const float h = kernel::gridSpacing(N);
    // u and v are updated in place: the last, possibly overlapping vector is
    // computed from the original values first and stored last.
    F uTail, vTail;
    projectStep3At<L>(N, end - L, u, v, p, boundary, h, &uTail, &vTail);
    for (int c = S; c + L <= end; c += L) {
        F un, vn;
        projectStep3At<L>(N, c, u, v, p, boundary, h, &un, &vn);
        store(u + c, un);
        store(v + c, vn);
    }
    store(u + end - L, uTail);
    store(v + end - L, vTail);
    copyRuleBorder(N, u);
    copyRuleBorder(N, v);
    return true;
}

// --- 16-lane relaxations --------------------------------------------------------------
//
// Where the processor has AVX-512, the two relaxations, which take most of a
// step's time, run 16 cells per operation. GCC's vector types do not give
// good 16-lane code for the masks, so these rows use the instructions
// directly: lane masks are mask registers, the west and east neighbours are
// the row's loaded vectors shifted by one cell (valignd), a solid cell's lane
// is cleared by a zeroing move and a flip is an xor of the sign bit under a
// mask. The arithmetic is the same as in the other rows.
#if FLUID_X86

constexpr int wideLanes = 16;

// (The zero-masking form with all lanes kept is the plain valignd; unlike
// the unmasked intrinsic it does not trip GCC's uninitialised-value warning.)
FLUID_TARGET_AVX512 FLUID_VECTOR_INLINE __m512 westOf(__m512 prev, __m512 cur) {
    return _mm512_castsi512_ps(
        _mm512_maskz_alignr_epi32(0xffff, _mm512_castps_si512(cur), _mm512_castps_si512(prev), 15));
}
FLUID_TARGET_AVX512 FLUID_VECTOR_INLINE __m512 eastOf(__m512 cur, __m512 next) {
    return _mm512_castsi512_ps(
        _mm512_maskz_alignr_epi32(0xffff, _mm512_castps_si512(next), _mm512_castps_si512(cur), 1));
}
// Lanes whose mask cell is nonzero (solid), and those whose cell is 0.
FLUID_TARGET_AVX512 FLUID_VECTOR_INLINE __mmask16 solidLanes(const int* boundary) {
    const __m512i b = _mm512_loadu_si512(boundary);
    return _mm512_test_epi32_mask(b, b);
}
FLUID_TARGET_AVX512 FLUID_VECTOR_INLINE __mmask16 fluidLanes(const int* boundary) {
    const __m512i b = _mm512_loadu_si512(boundary);
    return _mm512_testn_epi32_mask(b, b);
}

// Runs cell(c, west, east) over the row's vectors as DiffuseRow does.
template <class Row>
FLUID_TARGET_AVX512 FLUID_VECTOR_INLINE void forRow16(const Row& row, int S, int j, float* dst, const float* src) {
    const int begin = S * j, end = begin + S;
    __m512 prev = _mm512_loadu_ps(src + begin - wideLanes), cur = _mm512_loadu_ps(src + begin);
    int c = begin;
    for (; c + wideLanes <= end; c += wideLanes) {
        const __m512 next = _mm512_loadu_ps(src + c + wideLanes);
        row.cell(c, dst, src, westOf(prev, cur), eastOf(cur, next));
        prev = cur;
        cur = next;
    }
    if (c < end) {
        c = end - wideLanes;
        row.cell(c, dst, src, _mm512_loadu_ps(src + c - 1), _mm512_loadu_ps(src + c + 1));
    }
}

template <bool divide>
struct DiffuseRow16 {
    int N;
    const float* x0;
    float a, divisor;
    const int* boundary;

    FLUID_TARGET_AVX512 FLUID_VECTOR_INLINE void operator()(int j, float* dst, const float* src) const {
        forRow16(*this, N + 2, j, dst, src);
    }
    FLUID_TARGET_AVX512 FLUID_VECTOR_INLINE void cell(int c, float* dst, const float* src, __m512 west,
                                                      __m512 east) const {
        const int S = N + 2;
        const __m512 s = _mm512_add_ps(_mm512_add_ps(_mm512_add_ps(west, east), _mm512_loadu_ps(src + c - S)),
                                       _mm512_loadu_ps(src + c + S));
        __m512 value = _mm512_add_ps(_mm512_loadu_ps(x0 + c), _mm512_mul_ps(_mm512_set1_ps(a), s));
        if (divide) value = _mm512_div_ps(value, _mm512_set1_ps(divisor));
        _mm512_storeu_ps(dst + c, _mm512_maskz_mov_ps(fluidLanes(boundary + c), value));
    }
};

struct PressureRow16 {
    int N;
    const float* div;
    const int* boundary;

    FLUID_TARGET_AVX512 FLUID_VECTOR_INLINE void operator()(int j, float* dst, const float* src) const {
        forRow16(*this, N + 2, j, dst, src);
    }
    FLUID_TARGET_AVX512 FLUID_VECTOR_INLINE void cell(int c, float* dst, const float* src, __m512 west,
                                                      __m512 east) const {
        const int S = N + 2;
        const __m512 s = _mm512_add_ps(
            _mm512_add_ps(_mm512_add_ps(_mm512_add_ps(_mm512_loadu_ps(div + c), west), east),
                          _mm512_loadu_ps(src + c - S)),
            _mm512_loadu_ps(src + c + S));
        const __m512 q = _mm512_mul_ps(s, _mm512_set1_ps(0.25f));
        const __m512 zero = _mm512_setzero_ps();
        // (q < 0 and solid below) or (q > 0 and solid above); false for NaN.
        const __mmask16 flip = _mm512_mask_cmp_ps_mask(solidLanes(boundary + c - S), q, zero, _CMP_LT_OQ) |
                               _mm512_mask_cmp_ps_mask(solidLanes(boundary + c + S), q, zero, _CMP_GT_OQ);
        const __m512i signs = _mm512_maskz_mov_epi32(flip, _mm512_set1_epi32(signBit));
        _mm512_storeu_si512(dst + c, _mm512_maskz_xor_epi32(fluidLanes(boundary + c), _mm512_castps_si512(q), signs));
    }
};

// relax() compiled for AVX-512, so that the rows inline into it.
template <class Row>
FLUID_TARGET_AVX512 FLUID_VECTOR_INLINE void relax16(int N, int b, float* x, float* scratch, const Row& row) {
    float* src = x;
    float* dst = scratch;
    for (int sweep = 0; sweep < relaxationSweeps; ++sweep) {
        for (int j = 1; j <= N; ++j) {
            row(j, dst, src);
            rowBorder(N, b, j, dst);
        }
        std::swap(src, dst);
    }
    finishRelaxation(N, b, x, src);
}

struct Avx512Code {
    FLUID_TARGET_AVX512 static bool diffuse(int N, int b, float* x, const float* x0, float a, float divisor,
                                            const int* boundary, float* scratch, int32_t f) {
        const int cells = cellCount(N);
        if (holdsForeignNaN<8>(x, cells, f) || holdsForeignNaN<8>(x0, cells, f)) return false;
        if (divisor == 1.0f)
            relax16(N, b, x, scratch, DiffuseRow16<false>{N, x0, a, divisor, boundary});
        else
            relax16(N, b, x, scratch, DiffuseRow16<true>{N, x0, a, divisor, boundary});
        return true;
    }
    FLUID_TARGET_AVX512 static bool projectStep2(int N, float* p, const float* div, const int* boundary,
                                                 float* scratch, int32_t f) {
        const int cells = cellCount(N);
        if (holdsForeignNaN<8>(p, cells, f) || holdsForeignNaN<8>(div, cells, f)) return false;
        relax16(N, 0, p, scratch, PressureRow16{N, div, boundary});
        return true;
    }
};

#endif

// --- entry points per instruction set ------------------------------------------------

template <int L>
struct VectorCode {
    static bool addSource(int N, float* x, const float* s, float dt, int32_t f) {
        return addSourceVector<L>(N, x, s, dt, f);
    }
    static bool diffuse(int N, int b, float* x, const float* x0, float a, float divisor, const int* boundary,
                        float* scratch, int32_t f) {
        return diffuseVector<L>(N, b, x, x0, a, divisor, boundary, scratch, f);
    }
    static bool advect(int N, int b, float* d, const float* d0, const float* u, const float* v, float dt,
                       const int* boundary, int32_t f) {
        return advectVector<L>(N, b, d, d0, u, v, dt, boundary, f);
    }
    static bool projectStep1(int N, const float* u, const float* v, float* p, float* div, const int* boundary,
                             int32_t f) {
        return projectStep1Vector<L>(N, u, v, p, div, boundary, f);
    }
    static bool projectStep2(int N, float* p, const float* div, const int* boundary, float* scratch, int32_t f) {
        return projectStep2Vector<L>(N, p, div, boundary, scratch, f);
    }
    static bool projectStep3(int N, float* u, float* v, const float* p, const int* boundary, int32_t f) {
        return projectStep3Vector<L>(N, u, v, p, boundary, f);
    }
};

// The 8-lane code is compiled for AVX2 here; the always-inlined templates
// take on that target inside these functions.
struct Avx2Code {
    FLUID_TARGET_AVX2 static bool addSource(int N, float* x, const float* s, float dt, int32_t f) {
        return addSourceVector<8>(N, x, s, dt, f);
    }
    FLUID_TARGET_AVX2 static bool diffuse(int N, int b, float* x, const float* x0, float a, float divisor,
                                          const int* boundary, float* scratch, int32_t f) {
        return diffuseVector<8>(N, b, x, x0, a, divisor, boundary, scratch, f);
    }
    FLUID_TARGET_AVX2 static bool advect(int N, int b, float* d, const float* d0, const float* u, const float* v,
                                         float dt, const int* boundary, int32_t f) {
        return advectVector<8>(N, b, d, d0, u, v, dt, boundary, f);
    }
    FLUID_TARGET_AVX2 static bool projectStep1(int N, const float* u, const float* v, float* p, float* div,
                                               const int* boundary, int32_t f) {
        return projectStep1Vector<8>(N, u, v, p, div, boundary, f);
    }
    FLUID_TARGET_AVX2 static bool projectStep2(int N, float* p, const float* div, const int* boundary,
                                               float* scratch, int32_t f) {
        return projectStep2Vector<8>(N, p, div, boundary, scratch, f);
    }
    FLUID_TARGET_AVX2 static bool projectStep3(int N, float* u, float* v, const float* p, const int* boundary,
                                               int32_t f) {
        return projectStep3Vector<8>(N, u, v, p, boundary, f);
    }
};
using SseCode = VectorCode<4>;
#if FLUID_X86
using WidestCode = Avx512Code;
#else
using WidestCode = VectorCode<4>;  // never chosen: 16 lanes need x86
#endif

// The widest code this processor runs: 16 (AVX-512 relaxations, AVX2 for the
// rest), 8 (AVX2) or 4.
int widestLanes() {
    static const int lanes = [] {
#if FLUID_X86
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2")) return 16;
        if (__builtin_cpu_supports("avx2")) return 8;
#endif
        return 4;
    }();
    return lanes;
}
int chosenLanes = 0;  // 0: the widest available
int lanes() { return chosenLanes ? chosenLanes : widestLanes(); }
bool wide() { return lanes() >= 8; }

long referenceLaunchCount = 0;

// The vector code needs a row to hold the widest vector.
bool vectorGrid(int N) { return N >= 14 && N <= 4094; }

std::size_t fieldBytes(int N) { return sizeof(float) * static_cast<std::size_t>(cellCount(N)); }

// One scratch field for the relaxations, kept between launches and aligned
// to a cache line like the runtime's buffers.
float* scratchField(int N) {
    constexpr std::align_val_t lineAlignment{64};
    struct Scratch {
        float* data = nullptr;
        std::size_t cells = 0;
        ~Scratch() { ::operator delete[](data, lineAlignment); }
    };
    static Scratch scratch;
    const std::size_t cells = static_cast<std::size_t>(cellCount(N));
    if (scratch.cells < cells) {
        ::operator delete[](scratch.data, lineAlignment);
        scratch.data = static_cast<float*>(::operator new[](sizeof(float) * cells, lineAlignment));
        scratch.cells = cells;
        // Vectors along a row also read its border neighbours, some of which
        // a sweep never writes (corners); they should hold numbers.
        std::memset(scratch.data, 0, sizeof(float) * cells);
    }
    return scratch.data;
}

// --- the realisation -----------------------------------------------------------------

void fastAddSource(int N, float* x, const float* s, float dt) {
    const int32_t f = foreignNaNSign();
    if (vectorGrid(N) && (x == s || !overlap(x, s, fieldBytes(N))) && !isForeignNaN(dt, f) &&
        (wide() ? Avx2Code::addSource(N, x, s, dt, f) : SseCode::addSource(N, x, s, dt, f)))
        return;
    ++referenceLaunchCount;
    referenceKernels().addSource(N, x, s, dt);
}

void fastDiffuse(int N, int b, float* x, const float* x0, float diff, float dt, const int* boundary) {
    const int32_t f = foreignNaNSign();
    const float a = kernel::diffusionFactor(N, diff, dt);
    const float divisor = kernel::diffusionDivisor(a);
    if (vectorGrid(N)) {
        const std::size_t bytes = fieldBytes(N);
        float* scratch = scratchField(N);
        // With neither rate a foreign NaN, a and divisor hold no foreign NaN.
        if (!overlap(x, x0, bytes) && !overlap(x, boundary, bytes) && !isForeignNaN(diff, f) &&
            !isForeignNaN(dt, f) &&
            (lanes() == 16 ? WidestCode::diffuse(N, b, x, x0, a, divisor, boundary, scratch, f)
             : wide()      ? Avx2Code::diffuse(N, b, x, x0, a, divisor, boundary, scratch, f)
                           : SseCode::diffuse(N, b, x, x0, a, divisor, boundary, scratch, f)))
            return;
    }
    ++referenceLaunchCount;
    referenceKernels().diffuse(N, b, x, x0, diff, dt, boundary);
}

void fastAdvect(int N, int b, float* d, const float* d0, const float* u, const float* v, float dt,
                const int* boundary) {
    const int32_t f = foreignNaNSign();
    if (vectorGrid(N)) {
        const std::size_t bytes = fieldBytes(N);
        if (!overlap(d, d0, bytes) && !overlap(d, u, bytes) && !overlap(d, v, bytes) &&
            !overlap(d, boundary, bytes) && !isForeignNaN(dt, f) &&
            (wide() ? Avx2Code::advect(N, b, d, d0, u, v, dt, boundary, f)
                    : SseCode::advect(N, b, d, d0, u, v, dt, boundary, f)))
            return;
    }
    ++referenceLaunchCount;
    referenceKernels().advect(N, b, d, d0, u, v, dt, boundary);
}

void fastProjectStep1(int N, const float* u, const float* v, float* p, float* div, const int* boundary) {
    const int32_t f = foreignNaNSign();
    if (vectorGrid(N)) {
        const std::size_t bytes = fieldBytes(N);
        if (!overlap(p, u, bytes) && !overlap(p, v, bytes) && !overlap(p, div, bytes) &&
            !overlap(p, boundary, bytes) && !overlap(div, u, bytes) && !overlap(div, v, bytes) &&
            !overlap(div, boundary, bytes) &&
            (wide() ? Avx2Code::projectStep1(N, u, v, p, div, boundary, f)
                    : SseCode::projectStep1(N, u, v, p, div, boundary, f)))
            return;
    }
    ++referenceLaunchCount;
    referenceKernels().projectStep1(N, u, v, p, div, boundary);
}

void fastProjectStep2(int N, float* p, const float* div, const int* boundary) {
    const int32_t f = foreignNaNSign();
    if (vectorGrid(N)) {
        const std::size_t bytes = fieldBytes(N);
        float* scratch = scratchField(N);
        if (!overlap(p, div, bytes) && !overlap(p, boundary, bytes) &&
            (lanes() == 16 ? WidestCode::projectStep2(N, p, div, boundary, scratch, f)
             : wide()      ? Avx2Code::projectStep2(N, p, div, boundary, scratch, f)
                           : SseCode::projectStep2(N, p, div, boundary, scratch, f)))
            return;
    }
    ++referenceLaunchCount;
    referenceKernels().projectStep2(N, p, div, boundary);
}

void fastProjectStep3(int N, float* u, float* v, const float* p, const int* boundary) {
    const int32_t f = foreignNaNSign();
    if (vectorGrid(N)) {
        const std::size_t bytes = fieldBytes(N);
        if (!overlap(u, v, bytes) && !overlap(u, p, bytes) && !overlap(u, boundary, bytes) &&
            !overlap(v, p, bytes) && !overlap(v, boundary, bytes) &&
            (wide() ? Avx2Code::projectStep3(N, u, v, p, boundary, f)
                    : SseCode::projectStep3(N, u, v, p, boundary, f)))
            return;
    }
    ++referenceLaunchCount;
    referenceKernels().projectStep3(N, u, v, p, boundary);
}

const KernelSet fastSet = {"fast",           fastAddSource,    fastDiffuse,     fastAdvect,
                           fastProjectStep1, fastProjectStep2, fastProjectStep3};

}  // namespace

const KernelSet& fastKernels() { return fastSet; }

int setFastKernelsVectorWidth(int width) {
    chosenLanes = 4;
    if (width >= 8 && widestLanes() >= 8) chosenLanes = 8;
    if (width >= 16 && widestLanes() >= 16) chosenLanes = 16;
    return chosenLanes;
}
int fastKernelsVectorWidth() { return lanes(); }

long fastKernelsReferenceLaunches() { return referenceLaunchCount; }
