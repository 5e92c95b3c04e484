// InstructionSet.cpp - which vector code the fast kernels run.
//
// The widest that the processor runs is chosen once, at the first launch:
// 16 lanes (AVX-512F: 16-lane relaxations, 8-lane rest), 8 (AVX2) or 4
// (SSE2, every x86-64 processor; elsewhere, the target's 16-byte vectors:
// WebAssembly's 128-bit SIMD in the browser build).
// Tests and benchmarks may ask for a narrower one.
#include "FastKernels.h"
#include "VectorCode.h"

namespace {

#if defined(__x86_64__) || defined(__i386__)
const VectorCode* widestCode() {
    static const VectorCode* const code = [] {
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2")) return &avx512Code;
        if (__builtin_cpu_supports("avx2")) return &avx2Code;
        return &sse2Code;
    }();
    return code;
}
#else
const VectorCode* widestCode() { return &sse2Code; }
#endif

const VectorCode* chosen = nullptr;  // nullptr: the widest

}  // namespace

const VectorCode& chosenVectorCode() { return chosen ? *chosen : *widestCode(); }

int setFastKernelsVectorWidth(int lanes) {
    chosen = &sse2Code;
#if defined(__x86_64__) || defined(__i386__)
    const VectorCode* const widest = widestCode();
    if (lanes >= 8 && widest->lanes >= 8) chosen = &avx2Code;
    if (lanes >= 16 && widest->lanes >= 16) chosen = &avx512Code;
#else
    (void)lanes;  // 16-byte vectors are all there is
#endif
    return chosen->lanes;
}
