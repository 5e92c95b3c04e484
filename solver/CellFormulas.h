// CellFormulas.h - the arithmetic of every kernel, written once for any lane type.
//
// Each function below computes the new value of a cell from values that the
// caller has already read: the cell's own inputs and its neighbours, and the
// solid/fluid masks it needs. The caller decides where those values come from
// (a plain array, a diagonal-ordered copy, a device thread's own cell), and
// the lane type decides how many cells are computed at once:
//   - float with int masks (1 or 0): the reference loops and the CUDA threads;
//   - GCC vector types (4 and 8 lanes) with int-vector masks, and __m512 with
//     __mmask16 masks: the vectorised host kernels (VectorLanes.h).
// +, -, * and / behave alike on all of them (a scalar operand is broadcast),
// so only the mask helpers need a version per lane type; the ones for float
// are here.
//
// All arithmetic is single precision in exactly the order written; the build
// forbids contraction into fused multiply-adds, so every lane type, every
// instruction set and the device round alike.
//
// Masks: "solid" lanes are cells whose obstacle mask is nonzero. A sign flip
// negates by flipping the sign bit, which is what unary minus does on every
// target we build for; a flip condition is never true for 0 or NaN.
#pragma once

#if defined(__CUDACC__)
#define FLUID_HD __host__ __device__
#define FLUID_FORMULA __host__ __device__ __forceinline__
#else
#define FLUID_HD
#define FLUID_FORMULA inline __attribute__((always_inline))
#include "VectorLanes.h"
#endif

