// FastKernelsAvx2.cpp - the vector code with 8 lanes, compiled for AVX2 (the
// build gives this file -mavx2); run only where the processor has AVX2.
#include "VectorKernels.h"

const VectorCode avx2Code = vectorCode<8, 8, 8>();
