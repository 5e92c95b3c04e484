// FastKernelsSse2.cpp - the vector code compiled for SSE2, which every x86-64
// processor runs (and, elsewhere, for whatever 16-byte vectors the target
// has).
#include "VectorKernels.h"

const VectorCode sse2Code = vectorCode<4, 4, 4>();
