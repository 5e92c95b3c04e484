// FastKernels.h - controls of the vectorised host realisation of the kernels.
//
// fastKernels() itself is declared in Kernels.h next to referenceKernels().
// The functions here exist for tests and benchmarks: they choose the vector
// code that runs and tell how often a launch was handed to the reference.
#pragma once

#include "Kernels.h"

// Vector code of fastKernels(): 4 lanes, which every x86-64 processor runs
// (SSE2); 8 lanes (AVX2); or 16, which is the 8-lane code with 16-lane
// relaxations (AVX-512). Asking for more than the processor has gives the
// widest it has. Returns the width now in use; the default is the widest.
int setFastKernelsVectorWidth(int lanes);

// Launches of fastKernels() that ran the reference realisation instead:
// grids too small for the vector code, fields that overlap in memory other
// than the ways the vector code allows, and inputs holding a NaN whose sign
// differs from the processor's default NaN (see FastKernels.cpp).
long fastKernelsReferenceLaunches();
