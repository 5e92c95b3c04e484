// LaunchArguments.h - reading a kernel launch's handed-over arguments back.
//
// A launch function hands every parameter over as 4 bytes at offsets 0, 4,
// 8, ... A backend decodes the same bytes: scalars are copied out, buffer
// handles are turned into addresses by the backend's own lookup, which refuses
// a handle that names no buffer large enough for the grid. Any missing byte or
// unusable handle marks the whole launch as refused, and so does a launch
// that names one buffer twice where the backends would then disagree (the
// table sharedBufferRules below). Both backends decode with these functions
// and so refuse the same launches.
#pragma once

#include <cstring>

#include "../runtime/DeviceRuntime.h"

namespace launcharguments {

// Address of the buffer behind a handle holding at least minBytes, or nullptr.
using ResolveBuffer = void* (*)(fluidrt::DevicePtr ptr, std::size_t minBytes);

// The six kernels, in the order of their launch functions in Kernels.h.
enum class KernelId { AddSource, Diffuse, Advect, ProjectStep1, ProjectStep2, ProjectStep3 };
constexpr int kernelIdCount = 6;
// Each kernel's device name, by KernelId: the name it is registered under.
constexpr const char* kernelNames[kernelIdCount] = {"gpuKernelAdd_Source",   "gpuKernelDiffuse",
                                                    "gpuKernelAdvect",       "gpuKernelProjectStep1",
                                                    "gpuKernelProjectStep2", "gpuKernelProjectStep3"};
constexpr const char* kernelName(KernelId kernel) { return kernelNames[static_cast<int>(kernel)]; }
constexpr int maxBufferArguments = 5;

// --- buffers named twice -------------------------------------------------------
// Two buffer arguments of one launch may name the same buffer. Where the
// kernel writes one of them and reads the other at other cells, the result
// depends on the order in which cells are visited: the host visits them one
// after another in increasing order, a device all at once, and a device's
// relaxation works on a copy of its field in fast memory. Such a launch is
// refused. Every other pair leaves each cell reading only what the same cell
// wrote before, in the order the kernel fixes, so every backend gives the same
// result and the comparisons hold them to it.
enum class Sharing {
    Compared,       // the same on every backend
    Refused,        // refused whatever the border rule
    RefusedWithB1,  // refused when b == 1, which reads the mask at neighbouring cells
};
struct SharedBufferRule {
    KernelId kernel;
    int first, second;  // positions among the kernel's buffer arguments, first < second
    Sharing sharing;
};

// Every pair of buffer arguments of every kernel, once. Positions count the
// buffer arguments only, in parameter order:
//   Add_Source  x, s                     Diffuse       x, x0, boundary
//   Advect      d, d0, u, v, boundary    ProjectStep1  u, v, p, div, boundary
//   ProjectStep2 p, div, boundary        ProjectStep3  u, v, p, boundary
constexpr SharedBufferRule sharedBufferRules[] = {
    // x[t] += dt * s[t] reads and writes cell t only.
    {KernelId::AddSource, 0, 1, Sharing::Compared},
    // Relaxed in place, x would be read as its own source, or as the mask,
    // at this sweep's values on the host and at the launch's on a device.
    {KernelId::Diffuse, 0, 1, Sharing::Refused},
    {KernelId::Diffuse, 0, 2, Sharing::Refused},
    {KernelId::Diffuse, 1, 2, Sharing::Compared},
    // d is sampled from d0 at traced points and written everywhere; with
    // b == 0 the mask is read at the own cell only, before d is written there.
    {KernelId::Advect, 0, 1, Sharing::Refused},
    {KernelId::Advect, 0, 2, Sharing::Refused},
    {KernelId::Advect, 0, 3, Sharing::Refused},
    {KernelId::Advect, 0, 4, Sharing::RefusedWithB1},
    {KernelId::Advect, 1, 2, Sharing::Compared},
    {KernelId::Advect, 1, 3, Sharing::Compared},
    {KernelId::Advect, 1, 4, Sharing::Compared},
    {KernelId::Advect, 2, 3, Sharing::Compared},
    {KernelId::Advect, 2, 4, Sharing::Compared},
    {KernelId::Advect, 3, 4, Sharing::Compared},
    // u, v and the mask are read at neighbouring cells; p and div are written.
    // p = div is fine: each cell writes div, then p, and the border rule runs
    // on div, then on p, from the cells' own results.
    {KernelId::ProjectStep1, 0, 1, Sharing::Compared},
    {KernelId::ProjectStep1, 0, 2, Sharing::Refused},
    {KernelId::ProjectStep1, 0, 3, Sharing::Refused},
    {KernelId::ProjectStep1, 0, 4, Sharing::Compared},
    {KernelId::ProjectStep1, 1, 2, Sharing::Refused},
    {KernelId::ProjectStep1, 1, 3, Sharing::Refused},
    {KernelId::ProjectStep1, 1, 4, Sharing::Compared},
    {KernelId::ProjectStep1, 2, 3, Sharing::Compared},
    {KernelId::ProjectStep1, 2, 4, Sharing::Refused},
    {KernelId::ProjectStep1, 3, 4, Sharing::Refused},
    // Relaxed in place, p would be read as the divergence or the mask at this
    // sweep's values on the host and at the launch's on a device.
    {KernelId::ProjectStep2, 0, 1, Sharing::Refused},
    {KernelId::ProjectStep2, 0, 2, Sharing::Refused},
    {KernelId::ProjectStep2, 1, 2, Sharing::Compared},
    // p and the mask are read at neighbouring cells; u and v at the own cell,
    // u before v, and the border rule runs on u, then on v.
    {KernelId::ProjectStep3, 0, 1, Sharing::Compared},
    {KernelId::ProjectStep3, 0, 2, Sharing::Refused},
    {KernelId::ProjectStep3, 0, 3, Sharing::Refused},
    {KernelId::ProjectStep3, 1, 2, Sharing::Refused},
    {KernelId::ProjectStep3, 1, 3, Sharing::Refused},
    {KernelId::ProjectStep3, 2, 3, Sharing::Compared},
};

// Whether the rule refuses a launch whose two buffers coincide.
inline bool refuses(const SharedBufferRule& rule, int b) {
    return rule.sharing == Sharing::Refused || (rule.sharing == Sharing::RefusedWithB1 && b == 1);
}

struct Decoder {
    const fluidrt::ArgumentBlock& args;
    int cells;  // cells per field of the launch's grid
    ResolveBuffer resolve;
    bool ok = true;
    const void* buffers[maxBufferArguments] = {};  // the buffer arguments decoded so far, in order
    int bufferCount = 0;

