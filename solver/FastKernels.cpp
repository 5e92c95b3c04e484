// FastKernels.cpp - the vectorised host realisation of the six kernels.
//
// The vector code itself is in VectorKernels.h, compiled once per
// instruction set (VectorCode.h); this file decides, launch by launch,
// whether it may run, lays the relaxations' fields out in diagonal order and
// back, and applies the border rules.
//
// Why the results equal the reference's bit for bit:
// - Each lane performs the single-precision operations of CellFormulas.h,
//   the very functions the reference calls: true IEEE division (never a
//   reciprocal), no reassociation, no fused multiply-add (the build forbids
//   contraction, and no code here is compiled for FMA).
// - The relaxations visit the cells in another order than the reference, one
//   anti-diagonal at a time with the sweeps overlapping, but every cell reads
//   exactly the neighbour values it reads in the reference (VectorKernels.h
//   says why), so it computes the same numbers.
// - When both operands of a commutative operation are NaNs of different
//   signs, the processor returns the first one, and which one is first is
//   the compiler's choice (register allocation), made differently in the
//   reference's code and here, and from one build to the next. Invalid
//   operations produce the processor's default NaN, and every operation in
//   these kernels passes a NaN on with its sign, so while all NaNs in the
//   inputs share the default NaN's sign, the choice cannot show. A launch
//   whose inputs hold a NaN of the other sign therefore runs the reference
//   realisation, as do grids outside the sizes the vector code handles and
//   fields that overlap in memory in ways the vector code does not allow.
#include "FastKernels.h"

#include <cstdint>
#include <cstring>
#include <algorithm>
#include <limits>
#include <vector>
#include <new>

#include "KernelBodies.h"
#include "Kernels.h"
#include "VectorCode.h"

