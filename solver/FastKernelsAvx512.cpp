// FastKernelsAvx512.cpp - the vector code compiled for AVX-512 (the build
// gives this file -mavx512f): the relaxations, which take most of a step,
// with 16 lanes, the other kernels with 8. Run only where the processor has
// AVX-512F.
#include "VectorKernels.h"

const VectorCode avx512Code = vectorCode<16, 8, 16, 16>();
