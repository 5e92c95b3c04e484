// Kernels.h - the six solver kernels: their host launch functions, which hand
// the arguments to the device runtime and start the kernel, and their host
// realisations on plain arrays.
#pragma once

#include "../runtime/DeviceRuntime.h"

using fluidrt::DevicePtr;

// Host launch functions. The caller configures the launch first; each function
// hands its arguments over as 4-byte values at offsets 0, 4, 8, ... and starts
// the kernel only when every hand-over succeeded. Nothing is reported.
void gpuKernelAdd_Source(int N, DevicePtr gpuX, DevicePtr gpuS, float dt);
void gpuKernelDiffuse(int N, int b, DevicePtr gpuX, DevicePtr gpuX0, float diff, float dt, DevicePtr gpuBoundary);
void gpuKernelAdvect(int N, int b, DevicePtr gpuD, DevicePtr gpuD0, DevicePtr gpuU, DevicePtr gpuV, float dt,
                     DevicePtr gpuBoundary);
void gpuKernelProjectStep1(int N, DevicePtr gpuU, DevicePtr gpuV, DevicePtr gpuP, DevicePtr gpuDiv,
                           DevicePtr gpuBoundary);
void gpuKernelProjectStep2(int N, DevicePtr gpuP, DevicePtr gpuDiv, DevicePtr gpuBoundary);
void gpuKernelProjectStep3(int N, DevicePtr gpuU, DevicePtr gpuV, DevicePtr gpuP, DevicePtr gpuBoundary);

constexpr int relaxationSweeps = 20;

// A complete host realisation of the six kernels on plain arrays of
// (N + 2)^2 cells. Any realisation must give the reference's results bit for bit.
struct KernelSet {
    const char* name;
    void (*addSource)(int N, float* x, const float* s, float dt);
    void (*diffuse)(int N, int b, float* x, const float* x0, float diff, float dt, const int* boundary);
    void (*advect)(int N, int b, float* d, const float* d0, const float* u, const float* v, float dt,
                   const int* boundary);
    void (*projectStep1)(int N, const float* u, const float* v, float* p, float* div, const int* boundary);
    void (*projectStep2)(int N, float* p, const float* div, const int* boundary);
    void (*projectStep3)(int N, float* u, float* v, const float* p, const int* boundary);
};

// The straightforward loops: cell phase over all cells in increasing order,
// then side copies, then corners; relaxations update their interior cells in
// place, in increasing order, every sweep.
const KernelSet& referenceKernels();

// The same kernels in vector form (FastKernels.cpp): equal results, a small
// fraction of the time.
const KernelSet& fastKernels();

// The realisation that launches on the host backend use (fast by default).
// The solver keeps this choice itself: the runtime's host backend only runs
// a kernel row's host run, which asks activeHostKernels.
const KernelSet& activeHostKernels();
void setActiveHostKernels(const KernelSet* set);  // nullptr selects the fast set

// Registration with the runtime: the code image first, then the six kernels
// in the order ProjectStep3, ProjectStep2, ProjectStep1, Advect, Diffuse,
// Add_Source. registerFluidKernels() does both and returns the image handle.
fluidrt::FatBinaryHandle registerFluidImage();
void registerFluidKernels(fluidrt::FatBinaryHandle image);
fluidrt::FatBinaryHandle registerFluidKernels();