namespace {

using std::int32_t;

using kernel::cellCount;
std::size_t fieldBytes(int N) { return sizeof(float) * static_cast<std::size_t>(cellCount(N)); }

// A row must hold the widest row vector (8 lanes; 16 for the sources); the
// diagonal-ordered copies of much larger grids would take more memory than
// the reference's loops are worth avoiding.
bool vectorGrid(int N) { return N >= 14 && N <= 1022; }

// The sign bit of the NaNs that this processor's invalid operations produce,
// flipped: a NaN with this sign bit is one the vector code must not see.
int32_t foreignNaNSign() {
    static const int32_t sign = [] {
        volatile float zero = 0.0f;  // computed at run time, not folded
        const float nan = zero / zero;
        int32_t bits;
        std::memcpy(&bits, &nan, sizeof bits);
        return (bits & INT32_MIN) ^ INT32_MIN;
    }();
    return sign;
}
bool isForeignNaN(float f) {
    int32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return isNaNOfSign(bits, foreignNaNSign());
}
bool holdsForeignNaN(int N, const float* field) {
    return chosenVectorCode().holdsForeignNaN(field, cellCount(N), foreignNaNSign());
}

bool overlap(const void* a, const void* b, std::size_t bytes) {
    const auto x = reinterpret_cast<std::uintptr_t>(a), y = reinterpret_cast<std::uintptr_t>(b);
    return x < y + bytes && y < x + bytes;
}

long referenceLaunchCount = 0;

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

// --- diagonal order ----------------------------------------------------------------

// The relaxations' working copies in diagonal order: the field, its source
// (x0 or the divergence) and the obstacle mask, which is converted again only
// when it has changed. Kept between launches and aligned to a cache line like
// the runtime's buffers; cells outside the grid stay 0.
struct Diagonals {
    DiagonalGrid grid{0, 0};
    float* field = nullptr;
    float* source = nullptr;
    int* mask = nullptr;
    int* maskSeen = nullptr;  // the mask (grid order) that `mask` was made from
    unsigned generation = 0;  // counts the masks made
};

constexpr std::align_val_t lineAlignment{64};

template <class T>
T* zeroedArray(std::size_t count) {
    T* p = static_cast<T*>(::operator new[](sizeof(T) * count, lineAlignment));
    std::memset(p, 0, sizeof(T) * count);
    return p;
}
template <class T>
void freeArray(T* p) {
    ::operator delete[](p, lineAlignment);
}

void releaseDiagonals(Diagonals& d) {
    freeArray(d.field);
    freeArray(d.source);
    freeArray(d.mask);
    freeArray(d.maskSeen);
}

Diagonals& diagonals(int N, const int* boundary) {
    struct Owner {
        Diagonals d;
        ~Owner() { releaseDiagonals(d); }
    };
    static Owner owner;
    Diagonals& d = owner.d;
    const std::size_t gridCells = static_cast<std::size_t>(cellCount(N));
    if (d.grid.N != N) {
        releaseDiagonals(d);
        d.grid = diagonalGrid(N);
        const std::size_t cells = static_cast<std::size_t>(diagonalCells(d.grid));
        d.field = zeroedArray<float>(cells);
        d.source = zeroedArray<float>(cells);
        d.mask = zeroedArray<int>(cells);  // all fluid, as the zeroed maskSeen says
        d.maskSeen = zeroedArray<int>(gridCells);
        ++d.generation;  // a new grid: the vector code's split of its plan is stale
    }
    if (std::memcmp(d.maskSeen, boundary, sizeof(int) * gridCells) != 0) {
        std::memcpy(d.maskSeen, boundary, sizeof(int) * gridCells);
        chosenVectorCode().toDiagonalMask(d.grid, boundary, d.mask);
        ++d.generation;
    }
    return d;
}

// --- diffusion at rate 0 ----------------------------------------------------------
//
// At rate 0 (a = +-0, divisor 1) a fluid cell becomes x0 + 0 * s, s the sum
// of its neighbours. While s is finite, 0 * s is +0 or -0, and adding either
// to x0 gives x0 exactly, unless x0 is -0: then the sign of the zero depends
// on the sign of s. So when no value of x or x0 lies beyond a quarter of the
// largest float (then no sum of four can overflow, and there is no infinity
// or NaN), every sweep leaves x0 in each fluid cell whose x0 is not -0, and 0
// in each solid cell; only the fluid cells whose x0 is -0 need the sweeps,
// cell by cell in the reference's order. The velocity diffusions of every
// step, whose viscosity is 0, come this way.

// Whether x and x0 allow it (see above).
bool rateZeroIsExact(int N, const float* x, const float* x0) {
    const float limit = std::numeric_limits<float>::max() / 4.0f;
    const VectorCode& code = chosenVectorCode();
    return !code.holdsBeyond(x, cellCount(N), limit) && !code.holdsBeyond(x0, cellCount(N), limit);
}

void diffuseAtRateZero(int N, int b, float* x, const float* x0, const int* boundary, float a, float divisor) {
    const int S = N + 2;
    // Fluid interior cells whose x0 is -0, in increasing order.
    static std::vector<int> special;
    static std::vector<float> launch;
    special.clear();
    chosenVectorCode().findNegativeZeros(x0, cellCount(N), &special);
    const auto notSpecial = [&](int t) {
        const int i = kernel::cellI(N, t), j = kernel::cellJ(N, t);
        return kernel::isBorder(N, i, j) || kernel::isSolid(boundary[t]);
    };
    special.erase(std::remove_if(special.begin(), special.end(), notSpecial), special.end());
    if (special.empty()) {
        chosenVectorCode().keepFluid(N, x, x0, boundary);
        borderPass(N, b, x);
        return;
    }
    // Sweep 0: a special cell reads its east and north neighbours as they
    // were at launch, and its west and south ones as this sweep left them:
    // border cells as at launch, other cells x0 or 0, special cells their
    // own result. Later sweeps read the field as it stands.
    launch.assign(x, x + cellCount(N));
    chosenVectorCode().keepFluid(N, x, x0, boundary);
    std::memcpy(x, launch.data(), sizeof(float) * S);
    std::memcpy(x + S * (N + 1), launch.data() + S * (N + 1), sizeof(float) * S);
    for (int t = S; t < S * (N + 1); t += S) {
        x[t] = launch[t];
        x[t + N + 1] = launch[t + N + 1];
    }
    bool readsBorder = false;
    for (const int t : special) {
        x[t] = kernel::diffuseValue(true, x0[t], x[t - 1], launch[t + 1], x[t - S], launch[t + S], a, divisor);
        const int i = kernel::cellI(N, t), j = kernel::cellJ(N, t);
        readsBorder = readsBorder || i == 1 || i == N || j == 1 || j == N;
    }
    // The border phases in between matter only to special cells beside the
    // border.
    if (readsBorder) borderPass(N, b, x);
    for (int sweep = 1; sweep < relaxationSweeps; ++sweep) {
        for (const int t : special)
            x[t] = kernel::diffuseValue(true, x0[t], x[t - 1], x[t + 1], x[t - S], x[t + S], a, divisor);
        if (readsBorder || sweep + 1 == relaxationSweeps) borderPass(N, b, x);
    }
}

// --- the realisation -----------------------------------------------------------------

void fastAddSource(int N, float* x, const float* s, float dt) {
    if (vectorGrid(N) && (x == s || !overlap(x, s, fieldBytes(N))) && !isForeignNaN(dt) &&
        !holdsForeignNaN(N, x) && !holdsForeignNaN(N, s)) {
        chosenVectorCode().addSource(N, x, s, dt);
        return;
    }
    ++referenceLaunchCount;
    referenceKernels().addSource(N, x, s, dt);
}

void fastDiffuse(int N, int b, float* x, const float* x0, float diff, float dt, const int* boundary) {
    const std::size_t bytes = fieldBytes(N);
    // With neither rate a foreign NaN, a and divisor hold no foreign NaN.
    if (vectorGrid(N) && !overlap(x, x0, bytes) && !overlap(x, boundary, bytes) && !isForeignNaN(diff) &&
        !isForeignNaN(dt) && !holdsForeignNaN(N, x) && !holdsForeignNaN(N, x0)) {
        const float a = kernel::diffusionFactor(N, diff, dt);
        if (a == 0.0f && rateZeroIsExact(N, x, x0)) {
            diffuseAtRateZero(N, b, x, x0, boundary, a, kernel::diffusionDivisor(a));
            return;
        }
        Diagonals& d = diagonals(N, boundary);
        chosenVectorCode().toDiagonal(d.grid, x, d.field);
        chosenVectorCode().toDiagonal(d.grid, x0, d.source);
        chosenVectorCode().diffuse(d.grid, b, d.field, d.source, d.mask, d.generation, a, kernel::diffusionDivisor(a));
        chosenVectorCode().fromDiagonal(d.grid, d.field, x);
        borderPass(N, b, x);
        return;
    }
    ++referenceLaunchCount;
    referenceKernels().diffuse(N, b, x, x0, diff, dt, boundary);
}

void fastAdvect(int N, int b, float* d, const float* d0, const float* u, const float* v, float dt,
                const int* boundary) {
    const std::size_t bytes = fieldBytes(N);
    if (vectorGrid(N) && !overlap(d, d0, bytes) && !overlap(d, u, bytes) && !overlap(d, v, bytes) &&
        !overlap(d, boundary, bytes) && !isForeignNaN(dt) && !holdsForeignNaN(N, d0) && !holdsForeignNaN(N, u) &&
        !holdsForeignNaN(N, v)) {
        chosenVectorCode().advect(N, b, d, d0, u, v, dt, boundary);
        borderPass(N, b, d);
        return;
    }
    ++referenceLaunchCount;
    referenceKernels().advect(N, b, d, d0, u, v, dt, boundary);
}

void fastProjectStep1(int N, const float* u, const float* v, float* p, float* div, const int* boundary) {
    const std::size_t bytes = fieldBytes(N);
    if (vectorGrid(N) && !overlap(p, u, bytes) && !overlap(p, v, bytes) && !overlap(p, div, bytes) &&
        !overlap(p, boundary, bytes) && !overlap(div, u, bytes) && !overlap(div, v, bytes) &&
        !overlap(div, boundary, bytes) && !holdsForeignNaN(N, u) && !holdsForeignNaN(N, v)) {
        chosenVectorCode().divergence(N, u, v, div, boundary);
        copyRuleBorder(N, div);
        // Pressure is cleared everywhere; the copy rule keeps zeros zero.
        std::memset(p, 0, bytes);
        return;
    }
    ++referenceLaunchCount;
    referenceKernels().projectStep1(N, u, v, p, div, boundary);
}

void fastProjectStep2(int N, float* p, const float* div, const int* boundary) {
    const std::size_t bytes = fieldBytes(N);
    if (vectorGrid(N) && !overlap(p, div, bytes) && !overlap(p, boundary, bytes) && !holdsForeignNaN(N, p) &&
        !holdsForeignNaN(N, div)) {
        Diagonals& d = diagonals(N, boundary);
        chosenVectorCode().toDiagonal(d.grid, p, d.field);
        chosenVectorCode().toDiagonal(d.grid, div, d.source);
        chosenVectorCode().pressure(d.grid, d.field, d.source, d.mask, d.generation);
        chosenVectorCode().fromDiagonal(d.grid, d.field, p);
        copyRuleBorder(N, p);
        return;
    }
    ++referenceLaunchCount;
    referenceKernels().projectStep2(N, p, div, boundary);
}

void fastProjectStep3(int N, float* u, float* v, const float* p, const int* boundary) {
    const std::size_t bytes = fieldBytes(N);
    if (vectorGrid(N) && !overlap(u, v, bytes) && !overlap(u, p, bytes) && !overlap(u, boundary, bytes) &&
        !overlap(v, p, bytes) && !overlap(v, boundary, bytes) && !holdsForeignNaN(N, u) && !holdsForeignNaN(N, v) &&
        !holdsForeignNaN(N, p)) {
        chosenVectorCode().subtractGradient(N, u, v, p, boundary);
        copyRuleBorder(N, u);
        copyRuleBorder(N, v);
        return;
    }
    ++referenceLaunchCount;
    referenceKernels().projectStep3(N, u, v, p, boundary);
}

const KernelSet fastSet = {"fast",           fastAddSource,    fastDiffuse,     fastAdvect,
                           fastProjectStep1, fastProjectStep2, fastProjectStep3};

}  // namespace

const KernelSet& fastKernels() { return fastSet; }

long fastKernelsReferenceLaunches() { return referenceLaunchCount; }