namespace kernel {

// --- mask helpers for one float lane ---------------------------------------------

// A float lane's mask is an int, 1 or 0, so that masks combine with & and |
// as the vector masks do.
FLUID_FORMULA int isSolid(int mask) { return mask != 0; }
FLUID_FORMULA int isFluid(int mask) { return mask == 0; }
FLUID_FORMULA int lessThan(float v, float bound) { return v < bound; }
FLUID_FORMULA int greaterThan(float v, float bound) { return v > bound; }
FLUID_FORMULA float keepWhere(int keep, float v) { return keep ? v : 0.0f; }
FLUID_FORMULA float negateWhere(int negate, float v) { return negate ? -v : v; }
FLUID_FORMULA float choose(int first, float a, float b) { return first ? a : b; }
// Sample index of a clamped coordinate: its integer part, 0 for NaN.
FLUID_FORMULA int sampleIndex(float x) { return x == x ? static_cast<int>(x) : 0; }
FLUID_FORMULA float toFloat(int i) { return static_cast<float>(i); }

// Masks known to hold every lane or none, for callers that know a run of
// cells has no solid cell near it: the helpers then do nothing at all.
struct AllLanes {};
struct NoLanes {};
template <class M>
FLUID_FORMULA NoLanes operator&(const M&, NoLanes) {
    return {};
}
FLUID_FORMULA NoLanes operator|(NoLanes, NoLanes) { return {}; }
template <class V>
FLUID_FORMULA V keepWhere(AllLanes, V v) {
    return v;
}
template <class V>
FLUID_FORMULA V negateWhere(NoLanes, V v) {
    return v;
}

// --- shared pieces -----------------------------------------------------------------

// The obstacle rule of several kernels: a value is negated when the cell on
// the side its sign points to is solid (negative: the lower neighbour,
// positive: the upper one). Zero and NaN are never negated.
template <class V, class M>
FLUID_FORMULA auto pointsIntoSolid(V value, M solidBelow, M solidAbove) {
    return (lessThan(value, 0.0f) & solidBelow) | (greaterThan(value, 0.0f) & solidAbove);
}

// --- sources and diffusion -----------------------------------------------------------

template <class V>
FLUID_FORMULA V addSourceValue(V x, V s, float dt) {
    return x + s * dt;
}

// Diffusion factor a = ((diff * dt) * N) * N, each product rounded to float,
// and the relaxation's divisor (a * 4) + 1.
FLUID_FORMULA float diffusionFactor(int N, float diff, float dt) {
    const float n = static_cast<float>(N);
    return ((diff * dt) * n) * n;
}
FLUID_FORMULA float diffusionDivisor(float a) { return (a * 4.0f) + 1.0f; }

// One relaxation of one interior cell: (x0 + a * neighbours) / (1 + 4a) for
// a fluid cell, 0 for a solid one. With divide false the division is left
// out, which callers may do only when the divisor is exactly 1: the
// numerator comes out of an addition, so it is never a signalling NaN, and
// n / 1 is n for every other value.
template <bool divide = true, class V, class M>
FLUID_FORMULA V diffuseValue(M fluid, V x0, V west, V east, V south, V north, float a, float divisor) {
    const V s = ((west + east) + south) + north;
    const V n = x0 + a * s;
    return keepWhere(fluid, divide ? n / divisor : n);
}

// --- advection -------------------------------------------------------------------------

// Traces the cell at (fi, fj) back along its velocity (u, v) for one step and
// samples the carried field bilinearly. sample(i0, j0, &d00, &d01, &d10,
// &d11) reads the four cells (i0, j0), (i0, j0 + 1), (i0 + 1, j0),
// (i0 + 1, j0 + 1). The clamp keeps them inside the field for any finite or
// infinite trace; a NaN coordinate samples cell 0 and its NaN weights make
// the result NaN.
template <class V, class Sample>
FLUID_FORMULA V advectValue(V fi, V fj, V u, V v, float dt0, float upper, const Sample& sample) {
    V x = fi - u * dt0;
    V y = fj - v * dt0;
    x = choose(lessThan(x, 0.5f), V{} + 0.5f, x);
    x = choose(greaterThan(x, upper), V{} + upper, x);
    y = choose(lessThan(y, 0.5f), V{} + 0.5f, y);
    y = choose(greaterThan(y, upper), V{} + upper, y);
    const auto i0 = sampleIndex(x);
    const auto j0 = sampleIndex(y);
    const V wx1 = x - toFloat(i0);
    const V wx0 = 1.0f - wx1;
    const V wy1 = y - toFloat(j0);
    const V wy0 = 1.0f - wy1;
    V d00, d01, d10, d11;
    sample(i0, j0, &d00, &d01, &d10, &d11);
    return wx0 * (wy0 * d00 + wy1 * d01) + wx1 * (wy0 * d10 + wy1 * d11);
}

// The density's obstacle reflection along j.
template <class V, class M>
FLUID_FORMULA V reflectAlongJ(V value, M solidSouth, M solidNorth) {
    return negateWhere(pointsIntoSolid(value, solidSouth, solidNorth), value);
}

// --- projection --------------------------------------------------------------------------

FLUID_FORMULA float gridSpacing(int N) { return 1.0f / static_cast<float>(N); }

// Divergence of a fluid cell, negated when the neighbour along i on the side
// of its sign is solid; 0 for a solid cell.
template <class V, class Keep, class M>
FLUID_FORMULA V divergenceValue(Keep fluid, V uEast, V uWest, V vNorth, V vSouth, M solidWest, M solidEast, float h) {
    const V S = ((uEast - uWest) + vNorth) - vSouth;
    const V d = (-0.5f * h) * S;
    return keepWhere(fluid, negateWhere(pointsIntoSolid(d, solidWest, solidEast), d));
}

// One pressure relaxation of one interior cell, negated when the neighbour
// along j on the side of its sign is solid; 0 for a solid cell.
template <class V, class Keep, class M>
FLUID_FORMULA V pressureValue(Keep fluid, V div, V west, V east, V south, V north, M solidSouth, M solidNorth) {
    const V q = ((((div + west) + east) + south) + north) * 0.25f;
    return keepWhere(fluid, negateWhere(pointsIntoSolid(q, solidSouth, solidNorth), q));
}

// One velocity component minus its pressure gradient g = (0.5 * (pUp -
// pDown)) / h, where Up and Down are the neighbours along the component's own
// axis; g is added instead when the neighbour across that axis on the side of
// its sign is solid. (vel - (-g) equals vel + g bit for bit, and the
// condition excludes a NaN g.) 0 for a solid cell.
template <class V, class Keep, class M>
FLUID_FORMULA V gradientCorrected(Keep fluid, V vel, V pUp, V pDown, M solidBelow, M solidAbove, float h) {
    const V g = (0.5f * (pUp - pDown)) / h;
    return keepWhere(fluid, vel - negateWhere(pointsIntoSolid(g, solidBelow, solidAbove), g));
}

// --- border rule -----------------------------------------------------------------------------

// A side cell's value under the border rule selected by b: its interior
// neighbour's under the copy rule (b == 0), 0 under the zero rule.
template <class V>
FLUID_FORMULA V sideValue(int b, V interior) {
    return b == 0 ? interior : V{};
}

// A corner of the copy rule: the average of its two side neighbours.
template <class V>
FLUID_FORMULA V cornerAverage(V a, V b) {
    return 0.5f * (a + b);
}

}  // namespace kernel
