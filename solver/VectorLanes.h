// VectorLanes.h - the lane types of the vectorised host kernels and their mask
// helpers, the only part of the cell formulas (CellFormulas.h) that differs
// from one lane type to the next.
//
//   F4 / I4   4 floats / 4 ints: SSE2, which every x86-64 processor has;
//   F8 / I8   8 floats / 8 ints: AVX2;
//   __m512 / __m512i with __mmask16 masks: AVX-512, declared only where the
//             translation unit itself is compiled for it.
//
// The 4- and 8-lane types are GCC vector types (clang has them too): a
// comparison gives an int vector with all bits set in the lanes where it
// holds, which serves as the mask. The 16-lane helpers use the AVX-512
// instructions directly, since mask registers do not come out of GCC's
// generic vectors well.
//
// CellFormulas.h includes this header before its templates, so that their
// unqualified calls find these overloads (the vector types have no namespace
// of their own in which argument-dependent lookup could find them later).
// Everything here is always inlined, so no out-of-line copy compiled for one
// instruction set can be picked by the linker for another.
#pragma once

#include <cstdint>
#include <type_traits>

#if defined(__AVX512F__)
#include <immintrin.h>
#endif

// Vector arguments never cross a call (everything is inlined), so the ABI
// note GCC gives for them does not apply.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#define FLUID_LANES inline __attribute__((always_inline))

namespace kernel {

typedef float F4 __attribute__((vector_size(16)));
typedef std::int32_t I4 __attribute__((vector_size(16)));
typedef float F8 __attribute__((vector_size(32)));
typedef std::int32_t I8 __attribute__((vector_size(32)));

// The int vector of each GCC float vector, and back.
template <class F>
struct IntLanesOf {};
template <>
struct IntLanesOf<F4> {
    using type = I4;
};
template <>
struct IntLanesOf<F8> {
    using type = I8;
};
template <class I>
struct FloatLanesOf {};
template <>
struct FloatLanesOf<I4> {
    using type = F4;
};
template <>
struct FloatLanesOf<I8> {
    using type = F8;
};
template <class F>
using IntLanes = typename IntLanesOf<F>::type;
template <class I>
using FloatLanes = typename FloatLanesOf<I>::type;

constexpr std::int32_t signBit = INT32_MIN;

// --- GCC vector types ----------------------------------------------------------------

template <class I, class = FloatLanes<I>>
FLUID_LANES I isSolid(I mask) {
    return mask != 0;
}
template <class I, class = FloatLanes<I>>
FLUID_LANES I isFluid(I mask) {
    return mask == 0;
}
template <class F, class I = IntLanes<F>>
FLUID_LANES I lessThan(F v, float bound) {
    return v < bound;
}
template <class F, class I = IntLanes<F>>
FLUID_LANES I greaterThan(F v, float bound) {
    return v > bound;
}
// v in the lanes of keep, +0 in the others.
// (The masks' type is deduced from the value's, so that a mask formed with
// & or | picks the overload of its value.)
template <class F, class I = IntLanes<F>>
FLUID_LANES F keepWhere(IntLanes<F> keep, F v) {
    return (F)(keep & (I)v);
}
// v with its sign bit flipped in the lanes of negate.
template <class F, class I = IntLanes<F>>
FLUID_LANES F negateWhere(IntLanes<F> negate, F v) {
    return (F)((negate & signBit) ^ (I)v);
}
// a in the lanes of first, b in the others.
template <class F, class I = IntLanes<F>>
FLUID_LANES F choose(IntLanes<F> first, F a, F b) {
    return (F)((first & (I)a) | (~first & (I)b));
}
// A clamped coordinate's integer part, 0 for NaN (0.5 truncates to 0); the
// others lie in [0.5, N + 0.5], so the conversion is in range.
template <class F, class I = IntLanes<F>>
FLUID_LANES I sampleIndex(F x) {
    return __builtin_convertvector(choose(x != x, F{} + 0.5f, x), I);
}
template <class I, class F = FloatLanes<I>>
FLUID_LANES F toFloat(I i) {
    return __builtin_convertvector(i, F);
}

// --- AVX-512 ----------------------------------------------------------------------------

#if defined(__AVX512F__)
FLUID_LANES __mmask16 isSolid(__m512i mask) { return _mm512_test_epi32_mask(mask, mask); }
FLUID_LANES __mmask16 isFluid(__m512i mask) { return _mm512_testn_epi32_mask(mask, mask); }
FLUID_LANES __mmask16 lessThan(__m512 v, float bound) {
    return _mm512_cmp_ps_mask(v, _mm512_set1_ps(bound), _CMP_LT_OQ);
}
FLUID_LANES __mmask16 greaterThan(__m512 v, float bound) {
    return _mm512_cmp_ps_mask(v, _mm512_set1_ps(bound), _CMP_GT_OQ);
}
FLUID_LANES __m512 keepWhere(__mmask16 keep, __m512 v) { return _mm512_maskz_mov_ps(keep, v); }
FLUID_LANES __m512 negateWhere(__mmask16 negate, __m512 v) {
    const __m512i bits = _mm512_castps_si512(v);
    return _mm512_castsi512_ps(_mm512_mask_xor_epi32(bits, negate, bits, _mm512_set1_epi32(signBit)));
}
FLUID_LANES __m512 choose(__mmask16 first, __m512 a, __m512 b) { return _mm512_mask_blend_ps(first, b, a); }
// (The zero-masking conversions with every lane kept are the plain ones;
// unlike the unmasked intrinsics they do not trip GCC's uninitialised-value
// warning.)
FLUID_LANES __m512i sampleIndex(__m512 x) {
    const __mmask16 nan = _mm512_cmp_ps_mask(x, x, _CMP_UNORD_Q);
    return _mm512_maskz_cvttps_epi32(0xffff, _mm512_mask_blend_ps(nan, x, _mm512_set1_ps(0.5f)));
}
FLUID_LANES __m512 toFloat(__m512i i) { return _mm512_maskz_cvtepi32_ps(0xffff, i); }
#endif

}  // namespace kernel