    template <typename T>
    T scalar(std::size_t offset) {
        T value{};
        if (offset + sizeof value > args.used) {
            ok = false;
            return value;
        }
        std::memcpy(&value, args.bytes + offset, sizeof value);
        return value;
    }
    template <typename T>
    T* field(std::size_t offset) {
        auto* p = static_cast<T*>(resolve(scalar<fluidrt::DevicePtr>(offset), sizeof(T) * cells));
        if (!p) ok = false;
        if (bufferCount < maxBufferArguments) buffers[bufferCount++] = p;
        return p;
    }
    // The launch's status: refused for a missing argument or buffer, or for
    // two buffers that sharedBufferRules does not let coincide.
    fluidrt::cudaError_t status(KernelId kernel, int b = 0) const {
        if (!ok) return fluidrt::cudaErrorInvalidValue;
        for (const SharedBufferRule& rule : sharedBufferRules)
            if (rule.kernel == kernel && buffers[rule.first] == buffers[rule.second] && refuses(rule, b))
                return fluidrt::cudaErrorInvalidValue;
        return fluidrt::cudaSuccess;
    }
};

// Reads N (the first argument) and checks that the launch starts exactly one
// thread per cell of the (N + 2)^2 grid, as every kernel requires.
inline bool gridFits(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args, int* N, int* cells) {
    if (args.used < sizeof(int)) return false;
    std::memcpy(N, args.bytes, sizeof(int));
    if (*N < 1 || *N > 4094) return false;
    *cells = (*N + 2) * (*N + 2);
    const unsigned long long threads =
        1ULL * shape.grid.x * shape.grid.y * shape.grid.z * shape.block.x * shape.block.y * shape.block.z;
    return threads == static_cast<unsigned long long>(*cells);
}

// The arguments of each kernel, decoded. cells is the field size of the grid.
struct AddSourceArgs {
    int N, cells;
    float* x;
    const float* s;
    float dt;
};
struct DiffuseArgs {
    int N, cells, b;
    float* x;
    const float* x0;
    float diff, dt;
    const int* boundary;
};
struct AdvectArgs {
    int N, cells, b;
    float* d;
    const float *d0, *u, *v;
    float dt;
    const int* boundary;
};
struct ProjectStep1Args {
    int N, cells;
    const float *u, *v;
    float *p, *div;
    const int* boundary;
};
struct ProjectStep2Args {
    int N, cells;
    float* p;
    const float* div;
    const int* boundary;
};
struct ProjectStep3Args {
    int N, cells;
    float *u, *v;
    const float* p;
    const int* boundary;
};

// Decodes a launch of each kernel at its parameters' offsets. Returns
// cudaSuccess, or the status that refuses the launch: a shape without one
// thread per cell, a missing argument or buffer, or two buffer arguments that
// name one buffer where sharedBufferRules refuses it.
inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, AddSourceArgs* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->x = d.field<float>(4);
    a->s = d.field<float>(8);
    a->dt = d.scalar<float>(12);
    return d.status(KernelId::AddSource);
}

inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, DiffuseArgs* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->b = d.scalar<int>(4);
    a->x = d.field<float>(8);
    a->x0 = d.field<float>(12);
    a->diff = d.scalar<float>(16);
    a->dt = d.scalar<float>(20);
    a->boundary = d.field<int>(24);
    return d.status(KernelId::Diffuse);
}

inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, AdvectArgs* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->b = d.scalar<int>(4);
    a->d = d.field<float>(8);
    a->d0 = d.field<float>(12);
    a->u = d.field<float>(16);
    a->v = d.field<float>(20);
    a->dt = d.scalar<float>(24);
    a->boundary = d.field<int>(28);
    return d.status(KernelId::Advect, a->b);
}

inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, ProjectStep1Args* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->u = d.field<float>(4);
    a->v = d.field<float>(8);
    a->p = d.field<float>(12);
    a->div = d.field<float>(16);
    a->boundary = d.field<int>(20);
    return d.status(KernelId::ProjectStep1);
}

inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, ProjectStep2Args* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->p = d.field<float>(4);
    a->div = d.field<float>(8);
    a->boundary = d.field<int>(12);
    return d.status(KernelId::ProjectStep2);
}

inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, ProjectStep3Args* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->u = d.field<float>(4);
    a->v = d.field<float>(8);
    a->p = d.field<float>(12);
    a->boundary = d.field<int>(16);
    return d.status(KernelId::ProjectStep3);
}

}  // namespace launcharguments
