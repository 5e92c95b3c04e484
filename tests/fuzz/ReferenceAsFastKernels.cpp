// ReferenceAsFastKernels.cpp - the fuzzer build's stand-in for the vectorised
// kernels, which only GCC compiles: the reference realisation, whose results
// the vectorised one reproduces bit for bit.
#include "Kernels.h"

const KernelSet& fastKernels() { return referenceKernels(); }
